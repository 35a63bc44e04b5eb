#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <functional>
#include <vector>

class CameraLink;
class CaptureSession;
class SettingsStore;

// One row of the aperture table. `fNumber100` (F-number x 100) is what the
// camera receives; `apex` rises by 256 per full stop and is never sent.
struct ApertureEntry
{
    quint16 apex;
    QString label;
    quint16 fNumber100;
};

// One row of the exposure-time table: label and the camera's exposure code.
struct ExposureEntry
{
    QString label;
    qint16 value;
};

// A label shown in the user interface with the register value it stands for.
struct LabeledValue
{
    QString label;
    qint32 value;
};

// The eight values of the last debug read-back, as the camera gave them
// (truncated to 16 bits; the gains keep only their low 8 bits).
struct DebugReadout
{
    quint16 luxIndex = 0;
    quint16 colorTemp = 0;
    quint16 lumaTarget = 0;
    quint16 exposure = 0;
    quint16 rGain = 0;
    quint16 bGain = 0;
    quint16 iso = 0;
    quint16 aperture = 0;
};

// The register tunnel of the camera firmware.
//
// Focus 89 opens a register transaction, writes to the other standard controls
// then land in tuning registers, focus 0 closes it; focus 249 makes the camera
// store its parameters. AEC mode, aperture and exposure time are plain
// controls written directly.
//
// Every camera access holds a CaptureSession of the CameraLink for its whole
// length (a transaction from its opening to its closing write, a direct write,
// a read-back, a whole bulk write), so nothing from another thread can land in
// the middle of a transaction. Frame reads go on meanwhile.
class ParamTunnel
{
public:
    // How the tunnel waits while the camera settles: `pause(ms)`. By default
    // the calling thread sleeps; tests give a hook that records the pauses.
    using Pause = std::function<void(unsigned long ms)>;

    explicit ParamTunnel(Pause pause = {});

    ParamTunnel(const ParamTunnel &) = delete;
    ParamTunnel &operator=(const ParamTunnel &) = delete;

    // The preview size to open with: (3, width, 4, height, 5, fps). Index 0 is
    // 1920 x 1080, index 1 1280 x 720; any other index gives index 0.
    std::vector<int> previewSettings(int index) const;

    // Constant value tables.
    static int apertureCount();
    static int exposureCount();
    static int isoCount();
    static int evCount();

    static QVector<ApertureEntry> apertureList();
    static QVector<ExposureEntry> exposureList();
    static QStringList isoList();
    static QVector<LabeledValue> evList();
    QVector<LabeledValue> mceList() const;

    static QStringList apertureLabels();
    static QStringList exposureLabels();
    static QStringList isoLabels();
    static QStringList evLabels();
    QStringList mceLabels() const;

    // Label of row i; empty when i is outside the table.
    static QString apertureText(int i);
    static QString exposureText(int i);
    static QString isoText(int i);
    static QString evText(int i);

    // First row holding value v; 0 when none does.
    static int apertureIndexOf(int v);
    static int exposureIndexOf(int v);
    static int evIndexOf(int v);
    int mceIndexOf(int v) const;

    // Colour temperature in kelvin of white-balance preset 0-5 (0 = automatic);
    // -1 for any other preset.
    static int awbPresetTemperature(int preset);

    // The capture property that carries the white-balance temperature: 17
    // (WHITE_BALANCE_BLUE_U), which DirectShow maps to the camera's white
    // balance. On Linux, V4L2 maps 17 to the blue balance, which has no
    // register; there the temperature control is 45 (WB_TEMPERATURE).
    static int whiteBalanceProperty();

    // The AUTO_EXPOSURE value that turns automatic exposure time on: 1 for
    // DirectShow; 3 (aperture priority) for V4L2, where 1 means manual.
    static int autoExposureOnValue();

    // The EXPOSURE value for exposure code `code` (2^code seconds): the code
    // itself for DirectShow; for V4L2 the UVC exposure time the DirectShow
    // driver would send, round(10000 * 2^code) in 100 us units.
    static int exposureControlValue(int code);

    // Sends exposure code `code` as the camera takes it. A UVC camera refuses
    // an exposure time while its auto-exposure mode is Auto or Aperture
    // Priority. DirectShow's write carries the manual flag, which switches the
    // mode; V4L2's does not, so there AUTO_EXPOSURE goes to manual first.
    static void sendExposureTime(CaptureSession &session, int code);

    // The parameter a capture property carries ("EV", "Register selector"),
    // or its number when it carries none.
    static QString controlName(int propId);

    // Label of the aperture row whose F-number x 100 equals `value`, or "Null".
    static QString apertureNameOf(int value);

