#include "backend/qmldata.h"

#include "backend/backendlog.h"
#include "backend/camerasession.h"
#include "backend/controlrows.h"
#include "backend/controlstatus.h"
#include "backend/devicewatcher.h"
#include "backend/framefeed.h"
#include "backend/prompts.h"
#include "backend/tuningmodel.h"
#include "camera/cameralink.h"
#include "camera/capturethread.h"
#include "settings/settingsstore.h"
#include "tunnel/cameracontrol.h"
#include "tunnel/paramtunnel.h"

#include <QDateTime>
#include <QDebug>
#include <QFileInfo>
#include <QTimer>

#include <opencv2/videoio.hpp>

// The parts of the backend. The facade owns them and connects them; they know
// only the services below them (store, tunnel, camera, worker, status).
struct QmlDataPrivate
{
    QmlDataPrivate(std::unique_ptr<CameraLink> link, ParamTunnel::Pause pause)
        : tunnel(std::move(pause))
        , camera(std::move(link))
    {
    }

    ParamTunnel tunnel;
    std::unique_ptr<CameraLink> camera;
    SettingsStore settings;
    ControlStatus status;
    QTimer debugTimer;
    QTimer stallTimer;
    // Runs every control call of the camera, and its opening and closing.
    std::unique_ptr<CameraControl> control;
    std::unique_ptr<ImageStats> stats;
    std::unique_ptr<TuningModel> tuning;
    std::unique_ptr<CameraSession> session;
    std::unique_ptr<Prompts> prompts;
    std::unique_ptr<FrameFeed> frames;
    std::unique_ptr<DeviceWatcher> watcher;
};

// Construction and destruction

QmlData::QmlData(QObject *parent)
    : QmlData(std::make_unique<CameraLink>(), createPlatformDeviceWatcher(), parent)
{
}

QmlData::QmlData(std::unique_ptr<CameraLink> camera, std::unique_ptr<DeviceWatcher> watcher, QObject *parent,
                 std::function<void(unsigned long ms)> pause)
    : QObject(parent)
    , pv(new QmlDataPrivate(camera ? std::move(camera) : std::make_unique<CameraLink>(), std::move(pause)))
{
    CameraLink *link = pv->camera.get();
    pv->control = std::make_unique<CameraControl>(link, &pv->settings, &pv->tunnel);
    pv->stats = std::make_unique<ImageStats>(&pv->settings);
    pv->tuning = std::make_unique<TuningModel>(&pv->settings);
    pv->session = std::make_unique<CameraSession>(link, &pv->settings, &pv->tunnel, pv->control.get());
    pv->prompts = std::make_unique<Prompts>(&pv->status);
    pv->frames = std::make_unique<FrameFeed>(pv->session->captureThread(), link, pv->stats.get());
    pv->watcher = std::move(watcher);
    initWiring();
    pv->settings.setProblemHandler([this](const FileProblem &p) { tellFileProblem(FileNotice::Subject::Settings, p); });
}

