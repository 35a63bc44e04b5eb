#include "backend/qmldata.h"

#include "backend/backendlog.h"
#include "backend/controlrows.h"
#include "backend/devicewatcher.h"
#include "backend/filenotice.h"
#include "backend/panelsync.h"
#include "backend/picturewatch.h"
#include "camera/cameralink.h"
#include "camera/devicesource.h"
#include "camera/capturethread.h"
#include "camera/framesink.h"
#include "camera/streamformat.h"
#include "settings/settingsstore.h"
#include "backend/controlstatus.h"
#include "tunnel/cameracontrol.h"
#include "tunnel/paramtunnel.h"

#include <QApplication>
#include <QDateTime>
#include <QCloseEvent>
#include <QDebug>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLayout>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QQuickItem>
#include <QQuickWindow>
#include <QThread>
#include <QTimer>

#include <array>
#include <cstring>
#include <utility>

#include <opencv2/videoio.hpp>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#include <dbt.h>
#endif

// ---------------------------------------------------------------------------
// Message boxes
//
// Each box decides on its own when a close request (window button, close()) may
// end it. Escape and Enter never end a box: a key on the box would otherwise
// press its escape button, which is "Exit" in the prompts. A box without
// buttons stays without buttons (QMessageBox would add an OK button when shown),
// and every box keeps its fixed size.
// The program itself ends a box with done(), which needs no permission.
// ---------------------------------------------------------------------------

namespace {

// The texts of a box are kept as their translation ids and set again after
// every language change: Qt's own handling of that event puts its default
// texts back on the standard buttons ("Retry", "Cancel"). The box keeps its
// usual size of 380 x 100 unless its texts need more room.
class PromptBox : public QMessageBox
{
public:
    PromptBox()
        : QMessageBox(nullptr)
    {
    }

    void setTextIds(const char *title, const char *text)
    {
        titleId = title;
        textId = text;
        applyTexts();
    }

    void addButtonId(StandardButton which, const char *text)
    {
        QMessageBox::addButton(which);
        buttonIds.append({which, text});
        applyTexts();
    }

protected:
    void applyTexts()
    {
        setWindowTitle(QmlData::tr(titleId));
        setText(QmlData::tr(textId));
        for (const auto &b : qAsConst(buttonIds))
            button(b.first)->setText(QmlData::tr(b.second));
        if (QLayout *l = layout()) {
            l->invalidate();
            setFixedSize(l->totalSizeHint().expandedTo(l->totalMinimumSize()).expandedTo(QSize(380, 100)));
        }
    }

private:
    const char *titleId = "";
    const char *textId = "";
    QVector<QPair<StandardButton, const char *>> buttonIds;
};

// Shared behaviour of the five boxes: `mayClose` says whether a close request
// is allowed at this moment.
template <typename Derived>
class GuardedBox : public PromptBox
{
protected:
    bool event(QEvent *e) override
    {
        switch (e->type()) {
        case QEvent::Close:
            if (static_cast<Derived *>(this)->mayClose())
                return false; // accepted: the box hides and its exec() returns 0
            e->ignore();
            return true;
        case QEvent::KeyPress:
        case QEvent::ShortcutOverride:
        case QEvent::LayoutRequest: // QMessageBox would resize itself to its text
            e->ignore();
            return true;
        case QEvent::LanguageChange: {
            const bool done = QMessageBox::event(e);
            applyTexts();
            return done;
        }
        default:
            return QMessageBox::event(e);
        }
    }

    void showEvent(QShowEvent *e) override
    {
        // Skips QMessageBox's own show handling, which adds the automatic OK
        // button to a box without buttons.
        QDialog::showEvent(e);
    }
};

void setUpBox(PromptBox *box, const char *titleId, const char *textId)
{
    box->setIconPixmap(QMessageBox::standardIcon(QMessageBox::Warning));
    box->setTextIds(titleId, textId);
}

void addButton(PromptBox *box, QMessageBox::StandardButton which, const char *textId)
{
    box->addButtonId(which, textId);
}

} // namespace

class QmlData::SyncBox : public GuardedBox<SyncBox>
{
public:
    ~SyncBox() override = default;
    bool mayClose() const { return !busy; }
    bool busy = false;

protected:
    void closeEvent(QCloseEvent *e) override { e->ignore(); }
};

class QmlData::SaveWaitBox : public GuardedBox<SaveWaitBox>
{
public:
    ~SaveWaitBox() override = default;
    bool mayClose() const { return !busy; }
    bool busy = false;

protected:
    void closeEvent(QCloseEvent *e) override { e->ignore(); }
};

class QmlData::OpenFailedBox : public GuardedBox<OpenFailedBox>
{
public:
    explicit OpenFailedBox(QmlData *o)
        : owner(o)
    {
    }
    ~OpenFailedBox() override = default;
    bool mayClose() const { return !busy; }
    bool busy = false;
    QmlData *owner = nullptr;

protected:
    void closeEvent(QCloseEvent *e) override { e->ignore(); }
};

class QmlData::SaveToCamBox : public GuardedBox<SaveToCamBox>
{
public:
    explicit SaveToCamBox(QmlData *o)
        : owner(o)
    {
    }
    ~SaveToCamBox() override = default;
    bool mayClose() const { return true; }
    bool busy = false;
    QmlData *owner = nullptr;

protected:
    void closeEvent(QCloseEvent *) override {}
};

// Asked before a store while the camera does not run the panel's values.
class StoreAskBox : public GuardedBox<StoreAskBox>
{
public:
    bool mayClose() const { return true; }
};

// The store before exit failed: Retry, Exit, or closed to keep working.
class StoreFailedBox : public GuardedBox<StoreFailedBox>
{
public:
    bool mayClose() const { return true; }
};

class QmlData::DevMessageBox : public GuardedBox<DevMessageBox>
{
public:
    explicit DevMessageBox(QmlData *o)
        : owner(o)
    {
    }
    ~DevMessageBox() override = default;
    bool mayClose() const;
    QmlData *owner = nullptr;

protected:
    void closeEvent(QCloseEvent *e) override { e->ignore(); }
};

// ---------------------------------------------------------------------------
// Private record
// ---------------------------------------------------------------------------

namespace {

// The tuning parameters, in the order in which a reload signals them. Each is a
// list index (or a switch) that QML sees as a property, that the INI file keeps
// and that the tunnel sends; the table below says how, once for all of them.
enum Tuning {
    Bright, Skin, Aec, Afd, Awb, Aperture, Exposure, Iso, Ev, Sce,
    Saturation, Contrast, Sharpness, Warmness, MceR, MceG, MceB,
    TuningCount
};

using TuningValues = std::array<int, TuningCount>;

} // namespace

struct QmlDataPrivate
{
    QmlDataPrivate(std::unique_ptr<CameraLink> link, ParamTunnel::Pause pause)
        : tunnel(std::move(pause))
        , camera(std::move(link))
    {
    }

    ParamTunnel tunnel;
    std::unique_ptr<CameraLink> camera;
    QTimer debugTimer;
    SettingsStore settings;
    QStringList cameraNameList;
    int currentDeviceId = 0;
    CaptureThread *captureThread = nullptr;
    // Reopens a listed camera that delivers no picture.
    PictureWatch pictureWatch;
    // What the preview-size row shows for the chosen entry when the camera
    // delivers another size or format; empty when it delivers that entry.
    QString streamText;
    int mDevs = 0;
    std::vector<CamDevice> devices;
    QPointer<QmlData::SyncBox> syncBox;
    QPointer<QmlData::SaveWaitBox> saveWaitBox;
    QPointer<QmlData::DevMessageBox> devBox;
    QPointer<QmlData::OpenFailedBox> openFailedBox;
    QPointer<QmlData::SaveToCamBox> saveToCamBox;
    // Runs every control call of the camera (see cameralink.h).
    CameraControl *control = nullptr;
    ControlStatus status;
    QTimer stallTimer;
    // The values a running store command stores, and the reason a store
    // before exit failed (empty: stored).
    TuningValues storing{};
    QString exitStoreFailure;
    // The rows a sync or restore could not send, said once its box is gone.
    QString syncFailure;
    // Whether the camera runs the panel's values.
    PanelSync panel{TuningCount};
    // Every tuning parameter as its getter last read it or its setter last set
    // it, and a copy taken at the end of start-up and at each store to camera
    // (the exit prompt asks only when they differ).
    TuningValues values{};
    TuningValues savedValues{};
    bool paramsDirty = false;
    // Set while the exposure rules force ISO to automatic (see updateAecEnables).
    bool forcingIso = false;

