#include "backend/backendrig.h"

#include "app/forcedexit.h"
#include "app/myapplication.h"
#include "app/quitsignals.h"
#include "app/scenegraphchoice.h"
#include "app/startup.h"

#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QSGRendererInterface>

#include <csignal>
#include <map>
#include <memory>
#include <thread>

// Start-up and the ways out of the real program, each in a child process (this executable
// with "--child <mode>") on a fake camera: exit code, backend destroyed once, what the child
// showed, what its INI holds afterwards. (Exit prompt: the box test; closing: end-to-end.)
namespace {

FakeRig rig;

// What the child does 300 ms into the event loop.
void act(MyApplication &app, const QString &mode)
{
    if (mode == QLatin1String("quit") || mode == QLatin1String("hang")) {
        // The backend's exit path: quit straight into notify, then all windows closed (another quit).
        for (int i = 0; i < 2; ++i) {
            QEvent quit(QEvent::Quit);
            app.notify(&app, &quit);
        }
        QApplication::closeAllWindows();
    } else if (mode == QLatin1String("term")) {
        ::raise(SIGTERM);
    } // term-*: SIGTERM came earlier; nothing more to do.
}

int runChild(int argc, char **argv, const QString &mode)
{
    if (mode != QLatin1String("notfound-exit"))
        rig.world->plug(0, QStringLiteral("Cam A"));
    setBackendFactory([mode] {
        if (mode == QLatin1String("term-backend"))
            ::raise(SIGTERM); // the application exists, the backend not yet
        return rig.makeBackend();
    });
    if (mode == QLatin1String("term-first")) {
        installQuitSignalHandlers(); // as main() does first; SIGTERM before the application exists
        ::raise(SIGTERM);
    }
    // The forced end would race the return from the event loop; only the hung child needs it.
    if (mode != QLatin1String("hang"))
        setForcedExitOverride([] { qInfo("forced end armed"); });
    // A GPU, and a software rasterizer (the choice's rules: sceneChoice below; the preview
    // item that goes with each: end to end).
    setRendererProbe([mode] {
        return QString(mode == QLatin1String("hang") ? "llvmpipe (LLVM 15.0.6, 256 bits)" : "Mesa Intel(R) Xe Graphics");
    });
    setStartupObserver([mode](MyApplication &app, QmlData *backend) {
        QObject::connect(backend, &QObject::destroyed, [] { qInfo("backend destroyed"); });
        QObject::connect(app.qmlEngine(), &QQmlApplicationEngine::objectCreated, [](QObject *obj, const QUrl &) {
            if (auto *w = qobject_cast<QQuickWindow *>(obj))
                qInfo().noquote() << "window title:" << w->title()
                                  << (w->rendererInterface()->graphicsApi() == QSGRendererInterface::Software
                                          ? "on software" : "on OpenGL");
        });
        if (mode == QLatin1String("notfound-exit")) { // the prompt comes before the event loop runs
            onNextBox([](QMessageBox *box) {
                qInfo().noquote() << "prompt:" << box->windowTitle();
                box->button(QMessageBox::Cancel)->click();
            });
        } else {
            QTimer::singleShot(300, &app, [&app, mode] { act(app, mode); });
        }
    });

    const QUrl root(mode == QLatin1String("broken") ? QStringLiteral("qrc:/no-such-root.qml")
                                                     : QStringLiteral("qrc:/main.qml"));
    const int rc = runTuner(argc, argv, root);
    qInfo("exec returned %d", rc);
    if (mode == QLatin1String("hang")) { // kept from ending after the event loop: ended by force all the same
        std::this_thread::sleep_for(std::chrono::seconds(30));
        return 3;
    }
    return rc;
}

} // namespace

class TestShell : public QObject
{
    Q_OBJECT

    // The children all start at once, as the rows are made, and are checked one by one.
    struct Child {
        QTemporaryDir home;
        QProcess process;
    };
    std::map<QString, std::unique_ptr<Child>> children;

    // A row, and its child started with `ini` as its INI file (if not null).
    void row(const char *name, const QString &mode, const QByteArray &ini, int exitCode, const QString &shown,
             const QString &stored)
    {
        QTest::newRow(name) << mode << exitCode << shown << stored;
        auto child = std::make_unique<Child>();
        QDir().mkpath(child->home.path() + QStringLiteral("/Vexlo"));
        QFile file(child->home.path() + QStringLiteral("/Vexlo/config.ini"));
        if (!ini.isNull() && file.open(QIODevice::WriteOnly))
            file.write(ini);
        qputenv("HOME", child->home.path().toLocal8Bit()); // the child's environment, taken at start
        child->process.setProcessChannelMode(QProcess::MergedChannels);
        child->process.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), mode});
        children[mode] = std::move(child);
    }