void QmlData::initWiring()
{
    TuningModel *tuning = pv->tuning.get();
    CameraSession *session = pv->session.get();
    Prompts *prompts = pv->prompts.get();
    FrameFeed *frames = pv->frames.get();

    connect(session->captureThread(), &CaptureThread::onGetFrame, this, &QmlData::sendFrameData);
    connect(frames, &FrameFeed::goodFrame, &session->pictureWatch(), &PictureWatch::goodFrame);
    connect(frames, &FrameFeed::frameSizeChanged, this, &QmlData::frameSizeChanged);
    connect(pv->control.get(), &CameraControl::done, this, &QmlData::onControlDone);
    // A stalled camera is told over the preview within 1.5 s.
    pv->stallTimer.setInterval(250);
    connect(&pv->stallTimer, &QTimer::timeout, this,
            [this] { pv->status.setNotAnswering(pv->camera->controlStalled()); });
    pv->stallTimer.start();
    connect(&pv->debugTimer, SIGNAL(timeout()), this, SLOT(getCamDebugInfo()));
    connect(this, &QmlData::usbDevsChanged, this, &QmlData::onUsbDevsChanged);
    if (pv->watcher)
        connect(pv->watcher.get(), &DeviceWatcher::devicesChanged, this, &QmlData::usbDevsChanged);

    // The tuning model: its changes go to the camera session and to QML.
    connect(tuning, &TuningModel::writeAsked, session, &CameraSession::write);
    connect(tuning, &TuningModel::valueChanged, this, [this](int id) {
#define VEXLO_QML_SIGNAL(name, store, kind, key, property, setter, ...) \
    if (id == Params::name)                                             \
        emit property##Changed();
        VEXLO_PARAMS(VEXLO_QML_SIGNAL)
#undef VEXLO_QML_SIGNAL
    });
    connect(tuning, &TuningModel::enableChanged, this, [this](int e) {
#define VEXLO_QML_ENABLE_SIGNAL(property, setter, which) \
    if (e == Params::which)                               \
        emit property##Changed();
        VEXLO_QML_ENABLES(VEXLO_QML_ENABLE_SIGNAL)
#undef VEXLO_QML_ENABLE_SIGNAL
    });
    connect(tuning, &TuningModel::listChanged, this, [this](int id) {
#define VEXLO_QML_LIST_SIGNAL(property, setter, row) \
    if (id == Params::row)                            \
        emit property##Changed();
        VEXLO_QML_LISTS(VEXLO_QML_LIST_SIGNAL)
#undef VEXLO_QML_LIST_SIGNAL
    });

    // The camera session: what QML shows, and what needs the user.
    connect(session, &CameraSession::cameraIndexChanged, this, &QmlData::cameraIndexChanged);
    connect(session, &CameraSession::cameraNamesChanged, this, &QmlData::cameraNamesChanged);
    connect(session, &CameraSession::streamTextChanged, this, &QmlData::perviewSizeChanged);
    connect(session, &CameraSession::panelOnCameraChanged, this, &QmlData::panelOnCameraChanged);
    connect(session, &CameraSession::missingControlsChanged, this, &QmlData::missingControlsChanged);
    connect(&session->pictureWatch(), &PictureWatch::noticeChanged, this, &QmlData::noPictureNoticeChanged);
    connect(session, &CameraSession::opened, prompts, &Prompts::openSucceeded);
    connect(session, &CameraSession::openFailed, prompts, &Prompts::openFailed);
    connect(session, &CameraSession::cameraGone, prompts, &Prompts::findDevice);
    connect(session, &CameraSession::camerasArrived, this, &QmlData::camerasArrived);

    // The prompts: the user's answers.
    prompts->camerasListed = [session] { return session->listed(); };
    prompts->panelDiffers = [session] { return !session->panelOnCamera() && session->isOpen(); };
    prompts->unsavedChanges = [tuning] { return tuning->dirty() && tuning->changedSinceSnapshot(); };
    connect(prompts, &Prompts::findRetried, this, &QmlData::retryFind);
    connect(prompts, &Prompts::openRetried, session, &CameraSession::retryOpen);
    connect(prompts, &Prompts::syncAsked, this, [this](bool restore) { pv->control->postSync(restore); });
    connect(prompts, &Prompts::exitStoreAsked, this, [this] {
        pv->tuning->storeStarted();
        pv->control->postStore(true);
    });
    connect(prompts, &Prompts::quitting, session, &CameraSession::setQuitting);
    connect(prompts, &Prompts::quitting, frames, &FrameFeed::cancelWait);
    // A quit asked for while a snapshot waits for its frame waits for it to return.
    connect(frames, &FrameFeed::waitBegins, prompts, &Prompts::enterModal);
    connect(frames, &FrameFeed::waitEnds, prompts, &Prompts::leaveModal);
}

