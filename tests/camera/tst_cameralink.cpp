// CameraLink on fakes (opening, closing and turning, what it writes to the camera, OpenCV exceptions,
// sessions, enumeration) and its frame conversion, bit for bit against the pixel formula and Qt's rotation.
#include "support/fakecamera.h"

#include "camera/frameconvert.h"

namespace {

// What camOpen sends: on Linux MJPG first, then the size and the rate, then asks what it got.
QString openTrace(const QString &size = QString())
{
#ifdef _WIN32
    return (size.isEmpty() ? QString() : size + QLatin1Char(' ')) + "get:6 get:3 get:4 get:5";
#else
    return QStringLiteral("6:1196444237 ") + (size.isEmpty() ? QString() : size + QLatin1Char(' '))
        + "get:6 get:3 get:4 get:5";
#endif
}

DeviceRecord dev(const QString &name, const QString &path, bool videoCapture = true, bool readable = true)
{
    return DeviceRecord{readable, name, path, videoCapture};
}

const QString Usb = QStringLiteral("usb-0000:00:14.0-1");

// 0xFF << 24 | r << 16 | g << 8 | b, pixel by pixel.
QImage reference(const cv::Mat &frame)
{
    QImage image(frame.cols, frame.rows, QImage::Format_RGB32);
    for (int y = 0; y < frame.rows; ++y) {
        const uchar *src = frame.ptr<uchar>(y);
        auto *dst = reinterpret_cast<quint32 *>(image.scanLine(y));
        for (int x = 0; x < frame.cols; ++x, src += 3)
            dst[x] = 0xFFu << 24 | quint32(src[2]) << 16 | quint32(src[1]) << 8 | src[0];
    }
    return image;
}

// QImage's == ignores the alpha byte of RGB32 images; this keeps it.
QImage allBits(QImage image)
{
    image.reinterpretAsFormat(QImage::Format_ARGB32);
    return image;
}

} // namespace

class TestCameraLink : public QObject
{
    Q_OBJECT

private slots:
    // In front of the test library's own message handler.
    void initTestCase() { installLogHandler(); }

    void openCloseAndTurn()
    {
        Rig rig;
        QTest::ignoreMessage(QtDebugMsg, "not open");
        rig.link->camClose();
        QVERIFY(rig.link->grabFrame().isNull());
        QCOMPARE(rig.world->releases + rig.world->framesRead, 0);

        QTest::ignoreMessage(QtDebugMsg, "not open");
        QVERIFY(rig.link->camOpen(0, SmallPreview));
        QCOMPARE(rig.world->takeTrace(), openTrace("3:32 4:24 5:30"));
#ifndef _WIN32
        QCOMPARE(rig.world->lastApi.load(), int(cv::CAP_V4L2));
#endif
        // Only quarter and half turns are kept, and frames come out turned.
        for (const auto &[degrees, kept] : {std::pair{270, 270}, {45, 0}, {180, 180}, {360, 0}}) {
            rig.link->setRotation(degrees);
            QCOMPARE(rig.link->rotation(), kept);
            QCOMPARE(rig.link->grabFrame().size(), kept % 180 ? QSize(24, 32) : QSize(32, 24));
        }
        // A negative index changes nothing, not even the open camera.
        QVERIFY(!rig.link->camOpen(-1, SmallPreview));
        QVERIFY(rig.link->isOpened());
        QCOMPARE(rig.world->releases.load(), 0);
        // Reopening closes first. The ids in the vector are not read, a short
        // vector sets no size, and a camera refusing MJPG opens all the same.
        rig.world->acceptedFourcc = 0;
        QVERIFY(rig.link->camOpen(1, {0, 640, 0, 480, 0, 15}));
        QCOMPARE(rig.world->takeTrace(), openTrace("3:640 4:480 5:15"));
        QVERIFY(rig.link->camOpen(1, {3, 1920}));
        QCOMPARE(rig.world->takeTrace(), openTrace());
        QCOMPARE(rig.world->releases.load(), 2);
        // An index without a device leaves it closed.
        QVERIFY(!rig.link->camOpen(7, SmallPreview));
        QVERIFY(!rig.link->isOpened());
        QCOMPARE(rig.world->releases.load(), 3);
    }

    // OpenCV exceptions never leave the link: one message each, a warning that
    // the log gets when opening or closing, else a debug line.
    void exceptions_data()
    {
        QTest::addColumn<int>("where");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("logged");
        QTest::newRow("open") << int(FakeWorld::Open) << "camOpen failed : " << true;
        QTest::newRow("width") << int(cv::CAP_PROP_FRAME_WIDTH) << "camOpen failed : " << true;
        QTest::newRow("release") << int(FakeWorld::Release) << "camClose failed : " << true;
        QTest::newRow("set") << int(cv::CAP_PROP_GAIN) << "##### set error = " << false;
        QTest::newRow("read") << int(FakeWorld::Read) << "##### read error = " << false;
        QTest::newRow("session set") << int(cv::CAP_PROP_GAIN) << "##### set error = " << false;
    }

