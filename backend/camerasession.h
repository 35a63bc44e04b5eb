#pragma once

#include "backend/panelsync.h"
#include "backend/picturewatch.h"
#include "camera/camdevice.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>

#include <vector>

class CameraControl;
class CameraLink;
class CaptureThread;
class ParamTunnel;
class SettingsStore;
struct ControlOutcome;

// The camera in use: the device list and the choice in it, opening and closing
// (on the camera-control worker, whose results come back to controlDone),
// hot-plug, the quiet reopen of a camera that delivers no picture, and the
// tuning writes, which go out only while the camera is open (those of a row
// that another row hands its register over to, the colour temperature's, go
// out always).
//
// What needs the user goes out as a signal: openFailed (the open did not
// succeed), cameraGone (the camera in use is no longer listed) and
// camerasArrived (the first camera came while none was listed).
class CameraSession : public QObject
{
    Q_OBJECT

public:
    CameraSession(CameraLink *camera, SettingsStore *settings, ParamTunnel *tunnel, CameraControl *control,
                  QObject *parent = nullptr);
    ~CameraSession() override;

    CaptureThread *captureThread() const { return m_capture; }
    PictureWatch &pictureWatch() { return m_pictureWatch; }

    // The list of cameras and the chosen entry (false: it was chosen already).
    QStringList cameraNames() const { return m_names; }
    void setCameraNames(const QStringList &names);
    int cameraIndex() const { return m_index; }
    bool chooseCamera(int index);
    // The preview size entry to open with, as last read from the store (and
    // read afresh), and chosen (false: it was chosen already; else stored).
    int previewIndex() const { return m_previewIndex; }
    int loadPreviewIndex();
    bool choosePreview(int index);
    // The entries of the preview-size row.
    QStringList previewSizeList() const;
    // What the preview-size row shows for the chosen entry when the camera
    // delivers another size or format; empty when it delivers that entry.
    QString streamText() const { return m_streamText; }

    // Open, or its open asked and not known to have failed.
    bool isOpen() const { return m_open; }
    bool listed() const { return m_count > 0; }
    // Whether the open camera runs the panel's values.
    bool panelOnCamera() const { return m_panel.onCamera(); }

    // Takes the device list afresh; the number of cameras.
    int enumerate();
    void refreshNames();
    // Opens the chosen camera (false: none is listed, nothing asked), closes it.
    bool start();
    void stop();
    void retryOpen();

    void write(int id, int index);
    void controlDone(const ControlOutcome &outcome);
    // A sync sent every row.
    void allSent();

    void deviceChange();
    // A frame read failed: a device change that no notice may report.
    void captureFailed();
    // The program is ending: no more opens or prompts.
    void setQuitting() { m_quitting = true; }

signals:
    void cameraIndexChanged();
    void cameraNamesChanged();
    void streamTextChanged();
    void panelOnCameraChanged();
    void missingControlsChanged();
    void opened();
    void openFailed();
    void cameraGone();
    void camerasArrived();

private:
    void open(bool quiet);
    void openDone(const ControlOutcome &outcome);
    void cameraOpened();
    void showStreamFormat();
    void send(int id, int index, int key, int row);
    void rememberOpenCamera();
    void forgetChosenCamera();
    void relocateOpenCamera();
    bool openCameraListed() const;
    void reopenQuietly();
    bool closeIfGone();

    CameraLink *m_camera;
    SettingsStore *m_settings;
    ParamTunnel *m_tunnel;
    CameraControl *m_control;
    CaptureThread *m_capture;
    PictureWatch m_pictureWatch;
    PanelSync m_panel;

    QStringList m_names;
    int m_index = 0;
    int m_previewIndex = 0;
    QString m_streamText;
    int m_count = 0;
    std::vector<CamDevice> m_devices;
    int m_deviceId = 0;
    // The camera opened last: tells it apart in a new device list even when
    // the capture indexes have shifted.
    bool m_hasOpenCamera = false;
    CamDevice m_openCamera;
    // The camera as asked for. `m_asks` counts the opens and closes whose
    // result is still to come (only the last one's counts), and `m_quietOpen`
    // says that the last open asked is a reopen without prompts.
    bool m_open = false;
    int m_asks = 0;
    bool m_quietOpen = false;
    bool m_quitting = false;
    // When the camera was last opened afresh without a prompt.
    QElapsedTimer m_reopenedAfterFailure;
};