QmlData::~QmlData()
{
    stopThreads();
    if (QCoreApplication *app = QCoreApplication::instance())
        app->removeNativeEventFilter(this);
    pv->debugTimer.stop();
    stopCapture();
    pv->camera->camClose(); // the worker has stopped: closed here
    pv->prompts.reset();
    pv->settings.setProblemHandler({});
    pv->frames.reset();
    pv->session.reset();
    pv->control.reset();
    delete pv;
    pv = nullptr;
}

void QmlData::stopThreads()
{
    // The capture thread idles while the camera is closed; only here does it end.
    pv->session->captureThread()->stop();
    // The control worker finishes the operation it runs (the camera must not
    // be left with an open transaction) and drops the rest: their values are
    // in the INI file already.
    pv->control->stop();
    pv->stats->stop();
}

void QmlData::setApplication(QCoreApplication *app)
{
    app->installNativeEventFilter(this);
}

SettingsStore *QmlData::settingsStore() const { return &pv->settings; }
CameraLink *QmlData::cameraLink() const { return pv->camera.get(); }
ControlStatus *QmlData::controlStatus() const { return &pv->status; }
bool QmlData::controlsIdle() const { return pv->control->idle(); }
void QmlData::setUiReady(bool ready) { ui_ready = ready; }
void QmlData::setFrameSink(std::function<void(const QImage &)> sink) { pv->frames->setSink(std::move(sink)); }
void QmlData::setQuitHandler(std::function<void()> handler) { pv->prompts->setQuitHandler(std::move(handler)); }
void QmlData::requestQuit() { pv->prompts->requestQuit(); }
ImageStats *QmlData::imageStats() const { return pv->stats.get(); }

void QmlData::tellFileProblem(FileNotice::Subject subject, const FileProblem &problem)
{
    pv->prompts->fileProblem(subject, problem);
}

bool QmlData::nativeEventFilter(const QByteArray &eventType, void *message, long *result)
{
    Q_UNUSED(eventType)
    Q_UNUSED(result)
    if (isDeviceChangeMessage(message))
        emit usbDevsChanged();
    return false;
}

// Tuning parameters

#define VEXLO_QML_DEFINE(name, store, kind, key, property, setter, ...)                                \
    VEXLO_PARAM_TYPE(kind) QmlData::property()                                                       \
    {                                                                                                \
        return VEXLO_PARAM_TYPE(kind)(pv->tuning->value(Params::name));                              \
    }                                                                                                \
    void QmlData::setter(VEXLO_PARAM_TYPE(kind) v) { pv->tuning->set(Params::name, int(v)); }
VEXLO_PARAMS(VEXLO_QML_DEFINE)
#undef VEXLO_QML_DEFINE

// Value lists and enables (see TuningModel::setList and setEnabled for when
// they signal).
#define VEXLO_QML_LIST(property, setter, id)                                               \
    QStringList QmlData::property() const { return pv->tuning->list(Params::id); }         \
    void QmlData::setter(const QStringList &list) { pv->tuning->setList(Params::id, list); }
VEXLO_QML_LISTS(VEXLO_QML_LIST)
#undef VEXLO_QML_LIST
#define VEXLO_QML_ENABLE(property, setter, which)                                      \
    bool QmlData::property() const { return pv->tuning->enabled(Params::which); } \
    void QmlData::setter(bool v) { pv->tuning->setEnabled(Params::which, v); }
VEXLO_QML_ENABLES(VEXLO_QML_ENABLE)
#undef VEXLO_QML_ENABLE

void QmlData::updateAecEnables(int aecMode) { pv->tuning->updateAecEnables(aecMode); }
void QmlData::takeSnapshot() { pv->tuning->takeSnapshot(); }
bool QmlData::changedSinceSnapshot() const { return pv->tuning->changedSinceSnapshot(); }

void QmlData::initCameraParams()
{
    refreshCameraNames();
    pv->tunnel.loadFlags(pv->settings);
    pv->tuning->load();
}

void QmlData::reloadFromSettings()
{
    previewSizeIndex();
    emit previewSizeIndexChanged();
    pv->tuning->reload();
    pv->camera->setRotation(0);
}