    void exceptions()
    {
        QFETCH(int, where);
        QFETCH(QString, message);
        QFETCH(bool, logged);
        const QByteArray row = QTest::currentDataTag();
        Rig rig;
        rig.link->camOpen(0, SmallPreview);
        m_home.clearLog();
        rig.world->takeTrace();
        rig.world->throwAt = where;

        QTest::ignoreMessage(logged ? QtWarningMsg : QtDebugMsg, QRegularExpression("^" + message + ".*fake"));
        if (row == "release")
            rig.link->camClose();
        else if (row == "set")
            QVERIFY(!rig.link->set(cv::CAP_PROP_GAIN, 3));
        else if (row == "read")
            QVERIFY(rig.link->grabFrame().isNull());
        else if (row == "session set")
            QVERIFY(!CaptureSession(*rig.link).set(cv::CAP_PROP_GAIN, 3));
        else
            QCOMPARE(rig.link->camOpen(0, SmallPreview), row == "width");
        rig.world->throwAt = FakeWorld::None;

        const QStringList log = m_home.logMessages();
        QCOMPARE(log.size(), int(logged));
        QVERIFY(!logged || (log[0].startsWith(message) && log[0].contains("fake")));
        QCOMPARE(rig.link->isOpened(), row != "open");
        if (row == "width") // the remaining size calls are skipped
            QCOMPARE(rig.world->takeTrace(), openTrace().section(QLatin1Char(' '), 0, 0));
    }

    // A thread holding a session may use the link's own calls and nest
    // sessions; opening or closing inside one would deadlock and is refused.
    void insideSession()
    {
        Rig rig;
        rig.link->camOpen(0, SmallPreview);
        {
            CaptureSession session(*rig.link);
            QVERIFY(rig.link->isOpened());
            QVERIFY(rig.link->set(cv::CAP_PROP_FOCUS, 89));
            rig.world->answers[cv::CAP_PROP_GAIN] = 7;
            QCOMPARE(rig.link->get(cv::CAP_PROP_GAIN), 7.0);
            QVERIFY(!rig.link->grabFrame().isNull());
            QVERIFY(CaptureSession(*rig.link).set(cv::CAP_PROP_FOCUS, 0));
            QTest::ignoreMessage(QtWarningMsg, "camClose refused inside a capture session");
            rig.link->camClose();
            QTest::ignoreMessage(QtWarningMsg, "camOpen refused inside a capture session");
            QVERIFY(!rig.link->camOpen(1, SmallPreview));
            QVERIFY(session.isOpened());
        }
        rig.link->camClose();
        QVERIFY(!CaptureSession(*rig.link).isOpened());
    }

    // Every readable node takes a capture index and named ones are logged;
    // only USB capture nodes are listed. A second run replaces the list.
    void enumerate()
    {
        const struct {
            std::vector<DeviceRecord> records;
            QStringList listed, log;
        } cases[] = {
            {{dev("PCI", "pci-0"), dev("Cam", Usb), dev("Cam", Usb, false), dev("Other", "usb-2")},
             {"Cam#1", "Other#3"},
             {"device 0: pci-0 name = PCI", "device 1: " + Usb + " name = Cam", "device 2: " + Usb + " name = Cam",
              "device 3: usb-2 name = Other"}},
            // An unreadable node takes no index, a nameless one does.
            {{dev("X", Usb, true, false), DeviceRecord(), dev("Cam", Usb)},
             {"Cam#1"},
             {"device 1: " + Usb + " name = Cam"}},
            {{dev("A", "\\\\?\\USB#VID_1"), dev("B", "Usb-bus"), dev("C", "uSB")}, {"A#0"}, // USB in capitals only
             {"device 0: \\\\?\\USB#VID_1 name = A", "device 1: Usb-bus name = B", "device 2: uSB name = C"}},
            {{dev("50%1 %2", "usb-%3")}, {"50%1 %2#0"}, {"device 0: usb-%3 name = 50%1 %2"}},
            {{}, {}, {}}};
        for (const auto &c : cases) {
            m_home.clearLog();
            Rig rig;
            rig.world->nodes = c.records;
            for (int run = 0; run < 2; ++run) {
                QCOMPARE(rig.link->enumerateDevices(), c.listed.size());
                QStringList names;
                for (const CamDevice &d : rig.link->devices())
                    names << d.name + '#' + QString::number(d.id);
                QCOMPARE(names, c.listed);
            }
            QCOMPARE(m_home.logMessages(), c.log + c.log);
            for (int n = -1; n <= c.listed.size(); ++n) { // out of range gives 0
                const int id = n < 0 || n == c.listed.size() ? 0 : c.listed[n].section('#', -1).toInt();
                QCOMPARE(rig.link->deviceIdAt(n), id);
            }
        }
    }

    // Turns are Qt's smooth transform (clockwise on screen), of a region of a bigger frame (rows more
    // than 3 x width bytes apart). Anything but a 2-D 8-bit three-channel frame gives a null image.
    void convert()
    {
        const int cases[][3] = {{0, 1, 1}, {0, 17, 9}, {180, 7, 5}, {270, 33, 17}, {90, 1920, 1080}};
        for (const auto &[degrees, width, height] : cases) {
            cv::Mat whole(height + 1, width + 7, CV_8UC3);
            cv::randu(whole, cv::Scalar::all(0), cv::Scalar::all(256));
            const cv::Mat frame = whole(cv::Rect(2, 1, width, height));
            const QImage image = frameToImage(frame, degrees);
            QCOMPARE(image.format(), QImage::Format_RGB32);
            const QImage turned = reference(frame).transformed(QTransform().rotate(degrees), Qt::SmoothTransformation);
            QCOMPARE(allBits(image), allBits(turned));
        }
        const int sizes[] = {2, 4, 6};
        for (const cv::Mat &frame : {cv::Mat(4, 6, CV_8UC1), cv::Mat(4, 6, CV_8UC4), cv::Mat(4, 6, CV_16UC3),
                                     cv::Mat(3, sizes, CV_8UC3), cv::Mat()})
            QVERIFY(frameToImage(frame, 0).isNull() && frameToImage(frame, 90).isNull());
    }

private:
    TempHome m_home{true};
};

QTEST_GUILESS_MAIN(TestCameraLink)
#include "tst_cameralink.moc"