    std::unique_ptr<DeviceWatcher> watcher;
    QPointer<QQuickItem> imageSink;
    std::function<void(const QImage &)> frameSink;

    // The camera opened last: tells it apart in a new device list even when
    // the capture indexes have shifted.
    bool hasOpenCamera = false;
    CamDevice openCamera;
    // The camera as asked for: open, or its open asked and not known to have
    // failed. Opens and closes run on the control worker; `cameraAsks` counts
    // those whose result is still to come (only the last one's counts), and
    // `quietOpen` says that the last open asked is a reopen without prompts.
    bool cameraOpen = false;
    int cameraAsks = 0;
    bool quietOpen = false;

    // Quit path: the backend is deleted by the application's quit handling, so
    // the quit is carried out only once no prompt of the backend is on the stack.
    std::function<void()> quitHandler;
    QList<QPointer<QDialog>> openModals;
    int modalDepth = 0;
    bool quitRequested = false;
    bool quitPosted = false;

    // When the camera was last opened afresh without a prompt.
    QElapsedTimer reopenedAfterFailure;

    // A snapshot waiting for the next frame of the capture thread.
    QPointer<QEventLoop> snapshotWait;
    QImage snapshotFrame;

    std::unique_ptr<ImageStats> stats;
    // Notices about the settings and log files: up without blocking anything.
    QList<QPointer<QMessageBox>> fileNotices;
};

bool QmlData::DevMessageBox::mayClose() const
{
    return owner && owner->pv && owner->pv->mDevs > 0;
}

namespace {

void sendQuitToApplication()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return;
    QEvent quit(QEvent::Quit);
    QCoreApplication::sendEvent(app, &quit);
    QApplication::closeAllWindows();
}

const int SnapshotTimeoutMs = 2000;

} // namespace

// ---------------------------------------------------------------------------
// Construction and destruction
// ---------------------------------------------------------------------------

QmlData::QmlData(QObject *parent)
    : QmlData(std::make_unique<CameraLink>(), createPlatformDeviceWatcher(), parent)
{
}

QmlData::QmlData(std::unique_ptr<CameraLink> camera, std::unique_ptr<DeviceWatcher> watcher, QObject *parent,
                 std::function<void(unsigned long ms)> pause)
    : QObject(parent)
    , pv(new QmlDataPrivate(camera ? std::move(camera) : std::make_unique<CameraLink>(), std::move(pause)))
{
    pv->captureThread = new CaptureThread(pv->camera.get());
    pv->control = new CameraControl(pv->camera.get(), &pv->settings, &pv->tunnel);
    pv->quitHandler = sendQuitToApplication;
    pv->stats = std::make_unique<ImageStats>(&pv->settings);

    connect(pv->captureThread, &CaptureThread::onGetFrame, this, &QmlData::sendFrameData);
    connect(pv->captureThread, &CaptureThread::readFailed, this, &QmlData::onCaptureFailed);
    connect(pv->control, &CameraControl::done, this, &QmlData::onControlDone);
    // A stalled camera is told over the preview within 1.5 s.
    pv->stallTimer.setInterval(250);
    connect(&pv->stallTimer, &QTimer::timeout, this,
            [this] { pv->status.setNotAnswering(pv->camera->controlStalled()); });
    pv->stallTimer.start();
    connect(&pv->debugTimer, SIGNAL(timeout()), this, SLOT(getCamDebugInfo()));
    connect(this, &QmlData::usbDevsChanged, this, &QmlData::onUsbDevsChanged);
    connect(&pv->pictureWatch, &PictureWatch::reopenDue, this, &QmlData::reopenQuietly);
    connect(&pv->pictureWatch, &PictureWatch::noticeChanged, this, &QmlData::noPictureNoticeChanged);

    if (watcher) {
        pv->watcher = std::move(watcher);
        connect(pv->watcher.get(), &DeviceWatcher::devicesChanged, this, &QmlData::usbDevsChanged);
    }

    pv->settings.setProblemHandler([this](const FileProblem &p) { tellFileProblem(FileNotice::Subject::Settings, p); });
}

void QmlData::tellFileProblem(FileNotice::Subject subject, const FileProblem &problem)
{
    // Told once the event loop runs, in the window's language, never blocking the start.
    QMetaObject::invokeMethod(this, [this, subject, problem] {
        const QString text = FileNotice::problemText(subject, problem);
        auto *box = FileNotice::makeBox(QT_TRANSLATE_NOOP("QmlData", "file_problem_t"), text);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setModal(false);
        pv->fileNotices.append(box);
        box->show();
    }, Qt::QueuedConnection);
}

QmlData::~QmlData()
{
    stopThreads();
    if (QCoreApplication *app = QCoreApplication::instance())
        app->removeNativeEventFilter(this);
    if (pv->debugTimer.isActive())
        pv->debugTimer.stop();
    stopCapture();
    pv->camera->camClose(); // the worker has stopped: closed here
    for (const QPointer<QDialog> &box : qAsConst(pv->openModals))
        delete box.data();
    for (const QPointer<QMessageBox> &box : qAsConst(pv->fileNotices))
        delete box.data();
    pv->settings.setProblemHandler({});
    delete pv->captureThread;
    delete pv->control;
    delete pv;
    pv = nullptr;
}

void QmlData::stopThreads()
{
    // The capture thread idles while the camera is closed; only here does it end.
    if (pv->captureThread)
        pv->captureThread->stop();
    // The control worker finishes the operation it runs (the camera must not
    // be left with an open transaction) and drops the rest: their values are
    // in the INI file already.
    if (pv->control)
        pv->control->stop();
    if (pv->stats)
        pv->stats->stop();
}

void QmlData::setApplication(QCoreApplication *app)
{
    app->installNativeEventFilter(this);
}

SettingsStore *QmlData::settingsStore() const
{
    return &pv->settings;
}

CameraLink *QmlData::cameraLink() const
{
    return pv->camera.get();
}

ControlStatus *QmlData::controlStatus() const
{
    return &pv->status;
}

bool QmlData::controlsIdle() const
{
    return pv->control->idle();
}

void QmlData::setUiReady(bool ready)
{
    ui_ready = ready;
}

void QmlData::setFrameSink(std::function<void(const QImage &)> sink)
{
    pv->frameSink = std::move(sink);
}

void QmlData::setQuitHandler(std::function<void()> handler)
{
    pv->quitHandler = handler ? std::move(handler) : std::function<void()>(sendQuitToApplication);
}

bool QmlData::nativeEventFilter(const QByteArray &eventType, void *message, long *result)
{
    Q_UNUSED(eventType)
    Q_UNUSED(result)
#ifdef Q_OS_WIN
    const MSG *msg = static_cast<const MSG *>(message);
    if (msg && msg->message == WM_DEVICECHANGE && msg->wParam == DBT_DEVNODES_CHANGED)
        emit usbDevsChanged();
#else
    // Device changes come from the device watcher here.
    Q_UNUSED(message)
#endif
    return false;
}

// ---------------------------------------------------------------------------
// Tuning parameters
// ---------------------------------------------------------------------------

