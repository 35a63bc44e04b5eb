#include "app/startup.h"

#include "app/appdata.h"
#include "app/applog.h"
#include "app/debuglog.h"
#include "app/myapplication.h"
#include "app/quitsignals.h"
#include "app/scenegraphchoice.h"
#include "backend/controlstatus.h"
#include "backend/profilemenu.h"
#include "backend/qmldata.h"
#include "items/registeritems.h"

#include <QQmlApplicationEngine>
#include <QQmlContext>

namespace {
StartupObserver startupObserver;
BackendFactory backendFactory;
RendererProbe rendererProbe;
QObject *logBackend = nullptr; // the backend that tells the log's problems
} // namespace

void setRendererProbe(RendererProbe probe)
{
    rendererProbe = std::move(probe);
}

void setBackendFactory(BackendFactory factory)
{
    backendFactory = std::move(factory);
}

void setStartupObserver(StartupObserver observer)
{
    startupObserver = std::move(observer);
}

void attachDebugLog(QmlData *backend)
{
    installLogHandler();
    setLogEnabled(backend->debugLog());
    QObject::connect(backend, &QmlData::debugLogChanged, backend, [backend] { setLogEnabled(backend->debugLog()); });
    setLogProblemHandler([backend](const FileProblem &p) { backend->tellFileProblem(FileNotice::Subject::Log, p); });
    logBackend = backend;
    QObject::connect(backend, &QObject::destroyed, [](QObject *gone) {
        if (gone != logBackend)
            return; // another backend has taken the log since
        setLogProblemHandler({});
        logBackend = nullptr;
    });
}

int runTuner(int &argc, char **argv, const QUrl &root)
{
    // First of all: a request to end the program that comes during start-up
    // is kept and carried out as soon as the event loop runs.
    installQuitSignalHandlers();

    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);

    MyApplication app(argc, argv);
    // The scene graph is chosen before the first window, and the OpenGL probe
    // needs the application object.
    const SceneChoice scene = chooseScenePath(qEnvironmentVariable("QT_QUICK_BACKEND"),
                                              rendererProbe ? rendererProbe : probeOpenGLRenderer);
    applySceneChoice(scene);
    // Ties the window to its launcher and icon (packaging/com.vexlo.tuner.desktop).
    QGuiApplication::setDesktopFileName(QStringLiteral("com.vexlo.tuner"));

    // Both live until the process ends: QML may still reach them while the
    // quit path runs.
    auto *appData = new AppData();
    appData->app = &app;
    auto *backend = backendFactory ? backendFactory() : new QmlData(nullptr);
    backend->setApplication(&app);
    app.setQmlData(backend);
    attachDebugLog(backend);
    qCInfo(lcApp).noquote() << scene.reason;
    if (startupObserver)
        startupObserver(app, backend);

    // A request from the system to end the program takes the same road as a
    // quit from the program itself: the backend is destroyed, the settings written.
    // The backend carries it out once none of its prompts is on the stack.
    handleQuitSignals([&app] {
        if (QmlData *b = app.qmlData()) {
            b->requestQuit();
            return;
        }
        QEvent quit(QEvent::Quit);
        app.notify(&app, &quit);
    });

    app.loadLanguage();

    QQmlContext *context = app.qmlEngine()->rootContext();
    context->setContextProperty(QStringLiteral("myapp"), appData);
    context->setContextProperty(QStringLiteral("qmldata"), backend);
    context->setContextProperty(QStringLiteral("camstatus"), backend->controlStatus());
    context->setContextProperty(QStringLiteral("profiles"), new ProfileMenu(backend, backend));

    registerImageItems(scene.path == ScenePath::Software);

    const QUrl url = root;
    QObject::connect(
        app.qmlEngine(), &QQmlApplicationEngine::objectCreated, &app,
        [url](QObject *obj, const QUrl &objUrl) {
            if (!obj && url == objUrl)
                QCoreApplication::exit(-1);
        },
        Qt::QueuedConnection);
    app.qmlEngine()->load(url);

    if (backend->getCamDevs() >= 1) {
        backend->initCameraParams();
        backend->startCaptureTimer();
    } else {
        backend->openFindDeviceDialog();
    }

    const int rc = app.exec();
    // Without the quit path (the root document failed to load) the backend is
    // kept, but its threads must not outlive the application object.
    if (QmlData *b = app.qmlData())
        b->stopThreads();
    return rc;
}