void QmlData::syncParamsNow()
{
    pv->control->postSync(false);
}

// The parameters count as stored once the camera has taken the command.
void QmlData::saveParamsToCam()
{
    if (!pv->prompts->storeWithPanel())
        return;
    pv->tuning->storeStarted();
    pv->control->postStore(false);
}

void QmlData::showSyncBox() { pv->prompts->sync(false); }
void QmlData::restoreDefaultSettings() { pv->prompts->sync(true); }
void QmlData::showSaveBox() { pv->prompts->saveBeforeExit(); }
void QmlData::openFindDeviceDialog() { pv->prompts->findDevice(); }
bool QmlData::panelOnCamera() const { return pv->session->panelOnCamera(); }
QStringList QmlData::missingControls() const { return rowsWithoutControl(*pv->camera); }

// Every result of the control worker: failed and slow calls are logged, and
// each kind of operation tells its outcome.
void QmlData::onControlDone(const ControlOutcome &outcome)
{
    ControlStatus::logCalls(outcome);
    switch (outcome.kind) {
    case ControlOutcome::Write:
        pv->status.tellWrite(outcome);
        break;
    case ControlOutcome::ReadBack:
        // A read-back the camera did not answer leaves the last text up, and
        // one that ends after the overlay was hidden changes nothing.
        if (!outcome.failed() && m_isDebugVisible)
            setDebugStr(outcome.text);
        break;
    case ControlOutcome::Store:
        if (outcome.failed()) {
            pv->status.showNotice(tr("store_failed") + QLatin1Char(' ') + outcome.reason());
        } else {
            pv->tuning->stored();
            pv->status.showNotice(tr("stored_in_camera"));
        }
        break;
    case ControlOutcome::StoreBeforeExit:
        pv->prompts->exitStoreDone(outcome.failed() ? outcome.reason() : QString());
        if (!outcome.failed())
            pv->tuning->stored();
        break;
    case ControlOutcome::Sync:
    case ControlOutcome::Restore: {
        const QString failedRows = pv->status.tellSync(outcome);
        // A sync that sent every row leaves the camera with the panel's values.
        if (!outcome.failed())
            pv->session->allSent();
        if (outcome.kind == ControlOutcome::Restore)
            reloadFromSettings();
        pv->prompts->syncDone(failedRows);
        break;
    }
    case ControlOutcome::Open:
    case ControlOutcome::Close:
        pv->session->controlDone(outcome);
        break;
    }
}

int QmlData::getLanguageType()
{
    const QString lang = pv->settings.getLanguage();
    return (lang == QLatin1String("zh_CN") || lang == QLatin1String("zh_TW")) ? 210 : 320;
}

void QmlData::applyTranslate() {}

// Camera choice, lifecycle and hot-plug

QVector<int> QmlData::frameSize() const { return pv->frames->frameSize(); }
int QmlData::cameraIndex() const { return pv->session->cameraIndex(); }
QStringList QmlData::cameraNames() const { return pv->session->cameraNames(); }
void QmlData::setCameraNames(const QStringList &names) { pv->session->setCameraNames(names); }
bool QmlData::noPictureNotice() const { return pv->session->pictureWatch().noticeShown(); }
void QmlData::setPreviewSizeList(const QStringList &) { emit perviewSizeChanged(); }
int QmlData::getCamDevs() { return pv->session->enumerate(); }
bool QmlData::startCaptureTimer() { return pv->session->start(); }
void QmlData::refreshCameraNames() { pv->session->refreshNames(); }
void QmlData::onUsbDevsChanged() { pv->session->deviceChange(); }
void QmlData::onCaptureFailed() { pv->session->captureFailed(); }

void QmlData::stopCapture()
{
    if (pv)
        pv->session->stop();
}

void QmlData::setCameraIndex(int v)
{
    if (pv->session->chooseCamera(v) && ui_ready) {
        stopCapture();
        startCaptureTimer();
    }
}