private slots:
    // The scene graph chosen at start-up, and the line the debug output and log get.
    void sceneChoice_data()
    {
        QTest::addColumn<QString>("userBackend"); // QT_QUICK_BACKEND
        QTest::addColumn<QString>("renderer");    // what the probe finds; empty: no OpenGL context
        QTest::addColumn<QString>("trace");       // "probe" when the probe ran, then the path's line
        const QString rasterizer("probe|scene graph: software, the OpenGL renderer \"%1\" is a software rasterizer");
        for (const char *name : {"llvmpipe (LLVM 15.0.6, 256 bits)", "softpipe", "Mesa DRI swrast", "GDI Generic"})
            QTest::newRow(name) << "" << name << rasterizer.arg(name);
        // AMD's drivers name the LLVM they compile shaders with.
        for (const char *name : {"Mesa Intel(R) UHD Graphics 620 (KBL GT2)", "AMD Radeon RX 6600 (navi23, LLVM 15.0.6)"})
            QTest::newRow(name) << "" << name << QString("probe|scene graph: OpenGL on the renderer \"%1\"").arg(name);
        QTest::newRow("no OpenGL") << "" << "" << "probe|scene graph: software, no OpenGL context could be made";
        for (const char *user : {"software", "softwarecontext", "opengl"})
            QTest::newRow(user) << user << "llvmpipe" << QString("scene graph: %1, as QT_QUICK_BACKEND=%2 asks")
                                                            .arg(QString(user) == "opengl" ? "OpenGL" : "software", user);
    }

    void sceneChoice()
    {
        QFETCH(QString, userBackend);
        QFETCH(QString, renderer);
        QString trace;
        const SceneChoice choice = chooseScenePath(userBackend, [&] {
            trace += QLatin1String("probe|");
            return renderer;
        });
        trace += choice.reason;
        QTEST(trace, "trace");
        QCOMPARE(choice.path, choice.reason.startsWith("scene graph: software") ? ScenePath::Software
                                                                               : ScenePath::OpenGL);
    }

    void exitPaths_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("shown");    // a line the child printed
        QTest::addColumn<QString>("stored");   // in the INI afterwards
        const QByteArray en("[General]\nlanguage=en_US\n");
        // The translation is in force before the root document is created.
        row("quit", "quit", en, 0, "window title: Vexlo camera tuning tool V0.9.4 on OpenGL", "");
        // SIGTERM at any moment of the start-up ends the program through its quit path once it can.
        for (const char *term : {"term-first", "term-backend", "term"})
            row(term, term, en + "sce_value=900\n", 0, "exec returned 0", "sce_value=900");
        row("root fails to load", "broken", QByteArray(), 255, "exec returned -1", "");
        row("hung after the event loop", "hang", en + "ev_value=3\n", 0, "V0.9.4 on software", "ev_value=3");
        row("camera not found, Exit", "notfound-exit", en, 0, "prompt: Camera not found", "language=en_US");
    }

    void exitPaths()
    {
        QFETCH(QString, mode);
        QFETCH(QString, shown);
        QFETCH(QString, stored);
        QProcess &child = children.at(mode)->process;
        QFile file(children.at(mode)->home.path() + QStringLiteral("/Vexlo/config.ini"));
        QVERIFY(child.waitForFinished(60000));
        const QString out = QString::fromLocal8Bit(child.readAllStandardOutput());
        QVERIFY2(child.exitStatus() == QProcess::NormalExit, qPrintable(out));
        QTEST(child.exitCode(), "exitCode");
        QVERIFY2(out.contains(shown), qPrintable(out));
        const bool quitPath = mode != QLatin1String("broken");
        QCOMPARE(out.count(QStringLiteral("backend destroyed")), quitPath ? 1 : 0);
        QCOMPARE(out.count(QStringLiteral("forced end armed")), quitPath && mode != QLatin1String("hang") ? 1 : 0);
        if (mode == QLatin1String("broken"))
            QVERIFY(!out.contains(QStringLiteral("window title")));

        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        QVERIFY2(text.contains(stored), qPrintable(text));
    }
};

int main(int argc, char **argv)
{
    if (argc >= 3 && qstrcmp(argv[1], "--child") == 0) {
        int childArgc = 1;
        return runChild(childArgc, argv, QString::fromLocal8Bit(argv[2]));
    }
    QApplication app(argc, argv);
    TestShell test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_shell.moc"
