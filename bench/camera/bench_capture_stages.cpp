// The capture side stage by stage, on the camera's own frames: run it against
// the virtual camera (bench/frame_cost.sh does), e.g.
//
//   LD_PRELOAD=build/tools/vcam/libvexlo-vcam.so build/bench/camera/bench_capture_stages 1920 1080
//
// Reads frames from camera 0 as Motion-JPEG both ways the capture object can
// hand them over (converted to BGR by OpenCV, or compressed), then repeats each
// later stage on the frames kept: OpenCV's decode, the conversion to the RGB32
// image, the direct decode that replaces both, and the scaling into the 900 x 506
// preview (Qt's and the preview's own), and the image statistics that the
// statistics thread takes of a frame while the panel is shown. Prints per frame the CPU time of the calling thread, that of the
// whole process (work that OpenCV or Qt hand to their worker threads, and
// their workers' idle spinning) and wall time.
#include "camera/frameconvert.h"
#include "items/previewscale.h"
#include "stats/framestats.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace {

double cpuMs(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

void report(const char *stage, int count, const std::function<void(int)> &work)
{
    QElapsedTimer wall;
    wall.start();
    const double thread0 = cpuMs(CLOCK_THREAD_CPUTIME_ID);
    const double process0 = cpuMs(CLOCK_PROCESS_CPUTIME_ID);
    for (int i = 0; i < count; ++i)
        work(i);
    const double thread = (cpuMs(CLOCK_THREAD_CPUTIME_ID) - thread0) / count;
    const double process = (cpuMs(CLOCK_PROCESS_CPUTIME_ID) - process0) / count;
    std::printf("| %s | %.2f ms | %.2f ms | %.2f ms |\n", stage, thread, process,
                double(wall.nsecsElapsed()) / 1e6 / count);
}

bool openCamera(cv::VideoCapture &capture, int width, int height, bool compressed)
{
    if (!capture.open(0, cv::CAP_V4L2))
        return false;
    capture.set(cv::CAP_PROP_FOURCC, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'));
    capture.set(cv::CAP_PROP_FRAME_WIDTH, width);
    capture.set(cv::CAP_PROP_FRAME_HEIGHT, height);
    capture.set(cv::CAP_PROP_FPS, 30);
    if (compressed)
        capture.set(cv::CAP_PROP_CONVERT_RGB, 0);
    cv::Mat first;
    return capture.read(first);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int width = argc > 2 ? atoi(argv[1]) : 1920;
    const int height = argc > 2 ? atoi(argv[2]) : 1080;
    const int frames = 60;
    const QSize preview(900, 506);

    // Inputs are kept for the later stages; each result is dropped at once, as
    // in the program, which keeps one or two frames alive.
    std::vector<cv::Mat> raw(frames);
    std::vector<cv::Mat> bgr(frames);
    std::vector<QImage> images(frames);
    std::printf("capture side per frame, camera MJPG %dx%d, %d frames, preview %dx%d\n\n", width, height,
                frames, preview.width(), preview.height());
    std::printf("| stage | CPU, this thread | CPU, process | wall |\n|---|---|---|---|\n");
    {
        cv::VideoCapture capture;
        if (!openCamera(capture, width, height, false)) {
            std::fprintf(stderr, "camera 0 did not open\n");
            return 1;
        }
        report("read, OpenCV decodes to BGR (camera's encoding included)", frames, [&](int) {
            cv::Mat frame;
            capture.read(frame);
        });
    }
    {
        cv::VideoCapture capture;
        if (!openCamera(capture, width, height, true)) {
            std::fprintf(stderr, "camera 0 did not open compressed\n");
            return 1;
        }
        report("read, compressed (camera's encoding included)", frames,
               [&](int i) { capture.read(raw[size_t(i)]); });
    }
    for (int i = 0; i < frames; ++i)
        bgr[size_t(i)] = cv::imdecode(raw[size_t(i)], cv::IMREAD_COLOR);
    report("OpenCV decode to BGR", frames,
           [&](int i) { cv::Mat frame = cv::imdecode(raw[size_t(i)], cv::IMREAD_COLOR); });
    report("BGR to RGB32 image (frameToImage)", frames,
           [&](int i) { QImage image = frameToImage(bgr[size_t(i)], 0); });
    report("BGR to RGB32 image, quarter turn", frames,
           [&](int i) { QImage image = frameToImage(bgr[size_t(i)], 90); });
    report("direct decode to RGB32 image (jpegToImage)", frames, [&](int i) {
        QImage image = jpegToImage(raw[size_t(i)].data, raw[size_t(i)].total(), 0, QSize(width, height));
    });
    report("direct decode, quarter turn", frames, [&](int i) {
        QImage image = jpegToImage(raw[size_t(i)].data, raw[size_t(i)].total(), 90, QSize(width, height));
    });
    for (int i = 0; i < frames; ++i)
        images[size_t(i)] = jpegToImage(raw[size_t(i)].data, raw[size_t(i)].total(), 0, QSize(width, height));
    report("smooth scaling to the preview (QImage::scaled)", frames, [&](int i) {
        QImage shown = images[size_t(i)].scaled(preview, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    });
    report("the same pixels, the preview's own scaling (previewScaled)", frames,
           [&](int i) { QImage shown = previewScaled(images[size_t(i)], preview); });
    // Off the capture thread: the statistics thread's work for one frame it measures.
    report("image statistics, whole picture (statistics thread)", frames,
           [&](int i) { FrameStats::measure(images[size_t(i)], QRectF()); });
    report("image statistics with a region of a quarter of the picture", frames,
           [&](int i) { FrameStats::measure(images[size_t(i)], QRectF(0.25, 0.25, 0.5, 0.5)); });
    // What the capture thread does for a fitted preview: no more pixels decoded than shown.
    const int reduction = jpegReduction(QSize(width, height), preview);
    const QByteArray reducedName =
        QByteArray("direct decode for the preview (jpegToImage, 1/") + QByteArray::number(reduction) + " size)";
    for (int i = 0; i < frames; ++i)
        images[size_t(i)] = jpegToImage(raw[size_t(i)].data, raw[size_t(i)].total(), 0, QSize(width, height), nullptr,
                                        preview);
    report(reducedName.constData(), frames, [&](int i) {
        QImage image = jpegToImage(raw[size_t(i)].data, raw[size_t(i)].total(), 0, QSize(width, height), nullptr,
                                   preview);
    });
    report("the preview's scaling of that", frames,
           [&](int i) { QImage shown = previewScaled(images[size_t(i)], preview); });
    return 0;
}