namespace {

const int WarmnessOffset = 15; // warmness index = stored warmness + 15

// One tuning parameter: its NOTIFY signal, how its index follows from the INI
// key, the tunnel write that sends an index to the camera and stores it, and
// the value list it brings along (set at start-up).
struct TuningParam
{
    void (QmlData::*changed)();
    int (*load)(SettingsStore &s, const ParamTunnel &t);
    void (*send)(ParamTunnel &t, int index, CameraLink &c, SettingsStore &s, ParamTunnel::Part part);
    void (QmlData::*setList)(const QStringList &);
    QStringList (*labels)(const ParamTunnel &t);
};

const TuningParam &param(int p)
{
    static const TuningParam table[TuningCount] = {
        // Bright
        {&QmlData::brightSwitchChanged, [](SettingsStore &s, const ParamTunnel &) { return int(s.getBrightMode()); },
         [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s, ParamTunnel::Part part) { t.setBrightMode(v != 0, c, s, part); }},
        // Skin
        {&QmlData::skinSwitchChanged, [](SettingsStore &s, const ParamTunnel &) { return int(s.getSkinSmoothing()); },
         [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s, ParamTunnel::Part part) { t.setSkinSmoothing(v != 0, c, s, part); }},
        // Aec
        {&QmlData::aecIndexChanged, [](SettingsStore &s, const ParamTunnel &) { return s.getAecMod(); },
         [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s, ParamTunnel::Part part) { t.setAecMode(v, c, s, part); }},
        // Afd
        {&QmlData::afdIndexChanged, [](SettingsStore &s, const ParamTunnel &) { return s.getAfdValue(); },
         [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s, ParamTunnel::Part part) { t.setAfd(v, c, s, part); }},
        // Awb: 0 automatic, 1-5 presets; 6, the manual colour temperature, is its setter's
        {&QmlData::awbIndexChanged, [](SettingsStore &s, const ParamTunnel &) { return s.getAwbValue(); },
         [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s, ParamTunnel::Part part) { t.setAwb(v, c, s, part); }},
        // Aperture
        {&QmlData::apertureIndexChanged,
         [](SettingsStore &s, const ParamTunnel &) { return Params::indexOf(Params::Aperture, s.getApertureValue()); },
         [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s, ParamTunnel::Part part) { t.setAperture(v, c, s, part); },
         &QmlData::setApertureList, [](const ParamTunnel &) { return Params::labels(Params::Aperture); }},
        // Exposure
        {&QmlData::exposureIndexChanged,
         [](SettingsStore &s, const ParamTunnel &) { return Params::indexOf(Params::ExposureTime, s.getExposureTime()); },
         [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s, ParamTunnel::Part part) { t.setExposureTime(v, c, s, part); },
         &QmlData::setExposureList, [](const ParamTunnel &) { return Params::labels(Params::ExposureTime); }},
        // Iso: the index is the value
        {&QmlData::isoIndexChanged, [](SettingsStore &s, const ParamTunnel &) { return s.getIsoValue(); },
         [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s, ParamTunnel::Part part) { t.setIso(v, c, s, part); },
         &QmlData::setIsoList, [](const ParamTunnel &) { return Params::labels(Params::Iso); }},
        // Ev
        {&QmlData::evIndexChanged,
         [](SettingsStore &s, const ParamTunnel &) { return Params::indexOf(Params::Ev, s.getEvValue()); },
         [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s, ParamTunnel::Part part) { t.setEv(v, c, s, part); },
         &QmlData::setEvList, [](const ParamTunnel &) { return Params::labels(Params::Ev); }},
        // Sce: stored as index x 100
        {&QmlData::sceIndexChanged, [](SettingsStore &s, const ParamTunnel &) { return s.getSceValue() / 100; },
         [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s, ParamTunnel::Part part) { t.setSce(v, c, s, part); }},
        // Saturation
        {&QmlData::saturationIndexChanged, [](SettingsStore &s, const ParamTunnel &) { return s.getSaturationValue(); },
         [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s, ParamTunnel::Part part) { t.setSaturation(v, c, s, part); }},
        // Contrast
        {&QmlData::contrastIndexChanged, [](SettingsStore &s, const ParamTunnel &) { return s.getContrastValue(); },
         [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s, ParamTunnel::Part part) { t.setContrast(v, c, s, part); }},
        // Sharpness
        {&QmlData::sharpnessIndexChanged, [](SettingsStore &s, const ParamTunnel &) { return s.getSharpnessValue(); },
         [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s, ParamTunnel::Part part) { t.setSharpness(v, c, s, part); }},
        // Warmness: index - 15 is sent and stored
        {&QmlData::warmnessIndexChanged,
         [](SettingsStore &s, const ParamTunnel &) { return s.getWarmnessValue() + WarmnessOffset; },
         [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s, ParamTunnel::Part part) { t.setWarmness(v - WarmnessOffset, c, s, part); },
         &QmlData::setWarmnessList, [](const ParamTunnel &) { return Params::labels(Params::Warmness); }},
        // MceR, MceG, MceB: one list for the three
        {&QmlData::mceRindexChanged, [](SettingsStore &s, const ParamTunnel &) { return Params::indexOf(Params::MceR, s.getUvcMceR()); },
         [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s, ParamTunnel::Part part) { t.setMceR(v, c, s, part); },
         &QmlData::setMceList, [](const ParamTunnel &) { return Params::labels(Params::MceR); }},
        {&QmlData::mceGindexChanged, [](SettingsStore &s, const ParamTunnel &) { return Params::indexOf(Params::MceG, s.getUvcMceG()); },
         [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s, ParamTunnel::Part part) { t.setMceG(v, c, s, part); }},
        {&QmlData::mceBindexChanged, [](SettingsStore &s, const ParamTunnel &) { return Params::indexOf(Params::MceB, s.getUvcMceB()); },
         [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s, ParamTunnel::Part part) { t.setMceB(v, c, s, part); }},
    };
    return table[p];
}

// The QML property of each parameter (which names its row in the window), and
// the capture property that carries it; the colour temperature comes last.
const int ColorTemperatureRow = TuningCount;
const char *const RowNames[TuningCount + 1] = {
    "brightSwitch", "skinSwitch", "aecIndex", "afdIndex", "awbIndex", "apertureIndex", "exposureIndex",
    "isoIndex", "evIndex", "sceIndex", "saturationIndex", "contrastIndex", "sharpnessIndex", "warmnessIndex",
    "mceRindex", "mceGindex", "mceBindex", "colorTemperatureIndex"};
int rowProperty(int row)
{
    static const int props[TuningCount] = {
        cv::CAP_PROP_GAMMA, cv::CAP_PROP_GAMMA, cv::CAP_PROP_AUTO_EXPOSURE, cv::CAP_PROP_BACKLIGHT,
        ParamTunnel::whiteBalanceProperty(), cv::CAP_PROP_IRIS, cv::CAP_PROP_EXPOSURE, cv::CAP_PROP_GAIN,
        cv::CAP_PROP_BRIGHTNESS, cv::CAP_PROP_ZOOM, cv::CAP_PROP_SATURATION, cv::CAP_PROP_CONTRAST,
        cv::CAP_PROP_SHARPNESS, cv::CAP_PROP_HUE, cv::CAP_PROP_ROLL, cv::CAP_PROP_PAN, cv::CAP_PROP_TILT};
    return row < TuningCount ? props[row] : ParamTunnel::whiteBalanceProperty();
}

} // namespace

// The getter rule: the INI file is the source of truth; the value read is
// kept for the setters' change test and the snapshot.
int QmlData::loadTuning(int p)
{
    return pv->values[size_t(p)] = param(p).load(pv->settings, pv->tunnel);
}

// Steps 1-2 of every tuning setter: an unchanged value does nothing at all.
bool QmlData::changeTuning(int p, int v)
{
    int &value = pv->values[size_t(p)];
    if (v == value)
        return false;
    pv->paramsDirty = true;
    value = v;
    return true;
}

// While the camera is closed nothing is sent or stored, so the next read
// brings back the stored value. Otherwise the INI file keeps the choice at
// once and the control worker sends it (after an open still under way).
void QmlData::sendTuning(int p, int v)
{
    if (!pv->cameraOpen)
        return;
    param(p).send(pv->tunnel, v, *pv->camera, pv->settings, ParamTunnel::Part::StoreOnly);
    QmlDataPrivate *d = pv;
    pv->control->postWrite(p, p, [d, p, v](ControlOutcome &) {
        param(p).send(d->tunnel, v, *d->camera, d->settings, ParamTunnel::Part::SendOnly);
    });
    if (pv->panel.rowWritten(p))
        emit panelOnCameraChanged();
}