int QmlData::previewSizeIndex() { return pv->session->loadPreviewIndex(); }
QStringList QmlData::previewSizeList() const { return pv->session->previewSizeList(); }

void QmlData::setPreviewSizeIndex(int v)
{
    if (!pv->session->choosePreview(v))
        return;
    emit previewSizeIndexChanged();
    if (ui_ready) {
        stopCapture();
        startCaptureTimer();
    }
}

// The user asked to look again for a camera.
void QmlData::retryFind()
{
    if (pv->session->enumerate() > 0) {
        initCameraParams();
        startCaptureTimer();
    } else {
        pv->prompts->findDevice();
    }
}

// The first camera came while none was listed.
void QmlData::camerasArrived()
{
    pv->prompts->closeFindDevice();
    initCameraParams();
    startCaptureTimer();
}

// Frames, snapshot and view control

void QmlData::setImageFrameRender(QQuickItem *imageFrameRender)
{
    pv->frames->setItem(imageFrameRender);
}

void QmlData::sendFrameData(QImage qimage)
{
    pv->frames->frameReady(std::move(qimage));
}

void QmlData::openSavePicDialog()
{
    Prompts *prompts = pv->prompts.get();
    if (prompts->quitRequested())
        return;
    prompts->enterModal();
    const QString folder = SnapshotFile::startFolder(pv->settings.getSnapshotFolder());
    const QString fileName = SnapshotFile::askName(tr("Save as"), folder, QDateTime::currentDateTime());
    prompts->leaveModal();
    if (prompts->quitRequested() || fileName.isEmpty())
        return;
    pv->settings.setSnapshotFolder(QFileInfo(fileName).absolutePath());
    const SnapshotFile::Result result = saveSnapshot(fileName);
    if (result.ok())
        emit snapshotSaved(QFileInfo(fileName).fileName());
    else
        prompts->fileNotice(QT_TRANSLATE_NOOP("QmlData", "snapshot_failed_t"),
                            FileNotice::snapshotText(result, fileName));
}

SnapshotFile::Result QmlData::saveSnapshot(const QString &fileName)
{
    return pv->frames->saveSnapshot(fileName, pv->session->isOpen());
}

void QmlData::rotateDisplay(bool isCW)
{
    if (!pv->session->isOpen())
        return;
    const int r = pv->camera->rotation();
    const int next = isCW ? (r + 90) % 360 : (r == 0 ? 270 : r - 90);
    pv->camera->setRotation(next);
}

bool QmlData::isDebugVisible() const { return m_isDebugVisible; }
QString QmlData::debugStr() const { return m_debugStr; }

void QmlData::setDebugStr(const QString &text)
{
    m_debugStr = text;
    emit debugInfoChanged();
}

void QmlData::setDebugVisible(bool isVisible)
{
    if (isVisible == m_isDebugVisible)
        return;
    pv->debugTimer.stop();
    if (isVisible)
        pv->debugTimer.start(1000);
    m_isDebugVisible = isVisible;
    emit debugVisibleChanged();
}

QString QmlData::getCamDebugInfo()
{
    // The worker reads; the text comes with its result. A read-back still
    // queued or running behind a slow camera is not asked for twice.
    pv->control->postReadBack();
    return QString();
}

// Switches of the window kept in the store: signalled on a change.
#define VEXLO_QML_STORED_SWITCH(property, setter, get, set)                \
    bool QmlData::property() { return pv->settings.get(); }               \
    void QmlData::setter(bool v)                                          \
    {                                                                     \
        if (v == pv->settings.get())                                      \
            return;                                                       \
        pv->settings.set(v);                                              \
        emit property##Changed();                                         \
    }
VEXLO_QML_STORED_SWITCH(displayZoom, setDisplayZoom, getDisplayZoom, setDisplayZoom)
VEXLO_QML_STORED_SWITCH(debugLog, setDebugLog, getDebugLog, setDebugLog)
#undef VEXLO_QML_STORED_SWITCH

void QmlData::methodPrintln(QString str)
{
    qCDebug(lcBackend) << str;
}
