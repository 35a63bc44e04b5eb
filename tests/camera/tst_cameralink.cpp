// CameraLink on a fake capture object: opening and closing, the preview size
// and pixel format it asks for, OpenCV exceptions, rotation and frame grabbing.
#include "camtestsupport.h"
#include "fakecapture.h"

#include "camera/cameralink.h"
#include "camera/devicesource.h"

#include <QtTest>

using Calls = std::vector<std::pair<int, double>>;
Q_DECLARE_METATYPE(Calls)

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

const double Mjpg = double('M' | 'J' << 8 | 'P' << 16 | 'G' << 24);

Calls expectedOpenCalls(int width, int height, int fps)
{
    Calls calls;
#ifndef _WIN32
    calls.emplace_back(cv::CAP_PROP_FOURCC, Mjpg);
#endif
    calls.emplace_back(cv::CAP_PROP_FRAME_WIDTH, width);
    calls.emplace_back(cv::CAP_PROP_FRAME_HEIGHT, height);
    calls.emplace_back(cv::CAP_PROP_FPS, fps);
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
        MessageCatcher debug;

        // Closing with no camera only says so.
        rig.link.camClose();
        QCOMPARE(debug.messages(), QStringList{"not open"});
        QCOMPARE(rig.fake->releases.load(), 0);

        QVERIFY(rig.link.camOpen(0, Preview1080));
        QVERIFY(rig.link.isOpened());
#ifndef _WIN32
        QCOMPARE(rig.fake->lastApi.load(), int(cv::CAP_V4L2));
#endif

        // A negative index changes nothing, not even the open camera.
        QVERIFY(!rig.link.camOpen(-1, Preview1080));
        QVERIFY(rig.link.isOpened());
        QCOMPARE(rig.fake->opens.load(), 1);
        QCOMPARE(rig.fake->releases.load(), 0);

        // Reopening closes first.
        QVERIFY(rig.link.camOpen(1, Preview720));
        QCOMPARE(rig.fake->releases.load(), 1);

        // An index without a device leaves the camera closed.
        QVERIFY(!rig.link.camOpen(7, Preview1080));
        QVERIFY(!rig.link.isOpened());
        QCOMPARE(rig.fake->releases.load(), 2);

        rig.link.camOpen(0, Preview1080);
        rig.link.camClose();
        QVERIFY(!rig.link.isOpened());
    }

    // The vector is what the tunnel's preview table hands over for the stored
    // preview index (1 gives 720p; 2, -1 and 0 give 1080p).
    void previewSize_data()
    {
        QTest::addColumn<std::vector<int>>("size");
        QTest::addColumn<Calls>("calls");
        QTest::newRow("720p") << Preview720 << expectedOpenCalls(1280, 720, 30);
        QTest::newRow("1080p") << Preview1080 << expectedOpenCalls(1920, 1080, 30);
        // Elements 0, 2 and 4 are not read.
        QTest::newRow("ids not read") << std::vector<int>{0, 640, 0, 480, 0, 15} << expectedOpenCalls(640, 480, 15);
        Calls formatOnly;
#ifndef _WIN32
        formatOnly.emplace_back(cv::CAP_PROP_FOURCC, Mjpg);
#endif
        QTest::newRow("short vector") << std::vector<int>{3, 1920} << formatOnly;
    }

    void previewSize()
    {
        QFETCH(std::vector<int>, size);
        QFETCH(Calls, calls);
        Rig rig;
        QVERIFY(rig.link.camOpen(0, size));
        QCOMPARE(rig.fake->calls(), calls);
        QVERIFY(rig.link.isOpened());
    }

    // OpenCV exceptions never leave the camera link: they are written to the
    // debug output and the log.
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
        m_home->clearLog();
        if (where == "release")
            QVERIFY(rig.link.camOpen(0, Preview1080));
        rig.fake->throwOnOpen = where == "open";
        rig.fake->throwOnProp = where == "width" ? int(cv::CAP_PROP_FRAME_WIDTH) : -1;
        rig.fake->throwOnRelease = where == "release";
        rig.fake->clearCalls();

        MessageCatcher catcher;
        if (where == "release") {
            rig.link.camClose();
        } else {
            QCOMPARE(rig.link.camOpen(0, Preview1080), opened);
        }

        QStringList messages = catcher.messages();
        messages.removeAll("not open"); // opening closes first
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.first().startsWith(debug), qPrintable(messages.first()));
        QVERIFY(messages.first().contains("fake"));
        const QStringList logged = m_home->logMessages();
        QCOMPARE(logged.size(), 1);
        QVERIFY2(logged.first().startsWith(log), qPrintable(logged.first()));
        QVERIFY(logged.first().contains("fake"));

        if (where == "width") {
            // The camera stays open; the remaining size calls are skipped.
            QVERIFY(rig.link.isOpened());
            for (const auto &call : rig.fake->calls())
                QVERIFY(call.first != cv::CAP_PROP_FRAME_HEIGHT && call.first != cv::CAP_PROP_FPS);
        }
        rig.fake->throwOnRelease = false;
    }

    void exceptionsOnUse()
    {
        Rig rig;
        QVERIFY(rig.link.camOpen(0, Preview1080));
        rig.fake->throwOnProp = cv::CAP_PROP_GAIN;
        rig.fake->throwOnRead = true;
        MessageCatcher catcher;
        QVERIFY(!rig.link.set(cv::CAP_PROP_GAIN, 3));
        QVERIFY(rig.link.grabFrame().isNull());
        {
            CaptureSession session(rig.link);
            QVERIFY(!session.set(cv::CAP_PROP_GAIN, 3));
        }
        QCOMPARE(catcher.messages().size(), 3);
        QVERIFY(rig.link.isOpened());
    }

    void setRotation_data()
    {
        QTest::addColumn<int>("degrees");
        QTest::addColumn<int>("stored");
        QTest::newRow("0") << 0 << 0;
        QTest::newRow("45") << 45 << 0;
        QTest::newRow("90") << 90 << 90;
        QTest::newRow("180") << 180 << 180;
        QTest::newRow("270") << 270 << 270;
        QTest::newRow("360") << 360 << 0;
        QTest::newRow("-90") << -90 << 0;
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

    void grabFrame()
    {
        Rig rig;
        QVERIFY(rig.link.grabFrame().isNull());
        QCOMPARE(rig.fake->reads.load(), 0);

        rig.link.camOpen(0, Preview1080);
        rig.link.setRotation(90);
        const QImage image = rig.link.grabFrame();
        QCOMPARE(image.size(), QSize(rig.fake->frameHeight, rig.fake->frameWidth));
        QCOMPARE(image.format(), QImage::Format_RGB32);
        // The fake's frames hold b = 1, g = 2, r = 3.
        QCOMPARE(image.pixel(0, 0), 0xFF030201u);

        rig.fake->frameType = CV_8UC1;
        QVERIFY(rig.link.grabFrame().isNull());
    }

    // A thread holding a session may use the link's own calls; opening or
    // closing from inside a session would deadlock and is refused.
    void insideSession()
    {
        Rig rig;
        rig.link.camOpen(0, Preview1080);
        {
            CaptureSession session(rig.link);
            QVERIFY(session.isValid());
            QVERIFY(rig.link.isOpened());
            QVERIFY(rig.link.set(cv::CAP_PROP_FOCUS, 89));
            QCOMPARE(rig.link.get(cv::CAP_PROP_GAIN), double(cv::CAP_PROP_GAIN));
            QVERIFY(!rig.link.grabFrame().isNull());
            {
                CaptureSession nested(rig.link);
                QVERIFY(nested.set(cv::CAP_PROP_FOCUS, 0));
            }
            QVERIFY(session.isOpened());
            QTest::ignoreMessage(QtWarningMsg, "camClose refused inside a capture session");
            rig.link.camClose();
            QTest::ignoreMessage(QtWarningMsg, "camOpen refused inside a capture session");
            QVERIFY(!rig.link.camOpen(1, Preview1080));
            QVERIFY(session.isOpened());
        }
        rig.link.camClose();
        QVERIFY(!rig.link.isOpened());
        CaptureSession closedSession(rig.link);
        QVERIFY(!closedSession.isOpened());
    }

private:
    QScopedPointer<TempHomeWithLog> m_home;
};

QTEST_GUILESS_MAIN(TestCameraLink)
#include "tst_cameralink.moc"