// The colour temperature shares its register with the white-balance presets:
// one queue key for both, so the latest of them reaches the camera last.
void QmlData::sendColorTemperature(int index, int row)
{
    pv->tunnel.setColorTemperature(index, *pv->camera, pv->settings, ParamTunnel::Part::StoreOnly);
    QmlDataPrivate *d = pv;
    pv->control->postWrite(Awb, row, [d, index](ControlOutcome &) {
        d->tunnel.setColorTemperature(index, *d->camera, d->settings, ParamTunnel::Part::SendOnly);
    });
}

// The plain setter: change, send, signal.
void QmlData::setTuning(int p, int v)
{
    if (!changeTuning(p, v))
        return;
    sendTuning(p, v);
    emit(this->*param(p).changed)();
}

int QmlData::tuning(int p) const
{
    return pv->values[size_t(p)];
}

// ---------------------------------------------------------------------------
// Start-up and reload
// ---------------------------------------------------------------------------

void QmlData::initCameraParams()
{
    refreshCameraNames();
    pv->tunnel.loadFlags(pv->settings);

    for (int p = 0; p < TuningCount; ++p) {
        const TuningParam &row = param(p);
        if (row.setList)
            (this->*row.setList)(row.labels(pv->tunnel));
        loadTuning(p);
        if (p == Exposure)
            emit exposureIndexChanged();
    }
    m_colorTemperatureIndex = pv->settings.getColorTemperature();

    setWarmnessEnable(tuning(Awb) == 0);
    updateAecEnables(tuning(Aec));

    setColorTemperatureList(Params::labels(Params::ColorTemperature));
    emit colorTemperatureIndexChanged();
    setColorTemperatureEnable(tuning(Awb) == 6);

    takeSnapshot();
}

void QmlData::reloadFromSettings()
{
    previewSizeIndex();
    for (int p = 0; p < TuningCount; ++p)
        loadTuning(p);
    m_colorTemperatureIndex = pv->settings.getColorTemperature();

    emit previewSizeIndexChanged();
    for (int p = 0; p < TuningCount; ++p)
        emit(this->*param(p).changed)();
    updateAecEnables(tuning(Aec));
    emit colorTemperatureIndexChanged();
    setColorTemperatureEnable(tuning(Awb) == 6);
    setWarmnessEnable(tuning(Awb) == 0);
    pv->camera->setRotation(0);
}

// The exposure-mode rules: which controls the mode leaves to the user, and
// where it takes ISO back to automatic. Only that forcing reaches the camera.
void QmlData::updateAecEnables(int aecMode)
{
    // Forcing ISO runs the ISO setter, which comes back here. That second pass
    // must not force again: with the camera closed the store keeps the old ISO,
    // a QML binding reads it back on the signal, and each pass would find ISO
    // "changed" once more.
    const auto forceIsoAuto = [this] {
        if (pv->forcingIso)
            return;
        pv->forcingIso = true;
        setIsoIndex(0);
        pv->forcingIso = false;
    };
    switch (aecMode) {
    case 1: // Manual
        setApertureEnable(true);
        setExposureEnable(true);
        setIsoEnable(true);
        setEvEnable(tuning(Iso) == 0);
        setAfdEnable(false);
        break;
    case 2: // Exposure manual
        setApertureEnable(false);
        setExposureEnable(true);
        forceIsoAuto();
        setIsoEnable(false);
        setAfdEnable(false);
        break;
    case 3: // Aperture manual
        setApertureEnable(true);
        setExposureEnable(false);
        setIsoEnable(true);
        setEvEnable(tuning(Iso) == 0);
        setAfdEnable(true);
        break;
    default: // Auto: ISO is free only with anti-flicker off
        setApertureEnable(false);
        setExposureEnable(false);
        if (tuning(Afd) == 3) {
            setIsoEnable(true);
        } else {
            forceIsoAuto();
            setIsoEnable(false);
        }
        setAfdEnable(true);
        setEvEnable(true);
        break;
    }
}

void QmlData::takeSnapshot()
{
    pv->savedValues = pv->values;
}

bool QmlData::changedSinceSnapshot() const
{
    return pv->values != pv->savedValues;
}

void QmlData::syncParamsNow()
{
    pv->control->postSync(false);
}

// The parameters count as stored once the camera has taken the command.
void QmlData::saveParamsToCam()
{
    if (!storeWithPanel())
        return;
    pv->storing = pv->values;
    pv->control->postStore(false);
}

// A camera (re)opened: it runs the values stored in it, and has its own set of controls.
void QmlData::cameraOpened()
{
    if (pv->panel.cameraOpened())
        emit panelOnCameraChanged();
    emit missingControlsChanged();
}

bool QmlData::panelOnCamera() const
{
    return pv->panel.onCamera();
}

QStringList QmlData::missingControls() const
{
    return rowsWithoutControl(*pv->camera);
}

int QmlData::getLanguageType()
{
    const QString lang = pv->settings.getLanguage();
    return (lang == QLatin1String("zh_CN") || lang == QLatin1String("zh_TW")) ? 210 : 320;
}

void QmlData::applyTranslate()
{
}

// ---------------------------------------------------------------------------
// Properties
// ---------------------------------------------------------------------------

namespace {

// Enable flags that signal only a change.
template <typename Signal>
void setFlag(QmlData *q, bool &flag, bool v, Signal changed)
{
    if (v == flag)
        return;
    flag = v;
    emit(q->*changed)();
}

} // namespace

QVector<int> QmlData::frameSize() const
{
    return m_frameSize;
}

int QmlData::cameraIndex() const
{
    return m_cameraIndex;
}

void QmlData::setCameraIndex(int v)
{
    if (v == m_cameraIndex)
        return;
    m_cameraIndex = v;
    if (v >= 0 && v < m_cameraNames.size())
        pv->currentDeviceId = pv->camera->deviceIdAt(v);
    emit cameraIndexChanged();
    if (ui_ready) {
        stopCapture();
        startCaptureTimer();
    }
}

QStringList QmlData::cameraNames() const
{
    return m_cameraNames;
}

void QmlData::setCameraNames(const QStringList &names)
{
    m_cameraNames = names;
    emit cameraNamesChanged();
    if (m_cameraIndex < 0 || m_cameraIndex >= m_cameraNames.size()) {
        m_cameraIndex = 0;
        emit cameraIndexChanged();
    }
}

int QmlData::previewSizeIndex()
{
    m_previewSizeIndex = pv->settings.getPreviewIndex();
    return m_previewSizeIndex;
}

void QmlData::setPreviewSizeIndex(int v)
{
    if (v == m_previewSizeIndex)
        return;
    m_previewSizeIndex = v;
    pv->settings.setPreviewIndex(v);
    emit previewSizeIndexChanged();
    if (ui_ready) {
        stopCapture();
        startCaptureTimer();
    }
}

QStringList QmlData::previewSizeList() const
{
    QStringList list{QStringLiteral("1080P 30FPS"), QStringLiteral("720P 30FPS")};
    if (!pv->streamText.isEmpty())
        list[m_previewSizeIndex == 1 ? 1 : 0] = pv->streamText;
    return list;
}

// After an open: the chosen entry's name, or what the camera delivers instead
// (logged once, when it first differs).
void QmlData::showStreamFormat()
{
    const int entry = m_previewSizeIndex == 1 ? 1 : 0;
    const QString asked = entry ? QStringLiteral("720P 30FPS") : QStringLiteral("1080P 30FPS");
    QString shown = describeStream(pv->camera->streamFormat(), pv->tunnel.previewSettings(entry), asked);
    if (shown == asked)
        shown.clear();
    if (shown == pv->streamText)
        return;
    pv->streamText = shown;
    if (!shown.isEmpty())
        qCInfo(lcBackend).noquote() << QStringLiteral("the camera delivers %1").arg(shown);
    emit perviewSizeChanged();
}

bool QmlData::noPictureNotice() const
{
    return pv->pictureWatch.noticeShown();
}

void QmlData::setPreviewSizeList(const QStringList &)
{
    emit perviewSizeChanged();
}

