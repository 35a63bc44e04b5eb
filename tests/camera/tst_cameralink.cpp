// CameraLink on a fake capture object: opening and closing, the preview size
// and pixel format it asks for, OpenCV exceptions, sessions and rotation.
#include "camtestsupport.h"
#include "fakecapture.h"

#include "camera/cameralink.h"

#include <QRegularExpression>
#include <QtTest>

using Calls = std::vector<std::pair<int, double>>;

namespace {

class NoDevices : public DeviceSource
{
public:
    std::vector<DeviceRecord> list() override { return {}; }
};

struct Rig {
    FakeCapture *fake = new FakeCapture;
    CameraLink link{std::unique_ptr<cv::VideoCapture>(fake), std::make_unique<NoDevices>()};
};

const std::vector<int> Preview1080{3, 1920, 4, 1080, 5, 30};
const std::vector<int> Preview720{3, 1280, 4, 720, 5, 30};

// What camOpen writes: on Linux MJPG first, then the size and the rate.
Calls openCalls(int width, int height, int fps, bool withSize = true)
{
    Calls calls;
#ifndef _WIN32
    calls.emplace_back(cv::CAP_PROP_FOURCC, double('M' | 'J' << 8 | 'P' << 16 | 'G' << 24));
#endif
    if (withSize) {
        calls.emplace_back(cv::CAP_PROP_FRAME_WIDTH, width);
        calls.emplace_back(cv::CAP_PROP_FRAME_HEIGHT, height);
        calls.emplace_back(cv::CAP_PROP_FPS, fps);
    }
    return calls;
}

} // namespace

class TestCameraLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { m_home.reset(new TempHomeWithLog); }
    void cleanupTestCase() { m_home.reset(); }

    void openAndClose()
    {
        Rig rig;
        QTest::ignoreMessage(QtDebugMsg, "not open");
        rig.link.camClose();
        QCOMPARE(rig.fake->releases.load(), 0);
        QVERIFY(rig.link.grabFrame().isNull());
        QCOMPARE(rig.fake->reads.load(), 0);

        QTest::ignoreMessage(QtDebugMsg, "not open");
        QVERIFY(rig.link.camOpen(0, Preview1080));
#ifndef _WIN32
        QCOMPARE(rig.fake->lastApi.load(), int(cv::CAP_V4L2));
#endif
        // A negative index changes nothing, not even the open camera.
        QVERIFY(!rig.link.camOpen(-1, Preview1080));
        QVERIFY(rig.link.isOpened());
        QCOMPARE(rig.fake->releases.load(), 0);

        // Reopening closes first; an index without a device leaves it closed.
        QVERIFY(rig.link.camOpen(1, Preview720));
        QCOMPARE(rig.fake->releases.load(), 1);
        QVERIFY(!rig.link.camOpen(7, Preview1080));
        QVERIFY(!rig.link.isOpened());
        QCOMPARE(rig.fake->releases.load(), 2);
    }

    // The vector is what the tunnel's preview table hands over for the stored
    // preview index (1 gives 720p; 2, -1 and 0 give 1080p).
    void previewSize_data()
    {
        QTest::addColumn<std::vector<int>>("size");
        QTest::addColumn<Calls>("calls");
        QTest::newRow("720p") << Preview720 << openCalls(1280, 720, 30);
        QTest::newRow("1080p") << Preview1080 << openCalls(1920, 1080, 30);
        QTest::newRow("ids not read") << std::vector<int>{0, 640, 0, 480, 0, 15} << openCalls(640, 480, 15);
        QTest::newRow("short vector") << std::vector<int>{3, 1920} << openCalls(0, 0, 0, false);
    }

    void previewSize()
    {
        QFETCH(std::vector<int>, size);
        QFETCH(Calls, calls);
        Rig rig;
        rig.fake->acceptedFourcc = 0; // a camera without MJPG opens all the same
        QVERIFY(rig.link.camOpen(0, size));
        QCOMPARE(rig.fake->calls(), calls);
        QVERIFY(rig.link.isOpened());
    }

    // OpenCV exceptions never leave the camera link: they go to the debug
    // output and the log, one line each.
    void exceptions_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<bool>("opened");
        QTest::addColumn<QString>("debug");
        QTest::addColumn<QString>("log");
        QTest::newRow("open") << "open" << false << "##### error = " << "camOpen failed : ";
        QTest::newRow("width") << "width" << true << "##### error = " << "camOpen failed : ";
        QTest::newRow("release") << "release" << false << "##### close error = " << "camClose failed : ";
    }

    void exceptions()
    {
        QFETCH(QString, where);
        QFETCH(bool, opened);
        QFETCH(QString, debug);
        QFETCH(QString, log);

        Rig rig;
        QTest::ignoreMessage(QtDebugMsg, "not open");
        rig.link.camOpen(0, Preview1080);
        m_home->clearLog();
        rig.fake->throwOnOpen = where == "open";
        rig.fake->throwOnProp = where == "width" ? int(cv::CAP_PROP_FRAME_WIDTH) : -1;
        rig.fake->throwOnRelease = where == "release";
        rig.fake->clearCalls();

        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^" + QRegularExpression::escape(debug) + ".*fake"));
        if (where == "release")
            rig.link.camClose();
        else
            QCOMPARE(rig.link.camOpen(0, Preview1080), opened);

        const QStringList logged = m_home->logMessages();
        QCOMPARE(logged.size(), 1);
        QVERIFY2(logged.first().startsWith(log) && logged.first().contains("fake"), qPrintable(logged.first()));
        QCOMPARE(rig.link.isOpened(), opened || where == "release");
        if (where == "width") // the remaining size calls are skipped
            QCOMPARE(rig.fake->calls(), openCalls(0, 0, 0, false));
        rig.fake->throwOnRelease = false;
    }

    // Property writes, reads and frame reads catch OpenCV exceptions too.
    void exceptionsOnUse()
    {
        Rig rig;
        rig.link.camOpen(0, Preview1080);
        rig.fake->throwOnProp = cv::CAP_PROP_GAIN;
        rig.fake->throwOnRead = true;
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^##### set error = .*fake"));
        QVERIFY(!rig.link.set(cv::CAP_PROP_GAIN, 3));
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^##### read error = .*fake"));
        QVERIFY(rig.link.grabFrame().isNull());
        CaptureSession session(rig.link);
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^##### set error = .*fake"));
        QVERIFY(!session.set(cv::CAP_PROP_GAIN, 3));
        QVERIFY(session.isOpened());
    }

    // A thread holding a session may use the link's own calls and nest
    // sessions; opening or closing inside one would deadlock and is refused.
    void insideSession()
    {
        Rig rig;
        rig.link.camOpen(0, Preview1080);
        {
            CaptureSession session(rig.link);
            QVERIFY(rig.link.isOpened());
            QVERIFY(rig.link.set(cv::CAP_PROP_FOCUS, 89));
            QCOMPARE(rig.link.get(cv::CAP_PROP_GAIN), double(cv::CAP_PROP_GAIN));
            QVERIFY(!rig.link.grabFrame().isNull());
            {
                CaptureSession nested(rig.link);
                QVERIFY(nested.set(cv::CAP_PROP_FOCUS, 0));
            }
            QTest::ignoreMessage(QtWarningMsg, "camClose refused inside a capture session");
            rig.link.camClose();
            QTest::ignoreMessage(QtWarningMsg, "camOpen refused inside a capture session");
            QVERIFY(!rig.link.camOpen(1, Preview1080));
            QVERIFY(session.isOpened());
        }
        rig.link.camClose();
        QVERIFY(!CaptureSession(rig.link).isOpened());
    }

    void setRotation_data()
    {
        QTest::addColumn<int>("degrees");
        QTest::addColumn<int>("stored");
        QTest::newRow("45") << 45 << 0;
        QTest::newRow("270") << 270 << 270;
        QTest::newRow("360") << 360 << 0;
    }

    void setRotation()
    {
        QFETCH(int, degrees);
        QFETCH(int, stored);
        Rig rig;
        rig.link.setRotation(180);
        rig.link.setRotation(degrees);
        QCOMPARE(rig.link.rotation(), stored);
    }

private:
    QScopedPointer<TempHomeWithLog> m_home;
};

QTEST_GUILESS_MAIN(TestCameraLink)
#include "tst_cameralink.moc"
