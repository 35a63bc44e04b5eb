// The camera link through OpenCV's V4L2 backend on the virtual camera: enumeration (metadata nodes
// skipped, a node the user may not open named), MJPG at 30 fps although the camera offers YUYV
// first, and compressed frames decoding to OpenCV's own pixels.
#include "support/fakecamera.h"
#include "camera/frameconvert.h"

#include <opencv2/imgcodecs.hpp>

#if __has_include(<turbojpeg.h>)
#include <turbojpeg.h>
#endif

class TestCameraVcam : public QObject
{
    Q_OBJECT

private slots:
    void enumerateAndOpen()
    {
        TempHome home(true);
        CameraLink link;
        // Node 4 refuses to open (EACCES): said in the debug output and the log.
        const QString denied = QStringLiteral("no permission for /dev/video4; add the user to the group that owns it");
        QTest::ignoreMessage(QtDebugMsg, qPrintable(denied));
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
    }

    // The direct decode against OpenCV's decode plus frameToImage (the capture object's own
    // conversion), in all four turns; broken data takes OpenCV's result too.
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
        frames.push_back(frames.front().colRange(0, frames.front().cols / 2).clone()); // cut short
        frames.push_back(cv::Mat(1, 4096, CV_8UC1, cv::Scalar(0x5A)));                 // not a JPEG

        for (const cv::Mat &raw : frames) {
            const cv::Mat decoded = cv::imdecode(raw, cv::IMREAD_COLOR);
            for (int rotation : {0, 90, 180, 270}) {
                const QImage image = jpegToImage(raw.data, raw.total(), rotation);
                QCOMPARE(image.isNull(), decoded.empty());
                QVERIFY(image == frameToImage(decoded, rotation));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestCameraVcam)
#include "tst_camera_vcam.moc"