// The tuning properties (see the table above); the exposure mode, anti-flicker,
// ISO and white balance add their own steps to the setter.
int QmlData::afdIndex() { return loadTuning(Afd); }
bool QmlData::skinSwitch() { return loadTuning(Skin) != 0; }
void QmlData::setSkinSwitch(bool v) { setTuning(Skin, v); }
bool QmlData::brightSwitch() { return loadTuning(Bright) != 0; }
void QmlData::setBrightSwitch(bool v) { setTuning(Bright, v); }
int QmlData::aecIndex() { return loadTuning(Aec); }
int QmlData::apertureIndex() { return loadTuning(Aperture); }
void QmlData::setApertureIndex(int v) { setTuning(Aperture, v); }
int QmlData::exposureIndex() { return loadTuning(Exposure); }
void QmlData::setExposureIndex(int v) { setTuning(Exposure, v); }
int QmlData::isoIndex() { return loadTuning(Iso); }
int QmlData::evIndex() { return loadTuning(Ev); }
void QmlData::setEvIndex(int v) { setTuning(Ev, v); }
int QmlData::saturationIndex() { return loadTuning(Saturation); }
void QmlData::setSaturationIndex(int v) { setTuning(Saturation, v); }
int QmlData::contrastIndex() { return loadTuning(Contrast); }
void QmlData::setContrastIndex(int v) { setTuning(Contrast, v); }
int QmlData::sharpnessIndex() { return loadTuning(Sharpness); }
void QmlData::setSharpnessIndex(int v) { setTuning(Sharpness, v); }
int QmlData::warmnessIndex() { return loadTuning(Warmness); }
void QmlData::setWarmnessIndex(int v) { setTuning(Warmness, v); }
int QmlData::mceRindex() { return loadTuning(MceR); }
void QmlData::setMceRindex(int v) { setTuning(MceR, v); }
int QmlData::mceGindex() { return loadTuning(MceG); }
void QmlData::setMceGindex(int v) { setTuning(MceG, v); }
int QmlData::mceBindex() { return loadTuning(MceB); }
void QmlData::setMceBindex(int v) { setTuning(MceB, v); }
int QmlData::awbIndex() { return loadTuning(Awb); }
int QmlData::sceIndex() { return loadTuning(Sce); }
void QmlData::setSceIndex(int v) { setTuning(Sce, v); }

void QmlData::setAfdIndex(int v)
{
    if (!changeTuning(Afd, v))
        return;
    sendTuning(Afd, v);
    updateAecEnables(tuning(Aec));
    emit afdIndexChanged();
}

// The enables follow the new mode before the camera gets it, so that a forced
// ISO reaches the camera first.
void QmlData::setAecIndex(int v)
{
    if (!changeTuning(Aec, v))
        return;
    updateAecEnables(v);
    sendTuning(Aec, v);
    emit aecIndexChanged();
}

void QmlData::setIsoIndex(int v)
{
    if (!changeTuning(Iso, v))
        return;
    sendTuning(Iso, v);
    emit isoIndexChanged();
    updateAecEnables(tuning(Aec));
}

void QmlData::setAwbIndex(int v)
{
    if (!changeTuning(Awb, v))
        return;
    setWarmnessEnable(v == 0);
    setColorTemperatureEnable(v == 6);
    if (pv->cameraOpen) {
        if (v == 6) {
            // Manual: the camera gets the stored colour temperature, not a preset.
            pv->settings.setAwbValue(6);
            sendColorTemperature(pv->settings.getColorTemperature(), Awb);
        } else {
            sendTuning(Awb, v);
        }
        if (pv->panel.rowWritten(Awb))
            emit panelOnCameraChanged();
    }
    emit awbIndexChanged();
}

// Sent even with the camera closed, and not part of the snapshot.
int QmlData::colorTemperatureIndex() const
{
    return m_colorTemperatureIndex;
}

void QmlData::setColorTemperatureIndex(int v)
{
    if (v == m_colorTemperatureIndex)
        return;
    m_colorTemperatureIndex = v;
    sendColorTemperature(v, ColorTemperatureRow);
    emit colorTemperatureIndexChanged();
}

// Value lists: replaced and signalled on every call.
QStringList QmlData::apertureList() const { return m_apertureList; }
void QmlData::setApertureList(const QStringList &list) { m_apertureList = list; emit apertureListChanged(); }
QStringList QmlData::exposureList() const { return m_exposureList; }
void QmlData::setExposureList(const QStringList &list) { m_exposureList = list; emit exposureListChanged(); }
QStringList QmlData::isoList() const { return m_isoList; }
void QmlData::setIsoList(const QStringList &list) { m_isoList = list; emit isoListChanged(); }
QStringList QmlData::evList() const { return m_evList; }
void QmlData::setEvList(const QStringList &list) { m_evList = list; emit evListChanged(); }
QStringList QmlData::warmnessList() const { return m_warmnessList; }
void QmlData::setWarmnessList(const QStringList &list) { m_warmnessList = list; emit warmnessListChanged(); }
QStringList QmlData::mceList() const { return m_mceList; }
void QmlData::setMceList(const QStringList &list) { m_mceList = list; emit mceListChanged(); }
QStringList QmlData::colorTemperatureList() const { return m_colorTemperatureList; }
void QmlData::setColorTemperatureList(const QStringList &list)
{
    m_colorTemperatureList = list;
    emit colorTemperatureListChanged();
}

// Enables: aperture and exposure are signalled on every call, the others only
// when they change.
bool QmlData::apertureEnable() const { return m_apertureEnable; }
void QmlData::setApertureEnable(bool v) { m_apertureEnable = v; emit apertureEnableChanged(); }
bool QmlData::exposureEnable() const { return m_exposureEnable; }
void QmlData::setExposureEnable(bool v) { m_exposureEnable = v; emit exposureEnableChanged(); }
bool QmlData::isoEnable() const { return m_isoEnable; }
void QmlData::setIsoEnable(bool v) { setFlag(this, m_isoEnable, v, &QmlData::isoEnableChanged); }
bool QmlData::evEnable() const { return m_evEnable; }
void QmlData::setEvEnable(bool v) { setFlag(this, m_evEnable, v, &QmlData::evEnableChanged); }
bool QmlData::afdEnable() const { return m_afdEnable; }
void QmlData::setAfdEnable(bool v) { setFlag(this, m_afdEnable, v, &QmlData::afdEnableChanged); }
bool QmlData::warmnessEnable() const { return m_warmnessEnable; }
void QmlData::setWarmnessEnable(bool v) { setFlag(this, m_warmnessEnable, v, &QmlData::warmnessEnableChanged); }
bool QmlData::colorTemperatureEnable() const { return m_colorTemperatureEnable; }
void QmlData::setColorTemperatureEnable(bool v)
{
    setFlag(this, m_colorTemperatureEnable, v, &QmlData::colorTemperatureEnableChanged);
}

bool QmlData::isDebugVisible() const
{
    return m_isDebugVisible;
}

QString QmlData::debugStr() const
{
    return m_debugStr;
}

void QmlData::setDebugStr(const QString &text)
{
    m_debugStr = text;
    emit debugInfoChanged();
}

bool QmlData::displayZoom()
{
    return pv->settings.getDisplayZoom();
}

void QmlData::setDisplayZoom(bool v)
{
    if (v == pv->settings.getDisplayZoom())
        return;
    pv->settings.setDisplayZoom(v);
    emit displayZoomChanged();
}

bool QmlData::debugLog()
{
    return pv->settings.getDebugLog();
}

void QmlData::setDebugLog(bool v)
{
    if (v == pv->settings.getDebugLog())
        return;
    pv->settings.setDebugLog(v);
    emit debugLogChanged();
}

// ---------------------------------------------------------------------------
// Camera lifecycle and hot-plug
// ---------------------------------------------------------------------------

int QmlData::getCamDevs()
{
    pv->mDevs = pv->camera->enumerateDevices();
    return pv->mDevs;
}

