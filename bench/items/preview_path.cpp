// Capture-to-screen cost of the preview: frames read from camera 0 on a thread
// of their own (as the capture thread does), queued to the GUI thread and
// handed to an LmImageItem of 900 x 506 in a window, for a fixed time. Prints
// frames captured, frames the window presented, and the process's CPU time
// per captured frame. Meant to run against the virtual camera:
//
//   LD_PRELOAD=build/tools/vcam/libvexlo-vcam.so
//   xvfb-run -a -s "-screen 0 1920x1080x24" build/bench/items/preview_path [seconds]
//
// (both on one command line). With a second argument "mjpg" the frames are read
// through a capture object of its own that asks for MJPG (a USB 2.0 camera gives
// 1920 x 1080 YUYV at 5 frames per second only); otherwise through CameraLink.

#include "camera/cameralink.h"
#include "camera/devicesource.h"
#include "camera/frameconvert.h"
#include "items/lmimageitem.h"

#include <opencv2/core/mat.hpp>
#include <opencv2/videoio.hpp>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <thread>

namespace {
double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}
} // namespace

int main(int argc, char **argv)
{
    QQuickWindow::setSceneGraphBackend(QSGRendererInterface::OpenGL);
    QGuiApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;

    const bool mjpg = argc > 2 && QByteArray(argv[2]) == "mjpg";
    CameraLink link;
    cv::VideoCapture own;
    if (mjpg) {
        own.open(0, cv::CAP_V4L2);
        own.set(cv::CAP_PROP_FOURCC, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'));
        own.set(cv::CAP_PROP_FRAME_WIDTH, 1920);
        own.set(cv::CAP_PROP_FRAME_HEIGHT, 1080);
        own.set(cv::CAP_PROP_FPS, 30);
    }
    if (mjpg ? !own.isOpened() : !link.camOpen(0, {3, 1920, 4, 1080, 5, 30})) {
        std::fprintf(stderr, "camera 0 did not open\n");
        return 1;
    }
    const auto grab = [&]() -> QImage {
        if (!mjpg)
            return link.grabFrame();
        cv::Mat m;
        own.read(m);
        return frameToImage(m, 0);
    };

    QQuickWindow window;
    window.resize(900, 506);
    auto *item = new LmImageItem(window.contentItem());
    item->setSize(QSizeF(900, 506));
    window.show();

    std::atomic<bool> running{true};
    std::atomic<bool> measuring{false};
    std::atomic<int> captured{0};
    std::thread capture([&] {
        while (running) {
            const QImage frame = grab();
            if (frame.width() < 1)
                continue;
            if (measuring)
                captured.fetch_add(1);
            QMetaObject::invokeMethod(item, [item, frame] { item->setImage(frame); },
                                      Qt::QueuedConnection);
        }
    });

    int presented = 0;
    QObject::connect(&window, &QQuickWindow::frameSwapped, &window,
                     [&] {
                         if (measuring)
                             ++presented;
                     },
                     Qt::DirectConnection);

    double cpuStart = 0;
    QElapsedTimer wall;
    // Two seconds to settle (renderer created, stream running), then measure.
    QTimer::singleShot(2000, [&] {
        cpuStart = processCpuSeconds();
        wall.start();
        measuring = true;
    });
    QTimer::singleShot((2 + seconds) * 1000, [&] {
        measuring = false;
        const double cpu = processCpuSeconds() - cpuStart;
        const double secs = wall.elapsed() / 1000.0;
        const int n = captured.load();
        std::printf("seconds %.2f  captured %d (%.1f fps)  presented %d (%.1f fps)  "
                    "cpu %.2f s (%.1f%% of one core)  cpu/frame %.2f ms  cpu-scaled %d\n",
                    secs, n, n / secs, presented, presented / secs, cpu, 100 * cpu / secs,
                    n ? 1000 * cpu / n : 0.0, item->cpuScaledFrames());
        QCoreApplication::quit();
    });

    const int rc = app.exec();
    running = false;
    capture.join();
    if (mjpg)
        own.release();
    else
        link.camClose();
    return rc;
}
