#include "../backend/fakecamera.h"

#include "app/forcedexit.h"
#include "app/myapplication.h"
#include "app/quitsignals.h"
#include "app/startup.h"
#include "backend/qmldata.h"

#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <thread>

// The start-up and quit paths run the real program in a child process (this
// executable started again with "--child <mode>"); the parent checks what the
// child printed, its exit code and the settings it left behind.
namespace {

void say(const char *line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

int runChild(int argc, char **argv, const QByteArray &mode)
{
    QUrl root(QStringLiteral("qrc:/main.qml"));
    if (mode == "broken")
        root = QUrl(QStringLiteral("qrc:/no-such-root.qml"));

    // A camera is attached, so no prompt stands between start-up and the event loop.
    static FakeRig rig;
    rig.world->plug(0, QStringLiteral("Cam A"));
    setBackendFactory([mode] {
        if (mode == "term-backend")
            ::raise(SIGTERM); // the application exists, the backend not yet
        return rig.makeBackend();
    });
    if (mode == "term-first" || mode == "kill") {
        // What the program does first of all; the request then comes before
        // the application object exists.
        installQuitSignalHandlers();
        if (mode == "term-first")
            ::raise(SIGTERM);
        say("started");
    }

    setStartupObserver([mode](MyApplication &app, QmlData *backend) {
        QObject::connect(backend, &QObject::destroyed, [] { say("backend destroyed"); });
        QObject::connect(app.qmlEngine(), &QQmlApplicationEngine::objectCreated, [](QObject *obj, const QUrl &) {
            if (auto *w = qobject_cast<QQuickWindow *>(obj))
                std::printf("window title: %s\n", qPrintable(w->title()));
            std::fflush(stdout);
        });
        if (mode == "quit") {
            // The forced end would race the return from the event loop that
            // this mode checks; here it only reports that it was armed.
            setForcedExitOverride([] { say("forced end armed"); });
        }
        if (mode == "quit" || mode == "hang") {
            QTimer::singleShot(300, &app, [&app] {
                // The backend's exit path: the quit event straight into
                // notify, then all windows closed, which may bring another.
                QEvent quit(QEvent::Quit);
                app.notify(&app, &quit);
                QEvent again(QEvent::Quit);
                app.notify(&app, &again);
                QApplication::closeAllWindows();
            });
        } else if (mode == "term") {
            QTimer::singleShot(300, &app, [] { ::raise(SIGTERM); });
        } else if (mode == "close") {
            QTimer::singleShot(300, &app, [] {
                const auto windows = QGuiApplication::topLevelWindows();
                for (QWindow *w : windows)
                    w->close();
            });
        }
    });

    const int rc = runTuner(argc, argv, root);
    std::printf("exec returned %d\n", rc);
    std::fflush(stdout);
    if (mode == "hang") {
        // Something keeps the process from ending after the event loop: the
        // forced termination must end it all the same (the parent gives up on
        // a child after 45 s).
        std::this_thread::sleep_for(std::chrono::seconds(60));
        say("still alive");
    }
    return rc;
}

} // namespace

class TestShell : public QObject
{
    Q_OBJECT

    struct Result
    {
        int exitCode = -999;
        QProcess::ExitStatus status = QProcess::CrashExit;
        QString out;
    };

    QTemporaryDir home;

    // With `killAfterMs` set, SIGTERM goes to the child that long after it
    // said "started".
    Result run(const QString &mode, const QByteArray &ini = QByteArray(), int killAfterMs = -1)
    {
        QDir().mkpath(home.path() + "/Vexlo");
        QFile f(home.path() + "/Vexlo/config.ini");
        f.remove();
        if (!ini.isNull() && f.open(QIODevice::WriteOnly))
            f.write(ini);
        f.close();

        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(QCoreApplication::applicationFilePath(), {"--child", mode});
        Result r;
        if (killAfterMs >= 0) {
            QByteArray said;
            while (!said.contains("started") && p.waitForReadyRead(30000))
                said = p.peek(p.bytesAvailable());
            QThread::msleep(killAfterMs);
            ::kill(pid_t(p.processId()), SIGTERM);
        }
        if (!p.waitForFinished(45000)) {
            p.kill();
            p.waitForFinished();
            return r;
        }
        r.exitCode = p.exitCode();
        r.status = p.exitStatus();
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        return r;
    }

    QString ini()
    {
        QFile f(home.path() + "/Vexlo/config.ini");
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

private slots:
    void quitDestroysTheBackendOnceAndExitsZero()
    {
        const Result r = run("quit", "[General]\nlanguage=en_US\n");
        QCOMPARE(r.status, QProcess::NormalExit);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out.count("backend destroyed"), 1);
        QCOMPARE(r.out.count("forced end armed"), 1);
        QVERIFY2(r.out.contains("exec returned 0"), qPrintable(r.out));
        // The translation is in force before the root document is created.
        QVERIFY2(r.out.contains("window title: Vexlo camera tuning tool"), qPrintable(r.out));
    }

    void closingTheLastWindowQuitsCleanly()
    {
        const Result r = run("close");
        QCOMPARE(r.status, QProcess::NormalExit);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out.count("backend destroyed"), 1);
        // First start: the locale's language was chosen and is on disk.
        QVERIFY2(ini().contains("language="), qPrintable(ini()));
    }

    // Early or late in start-up, a termination request ends the program
    // through its quit path once it can, with exit code 0.
    void terminationSignalTakesTheQuitPath_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("killAfterMs");
        QTest::newRow("before the application") << "term-first" << -1;
        QTest::newRow("while the backend is made") << "term-backend" << -1;
        QTest::newRow("100 ms after start") << "kill" << 100;
        QTest::newRow("in the event loop") << "term" << -1;
    }
    void terminationSignalTakesTheQuitPath()
    {
        QFETCH(QString, mode);
        QFETCH(int, killAfterMs);
        const Result r = run(mode, "[General]\nlanguage=en_US\nsce_value=900\n", killAfterMs);
        QCOMPARE(r.status, QProcess::NormalExit);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out.count("backend destroyed"), 1);
        QVERIFY(ini().contains("sce_value=900"));
    }

    void brokenRootExitsMinusOneWithoutDestroyingTheBackend()
    {
        const Result r = run("broken");
        QCOMPARE(r.status, QProcess::NormalExit);
        QCOMPARE(r.exitCode, 255); // -1 as an exit status
        QVERIFY2(r.out.contains("exec returned -1"), qPrintable(r.out));
        QVERIFY(!r.out.contains("backend destroyed"));
        QVERIFY(!r.out.contains("window title"));
    }

    void forcedTerminationEndsAHungProcess()
    {
        const Result r = run("hang", "[General]\nlanguage=zh_CN\nev_value=3\n");
        QCOMPARE(r.status, QProcess::NormalExit);
        QCOMPARE(r.exitCode, 0);
        QVERIFY(!r.out.contains("still alive"));
        QVERIFY(ini().contains("ev_value=3"));
    }
};

int main(int argc, char **argv)
{
    if (argc >= 3 && qstrcmp(argv[1], "--child") == 0) {
        const QByteArray mode = argv[2];
        int childArgc = 1;
        return runChild(childArgc, argv, mode);
    }
    QCoreApplication app(argc, argv);
    TestShell test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_shell.moc"