bool QmlData::startCaptureTimer()
{
    if (pv->mDevs < 1) {
        qCWarning(lcBackend, "startCaptureTimer mDevs is null");
        return false;
    }
    pv->camera->setRotation(0);
    if (pv->currentDeviceId < 1)
        pv->currentDeviceId = pv->camera->deviceIdAt(0);
    qCInfo(lcBackend, "open cam id = %d", pv->currentDeviceId);
    openCamera(false);
    return true;
}

// The open runs on the control worker, after what is queued there; its
// result comes back to cameraOpenDone.
void QmlData::openCamera(bool quiet)
{
    pv->cameraOpen = true;
    pv->quietOpen = quiet;
    ++pv->cameraAsks;
    pv->control->postOpen(pv->currentDeviceId, pv->tunnel.previewSettings(m_previewSizeIndex));
}

// The result of the last open asked for: an open that a later open or close
// overtook is not told.
void QmlData::cameraOpenDone(const ControlOutcome &outcome)
{
    pv->cameraOpen = outcome.opened;
    if (pv->quietOpen) {
        if (outcome.opened) {
            showStreamFormat();
            cameraOpened(); // it may have been powered again, with its stored values
        }
        return;
    }
    if (outcome.opened) {
        rememberOpenCamera();
        cameraOpened();
        showStreamFormat();
        pv->pictureWatch.opened();
        pv->captureThread->start(QThread::InheritPriority);
        if (pv->openFailedBox)
            pv->openFailedBox->busy = false;
        return;
    }
    qCWarning(lcBackend, "startCaptureTimer cam open failed!!!! id = %d", pv->currentDeviceId);
    showOpenFailedBox();
}

void QmlData::stopCapture()
{
    if (!pv) {
        qCDebug(lcBackend, "pv is null");
        return;
    }
    // The capture thread stays: it idles until the camera is open again and
    // is stopped only when the backend goes away.
    pv->cameraOpen = false;
    ++pv->cameraAsks;
    pv->control->postClose();
    pv->hasOpenCamera = false;
    pv->pictureWatch.closed();
}

void QmlData::refreshCameraNames()
{
    pv->cameraNameList.clear();
    pv->devices = pv->camera->devices();
    for (const CamDevice &d : pv->devices)
        pv->cameraNameList.append(d.name);
    setCameraNames(pv->cameraNameList);
}

void QmlData::rememberOpenCamera()
{
    pv->hasOpenCamera = false;
    for (const CamDevice &d : pv->camera->devices()) {
        if (d.id == pv->currentDeviceId) {
            pv->openCamera = d;
            pv->hasOpenCamera = true;
            break;
        }
    }
}

namespace {

// Position of `cam` in `list`: by device path when there is one (the capture
// index of a camera changes when an earlier one goes away), else by name and
// index. -1 when it is not there.
int findCamera(const std::vector<CamDevice> &list, const CamDevice &cam)
{
    for (size_t i = 0; i < list.size(); ++i) {
        const CamDevice &d = list[i];
        const bool same = cam.path.isEmpty() ? (d.name == cam.name && d.id == cam.id) : (d.path == cam.path);
        if (same)
            return int(i);
    }
    return -1;
}

} // namespace

bool QmlData::openCameraListed() const
{
    if (!pv->hasOpenCamera || !pv->cameraOpen)
        return true;
    return findCamera(pv->devices, pv->openCamera) >= 0;
}

// After a new list has been taken: the open camera may sit at another position
// and under another capture index now.
void QmlData::relocateOpenCamera()
{
    if (!pv->hasOpenCamera || !pv->cameraOpen)
        return;
    const int pos = findCamera(pv->devices, pv->openCamera);
    if (pos < 0)
        return;
    pv->openCamera = pv->devices[size_t(pos)];
    pv->currentDeviceId = pv->openCamera.id;
    if (m_cameraIndex != pos) {
        m_cameraIndex = pos;
        emit cameraIndexChanged();
    }
}

// The chosen camera has gone: the next open takes the first listed camera,
// wherever it now sits (a replugged camera may come back under another index).
void QmlData::forgetChosenCamera()
{
    pv->currentDeviceId = 0;
    pv->hasOpenCamera = false;
    if (m_cameraIndex != 0) {
        m_cameraIndex = 0;
        emit cameraIndexChanged();
    }
}

void QmlData::onUsbDevsChanged()
{
    if (pv->quitRequested)
        return;
    const int n = pv->camera->enumerateDevices();
    std::vector<CamDevice> list = pv->camera->devices();
    const int m = pv->mDevs;

    if (m < 1) {
        if (n < 1) {
            qCDebug(lcBackend, "not ready");
            return;
        }
        pv->mDevs = n;
        pv->devices = std::move(list);
        // Every camera-not-found prompt may go now (mDevs > 0 lets them close).
        const QList<QPointer<QDialog>> open = pv->openModals;
        for (const QPointer<QDialog> &box : open) {
            auto *prompt = dynamic_cast<DevMessageBox *>(box.data());
            if (prompt && prompt->isVisible())
                prompt->close();
        }
        initCameraParams();
        startCaptureTimer();
        return;
    }

    if (n == m)
        return;
    pv->mDevs = n;
    pv->devices = std::move(list);

    if (n < 1) {
        stopCapture();
        forgetChosenCamera();
        openFindDeviceDialog();
        return;
    }
    if (openCameraListed()) {
        refreshCameraNames();
        relocateOpenCamera();
        return;
    }
    // The camera in use was unplugged while others stay.
    stopCapture();
    forgetChosenCamera();
    refreshCameraNames();
    openFindDeviceDialog();
}

void QmlData::onCaptureFailed()
{
    // Hosts without udev, and a device that vanishes before its notice, report
    // nothing: the failed read is the device change. The camera's descriptor is
    // dead either way, so it is opened afresh if it is still listed; a camera
    // that fails again soon after is left to the picture watch's back-off.
    if (pv->quitRequested || !pv->hasOpenCamera || !pv->cameraOpen)
        return;
    qCWarning(lcBackend, "frame read failed: enumerating again");
    const bool recent = pv->reopenedAfterFailure.isValid() && pv->reopenedAfterFailure.elapsed() < 3000;
    if (recent)
        closeIfGone();
    else
        reopenQuietly();
}

// Takes a new list; a camera no longer in it is closed, with the not-found
// prompt. Returns whether it was gone.
bool QmlData::closeIfGone()
{
    pv->mDevs = pv->camera->enumerateDevices();
    refreshCameraNames();
    if (findCamera(pv->devices, pv->openCamera) >= 0)
        return false;
    stopCapture();
    forgetChosenCamera();
    openFindDeviceDialog();
    return true;
}

// The open camera delivers nothing: opened afresh while it is listed, with
// no prompt.
void QmlData::reopenQuietly()
{
    if (pv->quitRequested || !pv->hasOpenCamera || closeIfGone())
        return;
    relocateOpenCamera();
    qCWarning(lcBackend, "camera delivers no picture: reopening id = %d", pv->currentDeviceId);
    pv->reopenedAfterFailure.start(); // a read failing soon after waits for the next turn
    openCamera(true);
}

// ---------------------------------------------------------------------------
// Dialogs and prompts
// ---------------------------------------------------------------------------

int QmlData::runModal(QDialog *box)
{
    pv->openModals.append(QPointer<QDialog>(box));
    ++pv->modalDepth;
    const int result = box->exec();
    --pv->modalDepth;
    pv->openModals.removeAll(QPointer<QDialog>(box));
    pv->openModals.removeAll(QPointer<QDialog>());
    finishQuitIfUnwound();
    return result;
}

void QmlData::openFindDeviceDialog()
{
    if (pv->quitRequested)
        return;
    auto *box = new DevMessageBox(this);
    setUpBox(box, QT_TRANSLATE_NOOP("QmlData", "camera_not_found"),
             QT_TRANSLATE_NOOP("QmlData", "camera_not_found_conetent"));
    addButton(box, QMessageBox::Retry, QT_TRANSLATE_NOOP("QmlData", "btn-retry"));
    addButton(box, QMessageBox::Cancel, QT_TRANSLATE_NOOP("QmlData", "btn-exit"));
    pv->devBox = box;
    const int result = runModal(box);
    delete box;
    if (pv->quitRequested)
        return;
    if (result == QMessageBox::Retry) {
        pv->mDevs = pv->camera->enumerateDevices();
        if (pv->mDevs > 0) {
            initCameraParams();
            startCaptureTimer();
        } else {
            openFindDeviceDialog();
        }
    } else if (result == QMessageBox::Cancel) {
        requestQuit();
    }
}

