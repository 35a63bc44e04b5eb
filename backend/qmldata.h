#pragma once

#include "backend/filenotice.h"
#include "backend/imagestats.h"
#include "backend/snapshotfile.h"

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
class QDialog;
class QQuickItem;
class SettingsStore;
struct QmlDataPrivate;

// The backend: the one object that the QML layer sees as "qmldata". Every
// tuning parameter is a list index here; the settings store is the source of
// truth for the stored ones (their getters read it on each call). The tuning
// parameters are described once, in a table in qmldata.cpp.
//
// Everything here runs in the GUI thread, which never waits for the camera's
// answer: frames come from the capture thread, and every control call runs on
// the camera-control worker, whose results come back as queued signals.
class QmlData : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT
    Q_PROPERTY(QVector<int> frameSize READ frameSize NOTIFY frameSizeChanged FINAL)
    Q_PROPERTY(bool ui_ready MEMBER ui_ready WRITE setUiReady FINAL)
    Q_PROPERTY(int cameraIndex READ cameraIndex WRITE setCameraIndex NOTIFY cameraIndexChanged FINAL)
    Q_PROPERTY(QStringList cameraNames READ cameraNames WRITE setCameraNames NOTIFY cameraNamesChanged FINAL)
    Q_PROPERTY(int previewSizeIndex READ previewSizeIndex WRITE setPreviewSizeIndex NOTIFY previewSizeIndexChanged FINAL)
    Q_PROPERTY(QStringList previewSizeList READ previewSizeList WRITE setPreviewSizeList NOTIFY perviewSizeChanged FINAL)
    Q_PROPERTY(bool noPictureNotice READ noPictureNotice NOTIFY noPictureNoticeChanged FINAL)
    Q_PROPERTY(int afdIndex READ afdIndex WRITE setAfdIndex NOTIFY afdIndexChanged FINAL)
    Q_PROPERTY(bool skinSwitch READ skinSwitch WRITE setSkinSwitch NOTIFY skinSwitchChanged FINAL)
    Q_PROPERTY(bool brightSwitch READ brightSwitch WRITE setBrightSwitch NOTIFY brightSwitchChanged FINAL)
    Q_PROPERTY(int aecIndex READ aecIndex WRITE setAecIndex NOTIFY aecIndexChanged FINAL)
    Q_PROPERTY(int apertureIndex READ apertureIndex WRITE setApertureIndex NOTIFY apertureIndexChanged FINAL)
    Q_PROPERTY(QStringList apertureList READ apertureList WRITE setApertureList NOTIFY apertureListChanged FINAL)
    Q_PROPERTY(bool apertureEnable READ apertureEnable WRITE setApertureEnable NOTIFY apertureEnableChanged FINAL)
    Q_PROPERTY(int exposureIndex READ exposureIndex WRITE setExposureIndex NOTIFY exposureIndexChanged FINAL)
    Q_PROPERTY(QStringList exposureList READ exposureList WRITE setExposureList NOTIFY exposureListChanged FINAL)
    Q_PROPERTY(bool exposureEnable READ exposureEnable WRITE setExposureEnable NOTIFY exposureEnableChanged FINAL)
    Q_PROPERTY(int isoIndex READ isoIndex WRITE setIsoIndex NOTIFY isoIndexChanged FINAL)
    Q_PROPERTY(QStringList isoList READ isoList WRITE setIsoList NOTIFY isoListChanged FINAL)
    Q_PROPERTY(int evIndex READ evIndex WRITE setEvIndex NOTIFY evIndexChanged FINAL)
    Q_PROPERTY(QStringList evList READ evList WRITE setEvList NOTIFY evListChanged FINAL)
    Q_PROPERTY(int saturationIndex READ saturationIndex WRITE setSaturationIndex NOTIFY saturationIndexChanged FINAL)
    Q_PROPERTY(int contrastIndex READ contrastIndex WRITE setContrastIndex NOTIFY contrastIndexChanged FINAL)
    Q_PROPERTY(int sharpnessIndex READ sharpnessIndex WRITE setSharpnessIndex NOTIFY sharpnessIndexChanged FINAL)
    Q_PROPERTY(int warmnessIndex READ warmnessIndex WRITE setWarmnessIndex NOTIFY warmnessIndexChanged FINAL)
    Q_PROPERTY(QStringList warmnessList READ warmnessList WRITE setWarmnessList NOTIFY warmnessListChanged FINAL)
    Q_PROPERTY(int mceRindex READ mceRindex WRITE setMceRindex NOTIFY mceRindexChanged FINAL)
    Q_PROPERTY(int mceGindex READ mceGindex WRITE setMceGindex NOTIFY mceGindexChanged FINAL)
    Q_PROPERTY(int mceBindex READ mceBindex WRITE setMceBindex NOTIFY mceBindexChanged FINAL)
    Q_PROPERTY(QStringList mceList READ mceList WRITE setMceList NOTIFY mceListChanged FINAL)
    Q_PROPERTY(int awbIndex READ awbIndex WRITE setAwbIndex NOTIFY awbIndexChanged FINAL)
    Q_PROPERTY(int sceIndex READ sceIndex WRITE setSceIndex NOTIFY sceIndexChanged FINAL)
    Q_PROPERTY(bool isDebugVisible READ isDebugVisible NOTIFY debugVisibleChanged FINAL)
    Q_PROPERTY(QString debugStr READ debugStr WRITE setDebugStr NOTIFY debugInfoChanged FINAL)
    Q_PROPERTY(bool isoEnable READ isoEnable WRITE setIsoEnable NOTIFY isoEnableChanged FINAL)
    Q_PROPERTY(bool evEnable READ evEnable WRITE setEvEnable NOTIFY evEnableChanged FINAL)
    Q_PROPERTY(bool afdEnable READ afdEnable WRITE setAfdEnable NOTIFY afdEnableChanged FINAL)
    Q_PROPERTY(bool warmnessEnable READ warmnessEnable WRITE setWarmnessEnable NOTIFY warmnessEnableChanged FINAL)
    Q_PROPERTY(bool displayZoom READ displayZoom WRITE setDisplayZoom NOTIFY displayZoomChanged FINAL)
    Q_PROPERTY(bool debugLog READ debugLog WRITE setDebugLog NOTIFY debugLogChanged FINAL)
    Q_PROPERTY(bool colorTemperatureEnable READ colorTemperatureEnable WRITE setColorTemperatureEnable NOTIFY colorTemperatureEnableChanged FINAL)
    Q_PROPERTY(int colorTemperatureIndex READ colorTemperatureIndex WRITE setColorTemperatureIndex NOTIFY colorTemperatureIndexChanged FINAL)
    Q_PROPERTY(QStringList colorTemperatureList READ colorTemperatureList WRITE setColorTemperatureList NOTIFY colorTemperatureListChanged FINAL)
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

    // The five message boxes; each decides when it may be closed.
    class SyncBox;
    class SaveWaitBox;
    class DevMessageBox;
    class OpenFailedBox;
    class SaveToCamBox;

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

    // Camera lifecycle.
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
    int afdIndex();
    void setAfdIndex(int v);
    bool skinSwitch();
    void setSkinSwitch(bool v);
    bool brightSwitch();
    void setBrightSwitch(bool v);
    int aecIndex();
    void setAecIndex(int v);
    int apertureIndex();
    void setApertureIndex(int v);
    QStringList apertureList() const;
    void setApertureList(const QStringList &list);
    bool apertureEnable() const;
    void setApertureEnable(bool v);
    int exposureIndex();
    void setExposureIndex(int v);
    QStringList exposureList() const;
    void setExposureList(const QStringList &list);
    bool exposureEnable() const;
    void setExposureEnable(bool v);
    int isoIndex();
    void setIsoIndex(int v);
    QStringList isoList() const;
    void setIsoList(const QStringList &list);
    int evIndex();
    void setEvIndex(int v);
    QStringList evList() const;
    void setEvList(const QStringList &list);
    int saturationIndex();
    void setSaturationIndex(int v);
    int contrastIndex();
    void setContrastIndex(int v);
    int sharpnessIndex();
    void setSharpnessIndex(int v);
    int warmnessIndex();
    void setWarmnessIndex(int v);
    QStringList warmnessList() const;
    void setWarmnessList(const QStringList &list);
    int mceRindex();
    void setMceRindex(int v);
    int mceGindex();
    void setMceGindex(int v);
    int mceBindex();
    void setMceBindex(int v);
    QStringList mceList() const;
    void setMceList(const QStringList &list);
    int awbIndex();
    void setAwbIndex(int v);
    int sceIndex();
    void setSceIndex(int v);
    bool isDebugVisible() const;
    QString debugStr() const;
    void setDebugStr(const QString &text);
    bool isoEnable() const;
    void setIsoEnable(bool v);
    bool evEnable() const;
    void setEvEnable(bool v);
    bool afdEnable() const;
    void setAfdEnable(bool v);
    bool warmnessEnable() const;
    void setWarmnessEnable(bool v);
    bool displayZoom();
    void setDisplayZoom(bool v);
    bool debugLog();
    void setDebugLog(bool v);
    bool colorTemperatureEnable() const;
    void setColorTemperatureEnable(bool v);
    int colorTemperatureIndex() const;
    void setColorTemperatureIndex(int v);
    QStringList colorTemperatureList() const;
    void setColorTemperatureList(const QStringList &list);
    QStringList missingControls() const;
    bool panelOnCamera() const;
    // The image statistics panel's figures, from the frames shown.
    ImageStats *imageStats() const;

