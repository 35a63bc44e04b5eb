#include "fakecamera.h"

#include "app/myapplication.h"
#include "app/startup.h"

#include <QProcess>

#include <cstdio>

// Every exit path of the real start-up in a child process (this executable with
// "--child <mode>") on a fake camera: exit code 0, the backend destroyed once,
// the settings on disk.
namespace {

void say(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

int runChild(int argc, char **argv, const QString &mode)
{
    FakeRig rig;
    if (mode != QLatin1String("notfound-exit"))
        rig.world->plug(0, QStringLiteral("Cam A"));
    rig.world->occupied = (mode == QLatin1String("openfailed-exit"));
    setBackendFactory([&rig] { return rig.makeBackend(); });

    setStartupObserver([mode, &rig](MyApplication &app, QmlData *backend) {
        QObject::connect(backend, &QObject::destroyed, [] { say(QStringLiteral("backend destroyed")); });
        const bool save = mode == QLatin1String("prompt-save");
        auto answer = [save, &rig](QMessageBox *box) {
            say(QStringLiteral("prompt: ") + box->windowTitle());
            if (save) {
                onNextBox([&rig](QMessageBox *) {
                    // Counted from the destructor's side of the quit.
                    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [&rig] {
                        say(QStringLiteral("stores: %1").arg(storeCount(rig.world->takeCalls())));
                    });
                });
            }
            box->button(save ? QMessageBox::Ok : QMessageBox::Cancel)->click();
        };
        if (mode.startsWith(QLatin1String("notfound")) || mode.startsWith(QLatin1String("openfailed"))) {
            onNextBox(answer); // the start-up prompt comes before the event loop runs
            return;
        }
        QTimer::singleShot(300, &app, [mode, backend, &rig, answer] {
            const bool change = mode != QLatin1String("close-nochange");
            if (change)
                backend->setEvIndex(backend->evIndex() + 3);
            rig.world->takeCalls();
            if (change)
                onNextBox(answer);
            backend->showSaveBox(); // what the main window does when the user closes it
        });
    });

    const QString home = QString::fromLocal8Bit(qgetenv("HOME"));
    const int rc = runTuner(argc, argv, QUrl::fromLocalFile(home + QStringLiteral("/root.qml")));
    say(QStringLiteral("exec returned %1").arg(rc));
    return rc;
}

} // namespace

class TestBackendExit : public QObject
{
    Q_OBJECT

private slots:
    void exitPaths_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("evStored"); // empty: the key stays unwritten
        QTest::newRow("camera not found, Exit") << "notfound-exit" << "prompt: Camera not found" << "";
        QTest::newRow("open failed, Exit") << "openfailed-exit" << "prompt: Camera on error" << "";
        QTest::newRow("close without changes") << "close-nochange" << "" << "";
        QTest::newRow("exit prompt, Exit") << "prompt-exit" << "prompt: Exit prompt" << "3";
        QTest::newRow("exit prompt, Save and exit") << "prompt-save" << "stores: 2" << "3";
    }

    void exitPaths()
    {
        QFETCH(QString, mode);
        QFETCH(QString, shown);
        QTemporaryDir home;
        useHome(home.path(), {{QStringLiteral("language"), QStringLiteral("en_US")}}); // the child inherits HOME
        QFile root(home.path() + QStringLiteral("/root.qml"));
        QVERIFY(root.open(QIODevice::WriteOnly));
        root.write("import QtQuick 2.12\nimport QtQuick.Window 2.12\n"
                   "Window { visible: true; width: 320; height: 240\n"
                   "  Component.onCompleted: qmldata.ui_ready = true }\n");
        root.close();

        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), mode});
        QVERIFY(child.waitForFinished(40000));
        const QString out = QString::fromLocal8Bit(child.readAllStandardOutput());
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, qPrintable(out));
        QCOMPARE(out.count(QStringLiteral("backend destroyed")), 1);
        QVERIFY2(out.contains(QStringLiteral("exec returned 0")) && out.contains(shown), qPrintable(out));

        QTEST(storedValue(home.path(), QStringLiteral("ev_value")).toString(), "evStored");
        QCOMPARE(storedValue(home.path(), QStringLiteral("language")).toString(), QStringLiteral("en_US"));
    }
};

int main(int argc, char **argv)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (qstrcmp(argv[i], "--child") == 0)
            return runChild(argc, argv, QString::fromLocal8Bit(argv[i + 1]));
    QApplication app(argc, argv);
    TestBackendExit test;
    return QTest::qExec(&test, 1, argv);
}

#include "tst_backendexit.moc"
