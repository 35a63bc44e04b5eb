#include "app/scenegraphchoice.h"

#include <QtTest>

// The scene graph chosen at start-up, and the line the debug output and log get.
class TestSceneChoice : public QObject
{
    Q_OBJECT

private slots:
    void choice_data()
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

    void choice()
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
};

QTEST_GUILESS_MAIN(TestSceneChoice)
#include "tst_scenechoice.moc"
