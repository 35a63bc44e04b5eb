// The camera link against the virtual camera through OpenCV's V4L2 backend:
// the listed ids open the listed cameras, metadata nodes are skipped, and
// 1080p runs as MJPG at 30 fps although the camera offers YUYV first.
#include "camtestsupport.h"

#include "camera/cameralink.h"

#include <QtTest>

class TestCameraVcam : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { m_home.reset(new TempHomeWithLog); }
    void cleanupTestCase() { m_home.reset(); }

    void enumerate()
    {
        m_home->clearLog();
        CameraLink link;
        QCOMPARE(link.enumerateDevices(), 2);
        const std::vector<CamDevice> devices = link.devices();
        QCOMPARE(devices[0].id, 0);
        QCOMPARE(devices[1].id, 2);
        QCOMPARE(devices[0].name, QStringLiteral("Virtual Tuning Camera"));
        // Capture and metadata node of each camera are logged.
        const QStringList log = m_home->logMessages();
        QCOMPARE(log.size(), 4);
        QCOMPARE(log[1], QStringLiteral("device 1: usb-0000:00:14.0-1 name = Virtual Tuning Camera"));
        QVERIFY(!link.camOpen(1, Preview720)); // a metadata node
    }

    void openWithPreviewSize_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<std::vector<int>>("size");
        QTest::newRow("1080p") << 0 << Preview1080;
        QTest::newRow("720p, second camera") << 2 << Preview720;
    }

    void openWithPreviewSize()
    {
        QFETCH(int, id);
        QFETCH(std::vector<int>, size);
        CameraLink link;
        QVERIFY(link.camOpen(id, size));
        QCOMPARE(link.get(cv::CAP_PROP_FOURCC), Mjpg);
        QCOMPARE(link.get(cv::CAP_PROP_FRAME_WIDTH), double(size[1]));
        QCOMPARE(link.get(cv::CAP_PROP_FRAME_HEIGHT), double(size[3]));
        QCOMPARE(link.get(cv::CAP_PROP_FPS), 30.0);
        const QImage frame = link.grabFrame();
        QCOMPARE(frame.size(), QSize(size[1], size[3]));
        link.camClose();
        QVERIFY(!link.isOpened());
    }

private:
    QScopedPointer<TempHomeWithLog> m_home;
};

QTEST_GUILESS_MAIN(TestCameraVcam)
#include "tst_camera_vcam.moc"
