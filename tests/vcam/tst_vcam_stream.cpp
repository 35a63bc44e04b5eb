// Streaming through OpenCV's V4L2 backend: formats and rates, the picture,
// the metadata node, a second camera and hot-plug.
#include "vcam_test_util.h"

#include <opencv2/imgproc.hpp>

#include <QElapsedTimer>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

using namespace vcamtest;

namespace {

int fourccOf(const cv::VideoCapture &cap) { return int(cap.get(cv::CAP_PROP_FOURCC)); }

cv::Scalar meanAt(const cv::Mat &m, double fx, double fy)
{
    const int w = std::max(4, m.cols / 40), h = std::max(4, m.rows / 40);
    const cv::Rect r(int(fx * m.cols) - w / 2, int(fy * m.rows) - h / 2, w, h);
    return cv::mean(m(r));
}

} // namespace

class TestVcamStream : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QCOMPARE(vcam_camera_count(), 2);
        vcam_reset(0);
        vcam_reset(1);
    }

    void framesAtAdvertisedRates_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<bool>("mjpg");
        QTest::addColumn<int>("fps");
        // What a plain reader gets: OpenCV tries YUYV before MJPG.
        QTest::newRow("1920x1080 as OpenCV picks (YUYV)") << 1920 << 1080 << false << 5;
        QTest::newRow("1280x720 as OpenCV picks (YUYV)") << 1280 << 720 << false << 10;
        QTest::newRow("1920x1080 MJPG") << 1920 << 1080 << true << 30;
        QTest::newRow("1280x720 MJPG") << 1280 << 720 << true << 30;
    }

    void framesAtAdvertisedRates()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(bool, mjpg);
        QFETCH(int, fps);
        cv::VideoCapture cap;
        QVERIFY(openCamera(cap));
        if (mjpg)
            QVERIFY(cap.set(cv::CAP_PROP_FOURCC, cv::VideoWriter::fourcc('M', 'J', 'P', 'G')));
        cap.set(cv::CAP_PROP_FRAME_WIDTH, width);
        cap.set(cv::CAP_PROP_FRAME_HEIGHT, height);
        QCOMPARE(fourccOf(cap), mjpg ? int(V4L2_PIX_FMT_MJPEG) : int(V4L2_PIX_FMT_YUYV));
        QCOMPARE(int(cap.get(cv::CAP_PROP_FPS)), fps);

        cv::Mat frame;
        // The first reads drain the buffers that filled while streaming started.
        for (int i = 0; i < 5; ++i)
            QVERIFY(cap.read(frame));
        QCOMPARE(frame.cols, width);
        QCOMPARE(frame.rows, height);
        const int n = std::max(6, fps * 3 / 2);
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < n; ++i)
            QVERIFY(cap.read(frame));
        const double rate = n * 1000.0 / double(t.elapsed());
        // Never faster than the advertised rate; slower only within what a busy
        // machine (sanitizers, parallel tests) can explain.
        QVERIFY2(rate < fps * 1.1 && rate > fps * 0.75, qPrintable(QString("measured %1 fps").arg(rate)));
    }

    void pictureDecodesWhole_data()
    {
        QTest::addColumn<bool>("mjpg");
        QTest::newRow("YUYV") << false;
        QTest::newRow("MJPG") << true;
    }

    // Colour bars, ramp and the rows below the moving band survive encoding
    // (for MJPG: the spliced restart intervals decode into one picture).
    void pictureDecodesWhole()
    {
        QFETCH(bool, mjpg);
        cv::VideoCapture cap;
        QVERIFY(openCamera(cap));
        if (mjpg)
            cap.set(cv::CAP_PROP_FOURCC, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'));
        cap.set(cv::CAP_PROP_FRAME_WIDTH, 1280);
        cap.set(cv::CAP_PROP_FRAME_HEIGHT, 720);
        cv::Mat a, b;
        QVERIFY(cap.read(a));
        QVERIFY(cap.read(b));
        const cv::Scalar expected[8] = {{191, 191, 191}, {0, 191, 191}, {191, 191, 0}, {0, 191, 0},
                                        {191, 0, 191},   {0, 0, 191},   {191, 0, 0},   {16, 16, 16}};
        for (int i = 0; i < 8; ++i) {
            const cv::Scalar m = meanAt(b, (i + 0.5) / 8.0, 0.2);
            for (int c = 0; c < 3; ++c)
                QVERIFY2(std::abs(m[c] - expected[i][c]) < 12, qPrintable(QString("bar %1 channel %2: %3").arg(i).arg(c).arg(m[c])));
        }
        QVERIFY(meanAt(b, 1.0 / 32, 0.5)[1] < 20);  // ramp, black end
        QVERIFY(meanAt(b, 31.0 / 32, 0.5)[1] > 235); // ramp, white end
        const cv::Scalar below = meanAt(b, 0.5, 0.97);
        QVERIFY2(std::abs(below[0] - 48) < 8 && std::abs(below[2] - 48) < 8, "background below the band");
        // Only the band with the marker and the counter changes between frames.
        cv::Mat diff;
        cv::absdiff(a, b, diff);
        QCOMPARE(cv::countNonZero(diff.rowRange(0, 720 * 80 / 100).reshape(1)), 0);
        QVERIFY(cv::countNonZero(diff.reshape(1)) > 0);
    }

    void pictureFollowsRegisters()
    {
        cv::VideoCapture cap;
        QVERIFY(openCamera(cap));
        cv::Mat before, after;
        for (int i = 0; i < 3; ++i)
            QVERIFY(cap.read(before));
        QVERIFY(tunnelWrite(cap, cv::CAP_PROP_SATURATION, 0));
        QVERIFY(tunnelWrite(cap, cv::CAP_PROP_BRIGHTNESS, 6)); // EV +2
        for (int i = 0; i < 3; ++i)
            QVERIFY(cap.read(after));
        const cv::Scalar red = meanAt(after, 5.5 / 8, 0.2);
        QVERIFY2(std::abs(red[2] - red[1]) < 6, "saturation 0 leaves no colour");
        QVERIFY(meanAt(after, 6.5 / 16, 0.5)[1] > meanAt(before, 6.5 / 16, 0.5)[1] + 30);
        vcam_reset(0);
    }

    void metadataNodeIsNotACaptureDevice()
    {
        const int fd = ::open("/dev/video1", O_RDWR | O_NONBLOCK);
        QVERIFY(fd >= 0);
        v4l2_capability cap{};
        QCOMPARE(::ioctl(fd, VIDIOC_QUERYCAP, &cap), 0);
        QVERIFY(cap.capabilities & V4L2_CAP_DEVICE_CAPS);
        QVERIFY(cap.device_caps & V4L2_CAP_META_CAPTURE);
        QVERIFY(!(cap.device_caps & V4L2_CAP_VIDEO_CAPTURE));
        // As on uvcvideo, the node-independent field still lists video capture.
        QVERIFY(cap.capabilities & V4L2_CAP_VIDEO_CAPTURE);
        v4l2_format f{};
        f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        QCOMPARE(::ioctl(fd, VIDIOC_G_FMT, &f), -1);
        ::close(fd);
    }

    void secondCameraIsIndependent()
    {
        cv::VideoCapture a, b;
        QVERIFY(openCamera(a, 0));
        QVERIFY(openCamera(b, 2));
        QVERIFY(tunnelWrite(b, cv::CAP_PROP_GAIN, 9));
        QCOMPARE(vcam_register_value(1, VCAM_REG_GAIN), 9);
        QCOMPARE(vcam_register_value(0, VCAM_REG_GAIN), 0);
        cv::Mat f;
        QVERIFY(b.read(f));
        QVERIFY(a.read(f));
        const int fd = ::open("/dev/video2", O_RDWR);
        v4l2_capability cap{};
        QCOMPARE(::ioctl(fd, VIDIOC_QUERYCAP, &cap), 0);
        QCOMPARE(QByteArray(reinterpret_cast<char *>(cap.bus_info)), QByteArray("usb-0000:00:14.0-2"));
        ::close(fd);
        // Nodes that are not ours are passed through to the system.
        errno = 0;
        QCOMPARE(::open("/dev/video7", O_RDWR), -1);
        QCOMPARE(errno, ENOENT);
        vcam_reset(1);
    }

    void unplugWakesTheReaderAndReplugReopens()
    {
        cv::VideoCapture cap;
        QVERIFY(openCamera(cap));
        cap.set(cv::CAP_PROP_FRAME_WIDTH, 1920);
        cap.set(cv::CAP_PROP_FRAME_HEIGHT, 1080); // 5 fps: the reader waits in select()
        cv::Mat f;
        QVERIFY(cap.read(f));
        std::thread pull([] {
            QThread::msleep(300);
            vcam_unplug(0);
        });
        QElapsedTimer t;
        t.start();
        bool ok = true;
        while (ok && t.elapsed() < 5000)
            ok = cap.read(f);
        pull.join();
        QVERIFY(!ok);
        QVERIFY2(t.elapsed() < 1500, "reader woke up promptly");
        cap.release();

        errno = 0;
        QCOMPARE(::open("/dev/video0", O_RDWR | O_NONBLOCK), -1);
        QCOMPARE(errno, ENOENT);
        cv::VideoCapture again;
        QVERIFY(!openCamera(again));

        vcam_replug(0);
        QVERIFY(openCamera(again));
        QVERIFY(again.read(f));
        QCOMPARE(f.cols, 640);
    }

    void controlChannelPlugsAndUnplugs()
    {
        const QByteArray fifo = qgetenv("VEXLO_VCAM_CONTROL");
        QVERIFY(!fifo.isEmpty());
        auto send = [&](const char *cmd) {
            const int fd = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK);
            if (fd < 0)
                return false;
            const bool ok = ::write(fd, cmd, strlen(cmd)) == ssize_t(strlen(cmd));
            ::close(fd);
            return ok;
        };
        QTRY_VERIFY(send("unplug 1\n")); // the channel's reader starts with the library
        QTRY_VERIFY(!vcam_is_plugged(1));
        QCOMPARE(::open("/dev/video2", O_RDWR), -1);
        QVERIFY(send("replug 1\n"));
        QTRY_VERIFY(vcam_is_plugged(1));
        const int fd = ::open("/dev/video2", O_RDWR);
        QVERIFY(fd >= 0);
        ::close(fd);
    }

    void unpluggedDescriptorReportsErrors()
    {
        const int fd = ::open("/dev/video0", O_RDWR | O_NONBLOCK);
        QVERIFY(fd >= 0);
        pollfd p{fd, POLLIN, 0};
        QCOMPARE(::poll(&p, 1, 0), 0);
        vcam_unplug(0);
        p.revents = 0;
        QCOMPARE(::poll(&p, 1, 1000), 1);
        QVERIFY(p.revents & POLLERR);
        QVERIFY(p.revents & POLLHUP);
        v4l2_buffer b{};
        b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        b.memory = V4L2_MEMORY_MMAP;
        QCOMPARE(::ioctl(fd, VIDIOC_DQBUF, &b), -1);
        QCOMPARE(errno, ENODEV);
        vcam_replug(0);
        // The old descriptor stays dead after the device came back.
        v4l2_capability cap{};
        QCOMPARE(::ioctl(fd, VIDIOC_QUERYCAP, &cap), -1);
        QCOMPARE(errno, ENODEV);
        QCOMPARE(::close(fd), 0);
    }
};

QTEST_GUILESS_MAIN(TestVcamStream)
#include "tst_vcam_stream.moc"
