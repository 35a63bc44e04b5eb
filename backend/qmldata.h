#pragma once

#include "backend/filenotice.h"
#include "backend/imagestats.h"
#include "backend/snapshotfile.h"
#include "params/paramtable.h"

#include <QAbstractNativeEventFilter>
#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <memory>

class CameraLink;
class ControlStatus;
struct ControlOutcome;
class DeviceWatcher;
class QCoreApplication;
class QQuickItem;
class SettingsStore;
struct QmlDataPrivate;

// The tuning parameters' properties, one for each row of the parameter table:
// `property` (a list index, or a switch), set by `setter`, signalled by
// `property`Changed.
#define VEXLO_QML_PROPERTY(name, store, kind, key, property, setter, ...) \
    Q_PROPERTY(VEXLO_PARAM_TYPE(kind) property READ property WRITE setter NOTIFY property##Changed FINAL)
#define VEXLO_QML_ACCESSORS(name, store, kind, key, property, setter, ...) \
    VEXLO_PARAM_TYPE(kind) property();                                     \
    void setter(VEXLO_PARAM_TYPE(kind) v);
#define VEXLO_QML_NOTIFY(name, store, kind, key, property, setter, ...) void property##Changed();

// The value lists that rows show and the rows' enables: property, setter and
// the parameter (the MCE rows share the red one's list).
#define VEXLO_QML_LISTS(X)                                                                                    \
    X(apertureList, setApertureList, Aperture) X(exposureList, setExposureList, ExposureTime)                \
    X(isoList, setIsoList, Iso) X(evList, setEvList, Ev) X(warmnessList, setWarmnessList, Warmness)          \
    X(mceList, setMceList, MceR) X(colorTemperatureList, setColorTemperatureList, ColorTemperature)
#define VEXLO_QML_ENABLES(X)                                                                                  \
    X(apertureEnable, setApertureEnable, Aperture) X(exposureEnable, setExposureEnable, ExposureTime)        \
    X(isoEnable, setIsoEnable, Iso) X(evEnable, setEvEnable, Ev) X(afdEnable, setAfdEnable, Afd)             \
    X(warmnessEnable, setWarmnessEnable, Warmness)                                                           \
    X(colorTemperatureEnable, setColorTemperatureEnable, ColorTemperature)
#define VEXLO_QML_LIST_PROPERTY(property, setter, id) \
    Q_PROPERTY(QStringList property READ property WRITE setter NOTIFY property##Changed FINAL)
#define VEXLO_QML_ENABLE_PROPERTY(property, setter, which) \
    Q_PROPERTY(bool property READ property WRITE setter NOTIFY property##Changed FINAL)
#define VEXLO_QML_LIST_ACCESSORS(property, setter, id) \
    QStringList property() const;                      \
    void setter(const QStringList &list);
#define VEXLO_QML_ENABLE_ACCESSORS(property, setter, which) \
    bool property() const;                                  \
    void setter(bool v);
#define VEXLO_QML_SIMPLE_NOTIFY(property, setter, ...) void property##Changed();

// The backend: the one object that the QML layer sees as "qmldata", a facade
// over the tuning model (backend/tuningmodel.h), the camera session
// (backend/camerasession.h), the prompts (backend/prompts.h) and the frame
// feed, which talk to each other through it by signals. Every tuning
// parameter is a list index here; the settings store is the source of truth
// for the stored ones (their getters read it on each call).
//
// Everything here runs in the GUI thread, which never waits for the camera's
// answer: frames come from the capture thread, and every control call, open
// and close runs on the camera-control worker, whose results come back as
// queued signals.
class QmlData : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT
    VEXLO_PARAMS(VEXLO_QML_PROPERTY)
    VEXLO_QML_LISTS(VEXLO_QML_LIST_PROPERTY)
    VEXLO_QML_ENABLES(VEXLO_QML_ENABLE_PROPERTY)
    Q_PROPERTY(QVector<int> frameSize READ frameSize NOTIFY frameSizeChanged FINAL)
    Q_PROPERTY(bool ui_ready MEMBER ui_ready WRITE setUiReady FINAL)
    Q_PROPERTY(int cameraIndex READ cameraIndex WRITE setCameraIndex NOTIFY cameraIndexChanged FINAL)
    Q_PROPERTY(QStringList cameraNames READ cameraNames WRITE setCameraNames NOTIFY cameraNamesChanged FINAL)
    Q_PROPERTY(int previewSizeIndex READ previewSizeIndex WRITE setPreviewSizeIndex NOTIFY previewSizeIndexChanged FINAL)
    Q_PROPERTY(QStringList previewSizeList READ previewSizeList WRITE setPreviewSizeList NOTIFY perviewSizeChanged FINAL)
    Q_PROPERTY(bool noPictureNotice READ noPictureNotice NOTIFY noPictureNoticeChanged FINAL)
    Q_PROPERTY(bool isDebugVisible READ isDebugVisible NOTIFY debugVisibleChanged FINAL)
    Q_PROPERTY(QString debugStr READ debugStr WRITE setDebugStr NOTIFY debugInfoChanged FINAL)
    Q_PROPERTY(bool displayZoom READ displayZoom WRITE setDisplayZoom NOTIFY displayZoomChanged FINAL)
    Q_PROPERTY(bool debugLog READ debugLog WRITE setDebugLog NOTIFY debugLogChanged FINAL)
    // Rows whose control the open camera lacks (see backend/controlrows.h).
    Q_PROPERTY(QStringList missingControls READ missingControls NOTIFY missingControlsChanged FINAL)
    // False from the opening of a camera until it has been sent the panel's values.
    Q_PROPERTY(bool panelOnCamera READ panelOnCamera NOTIFY panelOnCameraChanged FINAL)
    Q_PROPERTY(ImageStats *imageStats READ imageStats CONSTANT FINAL)

public:
    explicit QmlData(QObject *parent = nullptr);
    // Runs on the given camera link and device-change source instead of the
    // platform's, and waits for the camera through `pause` (the tunnel's pause
    // hook) instead of sleeping (tests hand in fakes).
    QmlData(std::unique_ptr<CameraLink> camera, std::unique_ptr<DeviceWatcher> watcher,
            QObject *parent = nullptr, std::function<void(unsigned long ms)> pause = {});
    ~QmlData() override;

    // Device changes of the platform come through the application's native events.
    void setApplication(QCoreApplication *app);
    SettingsStore *settingsStore() const;
    CameraLink *cameraLink() const;
    // What the window shows about the camera's controls ("camstatus").
    ControlStatus *controlStatus() const;
    // No control operation queued or running (its result may still be on its way).
    bool controlsIdle() const;
    void setUiReady(bool ready);

    // Start-up and reload after a restore of defaults.
    void initCameraParams();
    void reloadFromSettings();
    void updateAecEnables(int aecMode);
    void takeSnapshot();
    bool changedSinceSnapshot() const;

    // Camera lifecycle. The open and close run on the control worker; a failed
    // open brings up its prompt once the result is in. startCaptureTimer is
    // false when no camera is listed (nothing asked).
    bool startCaptureTimer();
    void stopCapture();
    void refreshCameraNames();

    // Saves one fresh frame of the open camera under exactly `fileName`, whole
    // or not at all; NoFrame when no frame came within about 2 s (all with a log line).
    SnapshotFile::Result saveSnapshot(const QString &fileName);

    // Where the frames go; by default the preview item of setImageFrameRender.
    void setFrameSink(std::function<void(const QImage &)> sink);
    // Tells in the window, once the event loop runs, that one of the program's
    // files cannot be kept; callable from any thread.
    void tellFileProblem(FileNotice::Subject subject, const FileProblem &problem);
    // What ends the program once the quit has been asked for and every prompt
    // of the backend has returned; by default a quit event to the application.
    void setQuitHandler(std::function<void()> handler);
    // Ends every open prompt and then the program (once the prompts have
    // returned). Used by the exit paths and by the system's quit requests.
    void requestQuit();

    bool nativeEventFilter(const QByteArray &eventType, void *message, long *result) override;

    QVector<int> frameSize() const;
    int cameraIndex() const;
    void setCameraIndex(int v);
    QStringList cameraNames() const;
    void setCameraNames(const QStringList &names);
    int previewSizeIndex();
    void setPreviewSizeIndex(int v);
    QStringList previewSizeList() const;
    void setPreviewSizeList(const QStringList &list);
    // True while the open camera delivers no picture and is being reopened.
    bool noPictureNotice() const;
    VEXLO_PARAMS(VEXLO_QML_ACCESSORS)
    VEXLO_QML_LISTS(VEXLO_QML_LIST_ACCESSORS)
    VEXLO_QML_ENABLES(VEXLO_QML_ENABLE_ACCESSORS)
    bool isDebugVisible() const;
    QString debugStr() const;
    void setDebugStr(const QString &text);
    bool displayZoom();
    void setDisplayZoom(bool v);
    bool debugLog();
    void setDebugLog(bool v);
    QStringList missingControls() const;
    bool panelOnCamera() const;
    // The image statistics panel's figures, from the frames shown.
    ImageStats *imageStats() const;

signals:
    VEXLO_PARAMS(VEXLO_QML_NOTIFY)
    VEXLO_QML_LISTS(VEXLO_QML_SIMPLE_NOTIFY)
    VEXLO_QML_ENABLES(VEXLO_QML_SIMPLE_NOTIFY)
    void frameSizeChanged();
    void cameraNamesChanged();
    void perviewSizeChanged();
    void noPictureNoticeChanged();
    void debugInfoChanged();
    void debugVisibleChanged();
    void usbDevsChanged();
    void previewSizeIndexChanged();
    void cameraIndexChanged();
    void displayZoomChanged();
    void debugLogChanged();
    void missingControlsChanged();
    void panelOnCameraChanged();
    // A snapshot was saved (the file's name, without its folder).
    void snapshotSaved(const QString &fileName);

public slots:
    // The preview item that shows the frames: a QQuickItem that is a FrameSink.
    void setImageFrameRender(QQuickItem *imageFrameRender);
    void sendFrameData(QImage qimage);
    void openSavePicDialog();
    void rotateDisplay(bool isCW);
    int getCamDevs();
    void openFindDeviceDialog();
    void setDebugVisible(bool isVisible);
    void onUsbDevsChanged();
    // A frame read failed: a device change that no notice may report.
    void onCaptureFailed();
    void syncParamsNow();
    void saveParamsToCam();
    int getLanguageType();
    void showSyncBox();
    void applyTranslate();
    void restoreDefaultSettings();
    void showSaveBox();

private slots:
    QString getCamDebugInfo();

public:
    Q_INVOKABLE void methodPrintln(QString str);

    // Stops and joins every thread the backend started; runs before anything
    // those threads use is destroyed (the destructor, and the end of a run
    // whose root document failed to load, where the backend is kept).
    void stopThreads();

private:
    void initWiring();
    void onControlDone(const ControlOutcome &outcome);
    void retryFind();
    void camerasArrived();

    QmlDataPrivate *pv = nullptr;
    bool ui_ready = false;
    bool m_isDebugVisible = false;
    QString m_debugStr;
};
