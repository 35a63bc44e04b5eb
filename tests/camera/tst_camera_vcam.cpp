// The camera link through OpenCV's V4L2 backend on the virtual camera: enumeration (metadata nodes
// skipped, a node the user may not open named), MJPG at 30 fps although the camera offers YUYV
// first, compressed frames decoding to OpenCV's own pixels, spoiled frames skipped, another format named.
#include "support/fakecamera.h"
#include "camera/capturethread.h"
#include "camera/frameconvert.h"
#include "camera/streamformat.h"
#include "items/previewscale.h"

#include "vcam_control.h"

#include <algorithm>
#include <opencv2/imgcodecs.hpp>

#if __has_include(<turbojpeg.h>)
#include <turbojpeg.h>
#endif

namespace {
long peakResidentKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    f.open(QIODevice::ReadOnly);
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}
} // namespace

class TestCameraVcam : public QObject
{
    Q_OBJECT

private slots:
    // In front of the test library's own message handler.
    void initTestCase() { installLogHandler(); }

    void enumerateAndOpen()
    {
        TempHome &home = m_home;
        setLogEnabled(true);
        CameraLink link;
        // Node 4 refuses to open (EACCES): said in the debug output and the log.
        const QString denied = QStringLiteral("no permission for /dev/video4; add the user to the group that owns it");
        QTest::ignoreMessage(QtWarningMsg, qPrintable(denied));
        QCOMPARE(link.enumerateDevices(), 2);
        QCOMPARE(link.devices()[0].name, QStringLiteral("Virtual Tuning Camera"));
        // It comes while the nodes are probed, before each camera's two nodes.
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
        // Stock uvcvideo maps no control to roll; a capture object of a test's own is not routed
        // through the device node at its index, which is another camera.
        QVERIFY(!link.reaches(cv::CAP_PROP_ROLL));
        Rig fake;
        QVERIFY(fake.link->camOpen(0, SmallPreview) && fake.link->reaches(cv::CAP_PROP_ROLL));
        home.clearLog();
        setLogEnabled(false);
    }

    // The direct decode against OpenCV's decode plus frameToImage (the capture object's own
    // conversion), in all four turns.
    void compressedFramesDecodeAsOpenCvDoes()
    {
        std::vector<cv::Mat> frames;
        CameraLink link;
        for (const std::vector<int> &size : {Preview1080, Preview720}) {
            QVERIFY(link.camOpen(0, size));
            CaptureSession session(link); // the holder's access to the capture object
            for (int n = 0; n < 3; ++n) {
                cv::Mat raw;
                QVERIFY(link.videoCapture()->read(raw));
                QCOMPARE(raw.rows, 1); // the link asked for the compressed data
                frames.push_back(raw.clone());
            }
        }
#if __has_include(<turbojpeg.h>)
        // Many cameras send 4:2:2; the virtual one sends 4:2:0.
        const cv::Mat picture = cv::imdecode(frames.front(), cv::IMREAD_COLOR);
        tjhandle encoder = tjInitCompress();
        unsigned char *jpeg = nullptr;
        unsigned long jpegSize = 0;
        QCOMPARE(tjCompress2(encoder, picture.data, picture.cols, int(picture.step[0]), picture.rows, TJPF_BGR, &jpeg,
                             &jpegSize, TJSAMP_422, 85, 0), 0);
        frames.push_back(cv::Mat(1, int(jpegSize), CV_8UC1, jpeg).clone());
        tjFree(jpeg);
        tjDestroy(encoder);
#endif
        // Many cameras pad a frame before its end marker; its picture is whole.
        // (From a frame OpenCV handed over whole: see the "handed over short" row below.)
        const auto whole = std::find_if(frames.begin(), frames.end(), [](const cv::Mat &f) {
            return f.at<uchar>(int(f.total()) - 2) == 0xFF && f.at<uchar>(int(f.total()) - 1) == 0xD9;
        });
        QVERIFY(whole != frames.end());
        cv::Mat padded = whole->clone();
        int end = int(padded.total()) - 2; // the end marker, after its fill bytes
        while (padded.at<uchar>(end - 1) == 0xFF)
            --end;
        padded = cv::Mat(1, end, CV_8UC1, padded.data).clone();
        cv::hconcat(std::vector<cv::Mat>{padded, cv::Mat(1, 7, CV_8UC1, cv::Scalar(0)),
                                         (cv::Mat_<uchar>(1, 2) << 0xFF, 0xD9)},
                    padded);
        frames.push_back(padded);
        for (const cv::Mat &raw : frames) {
            const cv::Mat decoded = cv::imdecode(raw, cv::IMREAD_COLOR);
            for (int rotation : {0, 90, 180, 270}) {
                const QImage image = jpegToImage(raw.data, raw.total(), rotation, QSize(decoded.cols, decoded.rows));
                QVERIFY(image == frameToImage(decoded, rotation));
            }
        }
    }

