#include "../backend/fakecamera.h"

#include "app/forcedexit.h"
#include "app/myapplication.h"
#include "app/startup.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQuickWindow>

#include <csignal>
#include <cstdio>
#include <thread>

// Start-up and every way out of the real program, each in a child process
// (this executable again with "--child <mode>") on a fake camera: the exit
// code, the backend destroyed once, what the child showed and what its INI
// file holds afterwards.
namespace {

void say(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

FakeRig rig;

// Answers the next prompt: "Save and exit" in mode prompt-save, else Exit.
// (Which answer leads where is the backend's test; here the process's end.)
void answerNextPrompt(const QString &mode)
{
    onNextBox([mode](QMessageBox *box) {
        say(QStringLiteral("prompt: ") + box->windowTitle());
        const bool save = mode == QLatin1String("prompt-save");
        if (save) {
            onNextBox([](QMessageBox *) { // the wait box: count the stores once the quit comes
                QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] {
                    say(QStringLiteral("stores: %1").arg(storeCount(rig.world->takeCalls())));
                });
            });
        }
        box->button(save ? QMessageBox::Ok : QMessageBox::Cancel)->click();
    });
}

// What the child does 300 ms into the event loop.
void act(MyApplication &app, QmlData *backend, const QString &mode)
{
    if (mode == QLatin1String("quit") || mode == QLatin1String("hang")) {
        // The backend's exit path: the quit event straight into notify, then
        // all windows closed, which may bring another.
        for (int i = 0; i < 2; ++i) {
            QEvent quit(QEvent::Quit);
            app.notify(&app, &quit);
        }
        QApplication::closeAllWindows();
    } else if (mode == QLatin1String("term")) {
        ::raise(SIGTERM);
    } else if (mode == QLatin1String("close")) {
        const auto windows = QGuiApplication::topLevelWindows();
        for (QWindow *w : windows)
            w->close();
    } else { // what the main window does when the user closes it after a change
        backend->setEvIndex(backend->evIndex() + 3);
        answerNextPrompt(mode);
        rig.world->takeCalls();
        backend->showSaveBox();
    }
}

int runChild(int argc, char **argv, const QString &mode)
{
    if (mode != QLatin1String("notfound-exit"))
        rig.world->plug(0, QStringLiteral("Cam A"));
    setBackendFactory([] { return rig.makeBackend(); });
    setStartupObserver([mode](MyApplication &app, QmlData *backend) {
        QObject::connect(backend, &QObject::destroyed, [] { say(QStringLiteral("backend destroyed")); });
        QObject::connect(app.qmlEngine(), &QQmlApplicationEngine::objectCreated, [](QObject *obj, const QUrl &) {
            if (auto *w = qobject_cast<QQuickWindow *>(obj))
                say(QStringLiteral("window title: ") + w->title());
        });
        if (mode == QLatin1String("notfound-exit"))
            answerNextPrompt(mode); // the start-up prompt comes before the event loop runs
        else
            QTimer::singleShot(300, &app, [&app, backend, mode] { act(app, backend, mode); });
    });

    const QUrl root(mode == QLatin1String("broken") ? QStringLiteral("qrc:/no-such-root.qml")
                                                     : QStringLiteral("qrc:/main.qml"));
    const int rc = runTuner(argc, argv, root);
    say(QStringLiteral("exec returned %1").arg(rc));
    if (mode == QLatin1String("hang")) {
        // Something keeps the process from ending after the event loop: the
        // forced termination must end it all the same.
        std::this_thread::sleep_for(std::chrono::seconds(60));
        say(QStringLiteral("still alive"));
    }
    return rc;
}

} // namespace

class TestShell : public QObject
{
    Q_OBJECT

private slots:
    void exitPaths_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QByteArray>("ini");   // the INI file before the start
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("shown");    // a line the child printed
        QTest::addColumn<QString>("stored");   // in the INI afterwards; "!key": not there
        const QByteArray en("[General]\nlanguage=en_US\n");
        // The translation is in force before the root document is created.
        QTest::newRow("quit") << "quit" << en << 0 << "window title: Vexlo camera tuning tool" << "";
        // First start: the locale's language was chosen and is on disk.
        QTest::newRow("last window closed") << "close" << QByteArray() << 0 << "exec returned 0" << "language=";
        QTest::newRow("SIGTERM") << "term" << en + "sce_value=900\n" << 0 << "exec returned 0" << "sce_value=900";
        QTest::newRow("root fails to load") << "broken" << QByteArray() << 255 << "exec returned -1" << "";
        QTest::newRow("hung after the event loop") << "hang" << en + "ev_value=3\n" << 0 << "exec returned 0"
                                                   << "ev_value=3";
        QTest::newRow("camera not found, Exit") << "notfound-exit" << en << 0 << "prompt: Camera not found"
                                                << "!ev_value";
        QTest::newRow("exit prompt, Save and exit") << "prompt-save" << en << 0 << "stores: 2" << "ev_value=3";
    }

    void exitPaths()
    {
        QFETCH(QString, mode);
        QFETCH(QByteArray, ini);
        QFETCH(QString, shown);
        QFETCH(QString, stored);
        QTemporaryDir home;
        QDir().mkpath(home.path() + QStringLiteral("/Vexlo"));
        QFile file(home.path() + QStringLiteral("/Vexlo/config.ini"));
        if (!ini.isNull()) {
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(ini);
            file.close();
        }

        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer clock;
        clock.start();
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), mode});
        QVERIFY(child.waitForFinished(45000));
        const QString out = QString::fromLocal8Bit(child.readAllStandardOutput());
        QVERIFY2(child.exitStatus() == QProcess::NormalExit, qPrintable(out));
        QTEST(child.exitCode(), "exitCode");
        QVERIFY2(out.contains(shown), qPrintable(out));
        QCOMPARE(out.count(QStringLiteral("backend destroyed")), mode == QLatin1String("broken") ? 0 : 1);
        QVERIFY(!out.contains(QStringLiteral("still alive")));
        QVERIFY2(clock.elapsed() < forcedExitGraceMs() + 20000, qPrintable(QString::number(clock.elapsed())));
        if (mode == QLatin1String("broken"))
            QVERIFY(!out.contains(QStringLiteral("window title")));

        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        if (stored.startsWith(QLatin1Char('!')))
            QVERIFY2(!text.contains(stored.mid(1)), qPrintable(text));
        else
            QVERIFY2(text.contains(stored), qPrintable(text));
        if (ini.contains("language=en_US"))
            QVERIFY(text.contains(QStringLiteral("language=en_US")));
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