    // Which halves of a parameter write to do: the camera traffic, the value
    // kept in the settings store, or both. The program keeps the user's choice
    // at once on the GUI thread and sends on the camera-control worker.
    enum class Part { Both, SendOnly, StoreOnly };

    // Parameter writes: send, then persist (the colour temperature persists
    // first). The AEC mode, aperture and exposure writes do nothing at all
    // while the camera is closed; table-indexed writes ignore an index
    // outside their table.
    void setAecMode(int mode, CameraLink &camera, SettingsStore &settings, Part part = Part::Both);
    void setAperture(int index, CameraLink &camera, SettingsStore &settings, Part part = Part::Both);
    void setExposureTime(int index, CameraLink &camera, SettingsStore &settings, Part part = Part::Both);
    void setSkinSmoothing(bool on, CameraLink &camera, SettingsStore &settings, Part part = Part::Both);
    void setBrightMode(bool on, CameraLink &camera, SettingsStore &settings, Part part = Part::Both);
    void setSce(int index, CameraLink &camera, SettingsStore &settings, Part part = Part::Both);
    void setIso(int index, CameraLink &camera, SettingsStore &settings, Part part = Part::Both);
    void setEv(int index, CameraLink &camera, SettingsStore &settings, Part part = Part::Both);
    void setAfd(int index, CameraLink &camera, SettingsStore &settings, Part part = Part::Both);
    void setAwb(int preset, CameraLink &camera, SettingsStore &settings, Part part = Part::Both);
    void setColorTemperature(int index, CameraLink &camera, SettingsStore &settings, Part part = Part::Both);
    void setWarmness(int level, CameraLink &camera, SettingsStore &settings, Part part = Part::Both);
    void setSaturation(int index, CameraLink &camera, SettingsStore &settings, Part part = Part::Both);
    void setContrast(int index, CameraLink &camera, SettingsStore &settings, Part part = Part::Both);
    void setSharpness(int index, CameraLink &camera, SettingsStore &settings, Part part = Part::Both);
    void setMceR(int index, CameraLink &camera, SettingsStore &settings, Part part = Part::Both);
    void setMceG(int index, CameraLink &camera, SettingsStore &settings, Part part = Part::Both);
    void setMceB(int index, CameraLink &camera, SettingsStore &settings, Part part = Part::Both);

    // Rebuilds the skin smoothing / bright mode register from the store.
    void loadFlags(SettingsStore &settings);
    quint8 flagRegister() const { return m_flagRegister.load(); }

    // Reads the eight debug values and returns their text, or "Get failed!"
    // when the camera is closed. Waits for a running transaction to end.
    QString readDebugInfo(CameraLink &camera);
    // Same, but never waits: returns false, leaving `text` and the camera
    // alone, while another transaction or read-back holds the camera.
    bool tryReadDebugInfo(CameraLink &camera, QString *text);
    // The values of the last read-back. Call it from the thread that runs
    // the read-backs.
    DebugReadout debugReadout() const { return m_debug; }

    // Bulk writes, each in one session: every stored parameter (about 1.6 s),
    // the priming pass with placeholder values, and the store command.
    void syncAll(CameraLink &camera, SettingsStore &settings);
    void primeAll(CameraLink &camera, SettingsStore &settings);
    void storeToCamera(CameraLink &camera);
    // From any thread, when the program ends: a running or later sync or
    // priming pass skips its remaining writes and closes the transaction at
    // once, so that a stalled camera cannot hold the end for a whole pass.
    void cancelBulkWrites() { m_bulkCancelled.store(true); }
    bool bulkWritesCancelled() const { return m_bulkCancelled.load(); }

    // Waits `ms` milliseconds, through the hook given at construction.
    void pause(unsigned long ms) const;

private:
    void transaction(CaptureSession &session, int propId, int value, bool settle = true);
    void tunnelWrite(CameraLink &camera, int propId, int value, bool settle = true);
    void tunnelled(CameraLink &camera, Part part, int propId, int value, const std::function<void()> &store,
                   bool settle = true);
    bool applyAecMode(CaptureSession &session, int mode, SettingsStore &settings);
    void setFlagBit(quint8 bit, bool on, CameraLink &camera, Part part);
    QString readInSession(CaptureSession &session);

    const Pause m_pause;
    std::vector<std::vector<int>> m_previewLists;
    // Changed only while holding a session; atomic so that loadFlags and
    // flagRegister() may run without one.
    std::atomic<quint8> m_flagRegister{0};
    std::atomic<bool> m_bulkCancelled{false};
    QVector<LabeledValue> m_mceList;
    DebugReadout m_debug;
};