    // Spoiled frames through the capture thread: each is skipped and counted by its kind (and the
    // counts logged), never taken as a failed read; the good frames between them keep coming, and
    // a header that claims 30000 x 30000 allocates nothing by it. A frame OpenCV hands over a few bytes
    // short, its end marker lost, is shown.
    void spoiledFramesAreSkipped_data()
    {
        QTest::addColumn<QByteArray>("fault");
        QTest::addColumn<int>("kind");
        QTest::newRow("cut short") << QByteArray("trunc:3") << int(FrameVerdict::Undecodable);
        QTest::newRow("random bytes") << QByteArray("random:3") << int(FrameVerdict::Undecodable);
        QTest::newRow("start marker alone") << QByteArray("soi:3") << int(FrameVerdict::Undecodable);
        QTest::newRow("no data") << QByteArray("zero:3") << int(FrameVerdict::Empty);
        QTest::newRow("no data, error flag") << QByteArray("zeroerr:3") << int(FrameVerdict::Empty);
        QTest::newRow("30000 x 30000") << QByteArray("bigdim:3") << int(FrameVerdict::WrongSize);
        QTest::newRow("another size") << QByteArray("othersize:3") << int(FrameVerdict::WrongSize);
        QTest::newRow("withheld") << QByteArray("stall:3") << -1;
        QTest::newRow("handed over short") << QByteArray("shortread:3") << -1;
    }
    void spoiledFramesAreSkipped()
    {
        QFETCH(QByteArray, fault);
        QFETCH(int, kind);
        setLogEnabled(true); // the first case's home
        CameraLink link;
        QVERIFY(link.camOpen(0, Preview1080));
        CaptureThread thread(&link);
        QSignalSpy failed(&thread, &CaptureThread::readFailed);
        std::atomic<int> frames{0};
        QObject::connect(&thread, &CaptureThread::onGetFrame, &thread, [&](const QImage &) {
            frames += thread.takeNewestFrame().size() == QSize(1920, 1080);
        }, Qt::DirectConnection);
        const long peakBefore = peakResidentKb();
        const long injectedBefore = vcam_frame_faults_injected(0);
        QCOMPARE(vcam_set_frame_fault(fault.constData()), 0);
        thread.start();
        if (kind >= 0)
            QTRY_VERIFY_WITH_TIMEOUT(thread.badFrames(FrameVerdict(kind)) >= 3, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(vcam_frame_faults_injected(0) - injectedBefore >= 3 && frames >= 6, 20000);
        vcam_set_frame_fault("none");
        thread.stop();
        QCOMPARE(failed.count(), 0);
        QVERIFY2(peakResidentKb() - peakBefore < 100 * 1024, "memory grew by what a header claimed");
        for (int k = int(FrameVerdict::Empty); k < FrameVerdictCount; ++k)
            QVERIFY2((thread.badFrames(FrameVerdict(k)) > 0) == (k == kind), frameVerdictName(FrameVerdict(k)));
        const QStringList log = m_home.logMessages();
        m_home.clearLog();
        setLogEnabled(false);
        QCOMPARE(log.filter(QStringLiteral("bad frames skipped: ")).isEmpty(), kind < 0);
    }

    // A camera without the asked format or size: what it delivers is what the preview-size row says.
    void anotherFormatIsNamed_data()
    {
        QTest::addColumn<QByteArray>("formats");
        QTest::addColumn<QString>("shown");
        QTest::newRow("as asked") << QByteArray() << QStringLiteral("1080P 30FPS");
        QTest::newRow("YUYV only") << QByteArray("yuyv") << QStringLiteral("1920×1080 YUYV 5FPS (asked 1080P 30FPS)");
        QTest::newRow("YUYV 640 only") << QByteArray("yuyv640") << QStringLiteral("640×480 YUYV (asked 1080P 30FPS)");
        QTest::newRow("MJPG 640 only") << QByteArray("mjpg640") << QStringLiteral("640×480 MJPG (asked 1080P 30FPS)");
    }
    void anotherFormatIsNamed()
    {
        QFETCH(QByteArray, formats);
        QFETCH(QString, shown);
        qputenv("VEXLO_VCAM_FORMATS", formats);
        CameraLink link;
        QVERIFY(link.camOpen(0, Preview1080));
        const CameraLink::StreamFormat got = link.streamFormat();
        QCOMPARE(describeStream(got, Preview1080, QStringLiteral("1080P 30FPS")), shown);
        FrameVerdict verdict = FrameVerdict::ReadFailed;
        QCOMPARE(link.grabFrame(&verdict).size(), QSize(got.width, got.height));
        QCOMPARE(int(verdict), int(FrameVerdict::Good));
        qunsetenv("VEXLO_VCAM_FORMATS");
    }

    // Decoded for a preview that shows the frame smaller: the largest reduction that still covers
    // the shown size (after the turn), and what is shown within 40 dB of the full decode scaled the
    // same way. Through the capture thread, the frame's own size goes with the smaller image.
    void decodedForThePreview_data()
    {
        QTest::addColumn<bool>("hd");
        QTest::addColumn<int>("rotation");
        QTest::addColumn<QSize>("shown");
        QTest::addColumn<QSize>("decoded");
        QTest::addColumn<double>("minDb"); // the shown picture's PSNR at least
        QTest::newRow("1080p fitted") << true << 0 << QSize(900, 506) << QSize(960, 540) << 36.5;
        QTest::newRow("1080p at half") << true << 180 << QSize(960, 540) << QSize(960, 540) << 36.5;
        QTest::newRow("1080p just over half") << true << 0 << QSize(961, 540) << QSize(1920, 1080) << 99.0;
        QTest::newRow("1080p narrow strip") << true << 0 << QSize(500, 100) << QSize(960, 540) << 36.5;
        QTest::newRow("1080p turned") << true << 90 << QSize(250, 450) << QSize(270, 480) << 29.5;
        QTest::newRow("1080p an eighth at most") << true << 0 << QSize(100, 50) << QSize(240, 135) << 36.5;
        QTest::newRow("720p fitted") << false << 0 << QSize(900, 506) << QSize(1280, 720) << 99.0;
        QTest::newRow("720p a quarter, turned") << false << 270 << QSize(180, 320) << QSize(180, 320) << 29.5;
        QTest::newRow("pixel for pixel") << true << 0 << QSize(1920, 1080) << QSize(1920, 1080) << 99.0;
        QTest::newRow("full size asked") << true << 90 << QSize() << QSize(1080, 1920) << 99.0;
    }
    void decodedForThePreview()
    {
        QFETCH(bool, hd);
        QFETCH(int, rotation);
        QFETCH(QSize, shown);
        QFETCH(QSize, decoded);
        const QSize size = hd ? QSize(1920, 1080) : QSize(1280, 720);
        CameraLink link;
        QVERIFY(link.camOpen(0, hd ? Preview1080 : Preview720));
        cv::Mat raw;
        {
            CaptureSession session(link);
            QVERIFY(link.videoCapture()->read(raw));
        }
        const QImage full = jpegToImage(raw.data, raw.total(), rotation, size);
        FrameVerdict verdict = FrameVerdict::Undecodable;
        const QImage reduced = jpegToImage(raw.data, raw.total(), rotation, size, &verdict, shown);
        QCOMPARE(int(verdict), int(FrameVerdict::Good));
        QCOMPARE(reduced.size(), decoded);
        if (shown.isEmpty()) {
            QVERIFY(reduced == full);
        } else {
            const QImage a = previewScaled(full, shown);
            const QImage b = reduced.size() == shown ? reduced : previewScaled(reduced, shown);
            double squares = 0;
            for (int y = 0; y < a.height(); ++y) {
                for (int x = 0; x < a.width(); ++x) {
                    const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
                    for (int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)})
                        squares += d * d;
                }
            }
            const double psnr = 10 * std::log10(255.0 * 255 * 3 * a.width() * a.height() / std::max(squares, 1.0));
            QFETCH(double, minDb);
            QVERIFY2(psnr >= minDb, qPrintable(QString::number(psnr)));
        }

        link.setRotation(rotation);
        CaptureThread thread(&link);
        thread.setShownSize(shown);
        thread.start();
        QSize frame;
        QVERIFY(QTest::qWaitFor([&] { return thread.takeNewestFrame(&frame).size() == decoded; }, 10000));
        QCOMPARE(frame, rotation % 180 ? size.transposed() : size);
    }

private:
    TempHome m_home; // the debug log's home is found once per process
};

QTEST_GUILESS_MAIN(TestCameraVcam)
#include "tst_camera_vcam.moc"
