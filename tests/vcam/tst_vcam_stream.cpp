// Streaming through OpenCV's V4L2 backend, where the other suites do not look:
// unplugging under a waiting reader, and the control channel. (Enumeration,
// metadata nodes and opening as MJPG are the camera tests'; the frame rates
// are measured in the virtual camera's benchmark.)
#include "vcam_test_util.h"

#include <QElapsedTimer>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

using namespace vcamtest;

class TestVcamStream : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QCOMPARE(vcam_camera_count(), 2);
        vcam_reset(0);
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

};

QTEST_GUILESS_MAIN(TestVcamStream)
#include "tst_vcam_stream.moc"