void QmlData::showOpenFailedBox()
{
    if (pv->quitRequested)
        return;
    auto *box = new OpenFailedBox(this);
    setUpBox(box, QT_TRANSLATE_NOOP("QmlData", "open_cam_failed_t"),
             QT_TRANSLATE_NOOP("QmlData", "open_cam_failed_m"));
    addButton(box, QMessageBox::Retry, QT_TRANSLATE_NOOP("QmlData", "btn-retry"));
    addButton(box, QMessageBox::Cancel, QT_TRANSLATE_NOOP("QmlData", "btn-exit"));
    pv->openFailedBox = box;
    box->busy = true;
    const int result = runModal(box);
    delete box;
    if (pv->quitRequested)
        return;
    if (result == QMessageBox::Retry) {
        if (pv->mDevs < 1)
            showOpenFailedBox();
        else
            startCaptureTimer(); // shows a fresh prompt when it fails again
    } else if (result == QMessageBox::Cancel) {
        requestQuit();
    }
}

void QmlData::showSyncBox()
{
    startSync(false);
}

void QmlData::restoreDefaultSettings()
{
    startSync(true);
}

void QmlData::startSync(bool restoreDefaults)
{
    if (pv->quitRequested)
        return;
    auto *box = new SyncBox;
    setUpBox(box, QT_TRANSLATE_NOOP("QmlData", "sync_wait"),
             QT_TRANSLATE_NOOP("QmlData", "sync_wait_message"));
    pv->syncBox = box;
    box->busy = true;
    pv->syncFailure.clear();
    pv->control->postSync(restoreDefaults);
    runModal(box);
    delete box;
    if (!pv->quitRequested && !pv->syncFailure.isEmpty())
        pv->status.showNotice(tr("sync_failed_rows") + QLatin1Char(' ') + std::exchange(pv->syncFailure, QString()));
}

// Marks every row whose value the sync could not send; a failed selector
// write lost them all. A row sent without trouble is clear again.
void QmlData::onSyncCompleted(const ControlOutcome &outcome)
{
    if (pv->syncBox && pv->syncBox->isVisible()) {
        pv->syncBox->busy = false;
        pv->syncBox->close();
        pv->syncBox = nullptr;
    }
    QStringList failedRows;
    const auto failure = [&outcome](int prop) {
        for (const ControlCall &c : outcome.calls) {
            if (c.failed && (c.propId == prop || c.propId == cv::CAP_PROP_FOCUS))
                return c;
        }
        return ControlCall{};
    };
    for (int row = 0; row <= ColorTemperatureRow; ++row) {
        const ControlCall c = failure(rowProperty(row));
        ControlOutcome one;
        if (c.failed)
            one.calls.push_back(c);
        pv->status.setFailure(QLatin1String(RowNames[row]), failureText(one));
    }
    for (const ControlCall &c : outcome.calls) {
        const QString name = ParamTunnel::controlName(c.propId);
        if (c.failed && !failedRows.contains(name))
            failedRows << name;
    }
    pv->syncFailure = failedRows.join(QStringLiteral(", "));
    // A sync that sent every row leaves the camera with the panel's values.
    if (!outcome.failed() && pv->panel.allSent())
        emit panelOnCameraChanged();
    if (outcome.kind == ControlOutcome::Restore)
        reloadFromSettings();
    if (!pv->syncBox && !pv->syncFailure.isEmpty() && pv->modalDepth == 0)
        pv->status.showNotice(tr("sync_failed_rows") + QLatin1Char(' ') + std::exchange(pv->syncFailure, QString()));
}

QString QmlData::failureText(const ControlOutcome &outcome) const
{
    return outcome.failed() ? tr("control_failed") + QLatin1Char(' ') + outcome.reason() : QString();
}

// Every result of the control worker: failed and slow calls are logged, and
// each kind of operation tells its outcome.
void QmlData::onControlDone(const ControlOutcome &outcome)
{
    for (const ControlCall &c : outcome.calls) {
        const QString call = c.write ? QStringLiteral("write %1").arg(c.value) : QStringLiteral("read");
        const QString line = c.failed ? QStringLiteral("camera control %1 %2 failed after %3 ms: %4")
                                            .arg(ParamTunnel::controlName(c.propId), call)
                                            .arg(c.ms)
                                            .arg(c.error ? QString::fromLocal8Bit(std::strerror(c.error))
                                                         : QStringLiteral("refused"))
                                      : QStringLiteral("camera control %1 %2 took %3 ms")
                                            .arg(ParamTunnel::controlName(c.propId), call)
                                            .arg(c.ms);
        qCWarning(lcBackend).noquote() << line;
    }
    switch (outcome.kind) {
    case ControlOutcome::Write:
        pv->status.setFailure(QLatin1String(RowNames[outcome.row]), failureText(outcome));
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
            pv->paramsDirty = pv->values != pv->storing;
            pv->savedValues = pv->storing;
            pv->status.showNotice(tr("stored_in_camera"));
        }
        break;
    case ControlOutcome::StoreBeforeExit:
        onSaveCompleted(outcome);
        break;
    case ControlOutcome::Sync:
    case ControlOutcome::Restore:
        onSyncCompleted(outcome);
        break;
    case ControlOutcome::Open:
    case ControlOutcome::Close:
        if (--pv->cameraAsks == 0 && outcome.kind == ControlOutcome::Open)
            cameraOpenDone(outcome);
        break;
    }
}

void QmlData::showSaveBox()
{
    if (pv->quitRequested)
        return;
    if (!(pv->paramsDirty && changedSinceSnapshot())) {
        requestQuit();
        return;
    }
    auto *box = new SaveToCamBox(this);
    setUpBox(box, QT_TRANSLATE_NOOP("QmlData", "save_to_cam_t"),
             QT_TRANSLATE_NOOP("QmlData", "save_to_cam_m"));
    addButton(box, QMessageBox::Ok, QT_TRANSLATE_NOOP("QmlData", "btn-save"));
    addButton(box, QMessageBox::Cancel, QT_TRANSLATE_NOOP("QmlData", "btn-save-exit"));
    pv->saveToCamBox = box;
    box->busy = true;
    const int result = runModal(box);
    delete box;
    if (pv->quitRequested)
        return;
    if (result == QMessageBox::Ok) {
        if (storeWithPanel())
            showSaveWaitBox();
    } else if (result == QMessageBox::Cancel) {
        requestQuit();
    }
    // Closed with the window button: the program keeps running.
}

// Before a store: while the camera does not run the panel's values, ask whether
// to send them first, store what the camera runs, or not store. False: no store.
bool QmlData::storeWithPanel()
{
    if (pv->panel.onCamera() || !pv->cameraOpen)
        return true;
    auto *box = new StoreAskBox;
    setUpBox(box, QT_TRANSLATE_NOOP("QmlData", "store_ask_t"), QT_TRANSLATE_NOOP("QmlData", "store_ask_m"));
    addButton(box, QMessageBox::Yes, QT_TRANSLATE_NOOP("QmlData", "btn-sync-store"));
    addButton(box, QMessageBox::No, QT_TRANSLATE_NOOP("QmlData", "btn-store-as-is"));
    addButton(box, QMessageBox::Cancel, QT_TRANSLATE_NOOP("QmlData", "btn-cancel"));
    const int result = runModal(box);
    delete box;
    // Cancel, and a box closed with its window button, store nothing.
    if (pv->quitRequested || (result != QMessageBox::Yes && result != QMessageBox::No))
        return false;
    if (result == QMessageBox::Yes) // sync, then store
        startSync(false);
    return !pv->quitRequested;
}

