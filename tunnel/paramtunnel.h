#pragma once

#include "params/paramtable.h"

#include <QString>

#include <array>
#include <atomic>
#include <climits>
#include <functional>
#include <vector>

class CameraLink;
class CaptureSession;
class SettingsStore;

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

    // The capture property that carries control `c`.
    static int propertyOf(Params::Control c);

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

    // Label of the aperture entry whose F-number x 100 equals `value`, or "Null".
    static QString apertureNameOf(int value);

    // Which halves of a parameter write to do: the camera traffic, the value
    // kept in the settings store, or both. The program keeps the user's choice
    // at once on the GUI thread and sends on the camera-control worker.
    enum class Part { Both, SendOnly, StoreOnly };

    // A parameter write: `value` is the list index (for a level list the
    // level, for a switch 0 or 1). It sends the register value as the row's
    // route says and stores the stored value. The AEC mode and the direct
    // writes do nothing at all while the camera is closed; a value outside
    // the list is ignored (nothing sent, nothing stored).
    void write(Params::Id id, int value, CameraLink &camera, SettingsStore &settings, Part part = Part::Both);
    // And by name, ParamTunnel::set<name> of every row.
#define VEXLO_TUNNEL_FORWARDS(name, store, kind, ...)                                                           \
    void set##name(Params::ValueOf<Params::Kind::kind> v, CameraLink &c, SettingsStore &s, Part p = Part::Both) \
    {                                                                                                           \
        write(Params::name, int(v), c, s, p);                                                                   \
    }
    VEXLO_PARAMS(VEXLO_TUNNEL_FORWARDS)
#undef VEXLO_TUNNEL_FORWARDS

    // Rebuilds the flag register from the store.
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
    // the priming pass with placeholder values, and the store command. Once
    // `cancel` is set (from any thread, when the program ends) a sync or
    // priming pass skips its remaining writes and closes the transaction at
    // once, so that a stalled camera cannot hold the end for a whole pass.
    void syncAll(CameraLink &camera, SettingsStore &settings, const std::atomic<bool> *cancel = nullptr);
    void primeAll(CameraLink &camera, SettingsStore &settings, const std::atomic<bool> *cancel = nullptr);
    void storeToCamera(CameraLink &camera);

    // Waits `ms` milliseconds, through the hook given at construction.
    void pause(unsigned long ms) const;

private:
    // What a bulk write sends on each control; Skip where it sends nothing.
    using ControlValues = std::array<int, Params::ControlCount>;
    static constexpr int Skip = INT_MIN;

    void transaction(CaptureSession &session, int propId, int value, bool settle = true);
    void sendDirect(CaptureSession &session, Params::Control c, int value);
    bool applyAecMode(CaptureSession &session, int mode, SettingsStore &settings);
    void bulkWrite(CaptureSession &session, const ControlValues &values, quint8 flags, const std::atomic<bool> *cancel);
    QString readInSession(CaptureSession &session);

    const Pause m_pause;
    std::vector<std::vector<int>> m_previewLists;
    // Changed only while holding a session; atomic so that loadFlags and
    // flagRegister() may run without one.
    std::atomic<quint8> m_flagRegister{0};
    DebugReadout m_debug;
};