signals:
    void frameSizeChanged();
    void cameraNamesChanged();
    void perviewSizeChanged();
    void noPictureNoticeChanged();
    void apertureListChanged();
    void apertureEnableChanged();
    void exposureListChanged();
    void exposureEnableChanged();
    void isoListChanged();
    void evListChanged();
    void warmnessListChanged();
    void mceListChanged();
    void debugInfoChanged();
    void debugVisibleChanged();
    void usbDevsChanged();
    void isoIndexChanged();
    void isoEnableChanged();
    void aecIndexChanged();
    void evEnableChanged();
    void afdEnableChanged();
    void warmnessEnableChanged();
    void exposureIndexChanged();
    void awbIndexChanged();
    void afdIndexChanged();
    void previewSizeIndexChanged();
    void cameraIndexChanged();
    void evIndexChanged();
    void brightSwitchChanged();
    void skinSwitchChanged();
    void warmnessIndexChanged();
    void apertureIndexChanged();
    void sharpnessIndexChanged();
    void contrastIndexChanged();
    void saturationIndexChanged();
    void sceIndexChanged();
    void mceRindexChanged();
    void mceGindexChanged();
    void mceBindexChanged();
    void displayZoomChanged();
    void debugLogChanged();
    void colorTemperatureEnableChanged();
    void colorTemperatureIndexChanged();
    void colorTemperatureListChanged();
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

    void showOpenFailedBox();
    void showFileNotice(const char *titleId, const QString &text);
    void showSaveWaitBox();
    void onControlDone(const ControlOutcome &outcome);
    void onSyncCompleted(const ControlOutcome &outcome);
    void onSaveCompleted(const ControlOutcome &outcome);
    QString failureText(const ControlOutcome &outcome) const;
    void sendColorTemperature(int index, int row);
    void startSync(bool restoreDefaults);
    void cameraOpened();
    bool storeWithPanel();
    int runModal(QDialog *box);
    void finishQuitIfUnwound();
    void rememberOpenCamera();
    void forgetChosenCamera();
    void relocateOpenCamera();
    bool openCameraListed() const;
    void reopenQuietly();
    bool closeIfGone();
    void showStreamFormat();

    // The steps of the tuning setters and getters; `param` is a row of the
    // parameter table in qmldata.cpp.
    int loadTuning(int param);
    bool changeTuning(int param, int v);
    void sendTuning(int param, int v);
    void setTuning(int param, int v);
    int tuning(int param) const;

    QmlDataPrivate *pv = nullptr;
    bool ui_ready = false;
    QVector<int> m_frameSize{1920, 1080};
    int m_cameraIndex = 0;
    QStringList m_cameraNames;
    int m_previewSizeIndex = 0;
    QStringList m_apertureList;
    bool m_apertureEnable = false;
    QStringList m_exposureList;
    bool m_exposureEnable = false;
    QStringList m_isoList;
    QStringList m_evList;
    QStringList m_warmnessList;
    QStringList m_mceList;
    bool m_isDebugVisible = false;
    QString m_debugStr;
    bool m_isoEnable = false;
    bool m_evEnable = false;
    bool m_afdEnable = false;
    bool m_warmnessEnable = false;
    bool m_colorTemperatureEnable = false;
    int m_colorTemperatureIndex = 0;
    QStringList m_colorTemperatureList;
};