void QmlData::showSaveWaitBox()
{
    auto *box = new SaveWaitBox;
    setUpBox(box, QT_TRANSLATE_NOOP("QmlData", "sync_wait"),
             QT_TRANSLATE_NOOP("QmlData", "sync_wait_message"));
    pv->saveWaitBox = box;
    box->busy = true;
    pv->exitStoreFailure.clear();
    pv->storing = pv->values;
    pv->control->postStore(true);
    runModal(box);
    delete box;
    if (pv->quitRequested)
        return;
    if (pv->exitStoreFailure.isEmpty()) {
        requestQuit();
        return;
    }
    // Nothing was stored: the program keeps running, with the changes unstored.
    auto *failed = new StoreFailedBox;
    setUpBox(failed, QT_TRANSLATE_NOOP("QmlData", "store_failed_t"), QT_TRANSLATE_NOOP("QmlData", "store_failed_m"));
    addButton(failed, QMessageBox::Retry, QT_TRANSLATE_NOOP("QmlData", "btn-retry"));
    addButton(failed, QMessageBox::Cancel, QT_TRANSLATE_NOOP("QmlData", "btn-exit"));
    failed->setInformativeText(pv->exitStoreFailure);
    const int result = runModal(failed);
    delete failed;
    if (pv->quitRequested)
        return;
    if (result == QMessageBox::Retry)
        showSaveWaitBox();
    else if (result == QMessageBox::Cancel)
        requestQuit();
}

void QmlData::onSaveCompleted(const ControlOutcome &outcome)
{
    if (pv->saveWaitBox && pv->saveWaitBox->isVisible()) {
        pv->saveWaitBox->busy = false;
        pv->saveWaitBox->close();
        pv->saveWaitBox = nullptr;
    }
    if (outcome.failed()) {
        pv->exitStoreFailure = outcome.reason();
        return;
    }
    pv->paramsDirty = pv->values != pv->storing;
    pv->savedValues = pv->storing;
}

// The application deletes the backend when it handles the quit. That must not
// happen while one of the backend's prompts (or the slot that opened it) is
// still on the stack, so every open prompt is ended here and the quit itself
// is posted once the last of them has returned.
void QmlData::requestQuit()
{
    if (pv->quitRequested)
        return;
    pv->quitRequested = true;
    if (pv->snapshotWait)
        pv->snapshotWait->quit();
    const QList<QPointer<QDialog>> open = pv->openModals;
    for (const QPointer<QDialog> &box : open) {
        if (box)
            box->done(0);
    }
    if (pv->modalDepth > 0)
        QApplication::closeAllWindows(); // any other dialog opened from a backend slot
    finishQuitIfUnwound();
}

void QmlData::finishQuitIfUnwound()
{
    if (!pv->quitRequested || pv->quitPosted || pv->modalDepth > 0)
        return;
    pv->quitPosted = true;
    std::function<void()> handler = pv->quitHandler;
    QTimer::singleShot(0, QCoreApplication::instance(), [handler] { handler(); });
}

// ---------------------------------------------------------------------------
// Frames, snapshot and view control
// ---------------------------------------------------------------------------

void QmlData::setImageFrameRender(QQuickItem *imageFrameRender)
{
    pv->imageSink = imageFrameRender;
}

void QmlData::sendFrameData(QImage qimage)
{
    // The signal only says that frames are waiting: take the newest one, so
    // that a GUI thread blocked for a while never works through a backlog.
    QSize frameSize;
    QImage newest = pv->captureThread->takeNewestFrame(&frameSize);
    if (!newest.isNull())
        qimage = newest;
    else
        frameSize = qimage.size();
    if (!qimage.isNull())
        pv->pictureWatch.goodFrame();
    // A snapshot waits for a frame decoded at its full size: a frame that
    // the preview shows smaller may have been decoded smaller.
    const bool fullSize = qimage.width() * qimage.height() == frameSize.width() * frameSize.height();
    if (pv->snapshotWait && qimage.width() > 0 && fullSize) {
        pv->snapshotFrame = qimage;
        pv->snapshotWait->quit();
    }

    if (!pv->frameSink && !pv->imageSink)
        return;
    if (frameSize.width() >= 1 && frameSize.height() >= 1
        && (frameSize.width() != m_frameSize[0] || frameSize.height() != m_frameSize[1])) {
        m_frameSize = QVector<int>{frameSize.width(), frameSize.height()};
        emit frameSizeChanged();
    }
    if (pv->frameSink)
        pv->frameSink(qimage);
    else if (auto *item = qobject_cast<FrameSink *>(pv->imageSink.data()))
        item->setImage(qimage);
    // The next frames decode no larger than the preview shows them (in pixel
    // mode, and while a snapshot waits, at the frame's full size).
    if (pv->snapshotWait) {
        pv->captureThread->setShownSize(QSize());
    } else if (QQuickItem *shown = pv->imageSink) {
        const qreal ratio = shown->window() ? shown->window()->effectiveDevicePixelRatio() : 1.0;
        pv->captureThread->setShownSize((shown->size() * ratio).toSize());
    }
    pv->stats->offerFrame(qimage, pv->camera->rotation());
}

ImageStats *QmlData::imageStats() const
{
    return pv->stats.get();
}

void QmlData::openSavePicDialog()
{
    if (pv->quitRequested)
        return;
    ++pv->modalDepth;
    const QString folder = SnapshotFile::startFolder(pv->settings.getSnapshotFolder());
    const QString fileName = SnapshotFile::askName(tr("Save as"), folder, QDateTime::currentDateTime());
    --pv->modalDepth;
    finishQuitIfUnwound();
    if (pv->quitRequested || fileName.isEmpty())
        return;
    pv->settings.setSnapshotFolder(QFileInfo(fileName).absolutePath());
    const SnapshotFile::Result result = saveSnapshot(fileName);
    if (result.ok())
        emit snapshotSaved(QFileInfo(fileName).fileName());
    else
        showFileNotice(QT_TRANSLATE_NOOP("QmlData", "snapshot_failed_t"), FileNotice::snapshotText(result, fileName));
}

void QmlData::showFileNotice(const char *titleId, const QString &text)
{
    QMessageBox *box = FileNotice::makeBox(titleId, text);
    runModal(box);
    delete box;
}

// The capture thread reads the camera; the snapshot takes the next frame it
// delivers, waiting at most 2 s with the window working meanwhile.
SnapshotFile::Result QmlData::saveSnapshot(const QString &fileName)
{
    QImage image;
    if (pv->cameraOpen && !pv->snapshotWait) {
        QEventLoop wait;
        QTimer::singleShot(SnapshotTimeoutMs, &wait, &QEventLoop::quit);
        pv->snapshotWait = &wait;
        pv->snapshotFrame = QImage();
        pv->captureThread->setShownSize(QSize()); // the next frames at full size
        ++pv->modalDepth; // a quit asked for meanwhile waits for this to return
        wait.exec();
        --pv->modalDepth;
        image = std::exchange(pv->snapshotFrame, QImage());
        finishQuitIfUnwound();
    }
    if (image.width() <= 0) {
        qCWarning(lcBackend, "snapshot: no frame from the camera within %d ms, nothing saved", SnapshotTimeoutMs);
        return {SnapshotFile::Problem::NoFrame, {}};
    }
    const SnapshotFile::Result result = SnapshotFile::write(image, fileName);
    if (!result.ok()) {
        qCWarning(lcBackend).noquote()
            << QStringLiteral("snapshot: cannot write %1 (%2), nothing saved").arg(fileName, result.detail);
    }
    return result;
}

void QmlData::rotateDisplay(bool isCW)
{
    if (!pv->cameraOpen)
        return;
    const int r = pv->camera->rotation();
    const int next = isCW ? (r + 90) % 360 : (r == 0 ? 270 : r - 90);
    pv->camera->setRotation(next);
}

void QmlData::setDebugVisible(bool isVisible)
{
    if (isVisible == m_isDebugVisible)
        return;
    if (isVisible) {
        if (pv->debugTimer.isActive())
            pv->debugTimer.stop();
        pv->debugTimer.setInterval(1000);
        pv->debugTimer.start();
    } else if (pv->debugTimer.isActive()) {
        pv->debugTimer.stop();
    }
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

void QmlData::methodPrintln(QString str)
{
    qCDebug(lcBackend) << str;
}
