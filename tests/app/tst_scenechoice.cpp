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
        for (const char *name : {"llvmpipe (LLVM 15.0.6, 256 bits)", "softpipe", "Software Rasterizer",
                                 "Mesa DRI swrast", "GDI Generic"})
            QTest::newRow(name) << "" << name << rasterizer.arg(name);
        for (const char *name : {"Mesa Intel(R) UHD Graphics 620 (KBL GT2)", "NVIDIA GeForce GTX 1650/PCIe/SSE2",
                                 "AMD Radeon RX 6600 (navi23, LLVM 15.0.6, DRM 3.49, 6.1.0-13-amd64)"})
            QTest::newRow(name) << "" << name << QString("probe|scene graph: OpenGL on the renderer \"%1\"").arg(name);
        QTest::newRow("no OpenGL") << "" << ""
                                   << "probe|scene graph: software, no OpenGL context could be made";
        QTest::newRow("user: software on a GPU")
            << "software" << "NVIDIA GeForce GTX 1650" << "scene graph: software, as QT_QUICK_BACKEND=software asks";
        QTest::newRow("user: Qt's older name") << "softwarecontext" << "NVIDIA GeForce GTX 1650"
                                               << "scene graph: software, as QT_QUICK_BACKEND=softwarecontext asks";
        QTest::newRow("user: OpenGL on llvmpipe")
            << "opengl" << "llvmpipe" << "scene graph: OpenGL, as QT_QUICK_BACKEND=opengl asks";
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
