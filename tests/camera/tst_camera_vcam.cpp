// The camera link against the virtual camera through OpenCV's V4L2 backend:
// the listed ids open the listed cameras, metadata nodes are skipped, and
// 1080p runs as MJPG at 30 fps although the camera offers YUYV first; a node
// the user may not open is named in the log.
#include "camtestsupport.h"

#include <QtTest>

class TestCameraVcam : public QObject
{
    Q_OBJECT

private slots:
    void enumerateAndOpen()
    {
        TempHomeWithLog home;
        CameraLink link;
        // Node 4 refuses to open (EACCES): said in the debug output and the log.
        const QString denied = QStringLiteral("no permission for /dev/video4; add the user to the group that owns it");
        QTest::ignoreMessage(QtDebugMsg, qPrintable(denied));
        QCOMPARE(link.enumerateDevices(), 2);
        QCOMPARE(link.devices()[0].name, QStringLiteral("Virtual Tuning Camera"));
        // It comes while the nodes are probed; then capture and metadata node
        // of each camera are logged.
        const QStringList log = home.logMessages();
        QCOMPARE(log.size(), 5);
        QCOMPARE(log[0], denied);
        QCOMPARE(log[2], QStringLiteral("device 1: usb-0000:00:14.0-1 name = Virtual Tuning Camera"));
        QVERIFY(!link.camOpen(1, Preview720));

        for (int n = 0; n < 2; ++n) {
            const std::vector<int> size = n ? Preview720 : Preview1080;
            QCOMPARE(link.deviceIdAt(n), 2 * n);
            QVERIFY(link.camOpen(link.deviceIdAt(n), size));
            QCOMPARE(link.get(cv::CAP_PROP_FOURCC), Mjpg);
            QCOMPARE(link.get(cv::CAP_PROP_FPS), 30.0);
            QCOMPARE(link.grabFrame().size(), QSize(size[1], size[3]));
        }
        link.camClose();
        QVERIFY(!link.isOpened());
    }
};

QTEST_GUILESS_MAIN(TestCameraVcam)
#include "tst_camera_vcam.moc"
