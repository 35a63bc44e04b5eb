// Frame conversion of the capture thread: the program's routine beside the
// plain per-pixel loop and beside cv::cvtColor alone, at both preview sizes.
#include "camera/frameconvert.h"

#include <QImage>
#include <QTransform>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <benchmark/benchmark.h>

namespace {

cv::Mat makeFrame(int width, int height)
{
    cv::Mat frame(height, width, CV_8UC3);
    cv::randu(frame, cv::Scalar::all(0), cv::Scalar::all(256));
    return frame;
}

QImage perPixel(const cv::Mat &frame)
{
    QImage image(frame.cols, frame.rows, QImage::Format_RGB32);
    for (int y = 0; y < frame.rows; ++y) {
        const uchar *src = frame.data + size_t(y) * frame.step[0];
        auto *dst = reinterpret_cast<quint32 *>(image.scanLine(y));
        for (int x = 0; x < frame.cols; ++x) {
            const uchar b = src[3 * x], g = src[3 * x + 1], r = src[3 * x + 2];
            dst[x] = 0xFFu << 24 | quint32(r) << 16 | quint32(g) << 8 | b;
        }
    }
    return image;
}

void BM_PerPixelLoop(benchmark::State &state)
{
    const cv::Mat frame = makeFrame(int(state.range(0)), int(state.range(1)));
    for (auto _ : state) {
        QImage image = perPixel(frame);
        benchmark::DoNotOptimize(image.constBits());
    }
}

void BM_CvtColorAlone(benchmark::State &state)
{
    const cv::Mat frame = makeFrame(int(state.range(0)), int(state.range(1)));
    cv::Mat target(frame.rows, frame.cols, CV_8UC4);
    for (auto _ : state) {
        cv::cvtColor(frame, target, cv::COLOR_BGR2BGRA);
        benchmark::DoNotOptimize(target.data);
    }
}

void BM_FrameToImage(benchmark::State &state)
{
    const cv::Mat frame = makeFrame(int(state.range(0)), int(state.range(1)));
    const int rotation = int(state.range(2));
    for (auto _ : state) {
        QImage image = frameToImage(frame, rotation);
        benchmark::DoNotOptimize(image.constBits());
    }
}

// A quarter turn done with Qt's smooth transform after the conversion, as in
// the plain design; frameToImage uses cv::rotate instead (same pixels).
void BM_QuarterTurnByQTransform(benchmark::State &state)
{
    const cv::Mat frame = makeFrame(int(state.range(0)), int(state.range(1)));
    QTransform turn;
    turn.rotate(90);
    for (auto _ : state) {
        QImage turned = frameToImage(frame, 0).transformed(turn, Qt::SmoothTransformation);
        benchmark::DoNotOptimize(turned.constBits());
    }
}

void sizes(benchmark::internal::Benchmark *b)
{
    b->Args({1920, 1080})->Args({1280, 720})->Unit(benchmark::kMicrosecond);
}

void sizesAndTurns(benchmark::internal::Benchmark *b)
{
    b->Args({1920, 1080, 0})->Args({1920, 1080, 90})->Args({1280, 720, 0})->Args({1280, 720, 90});
    b->Unit(benchmark::kMicrosecond);
}

} // namespace

BENCHMARK(BM_PerPixelLoop)->Apply(sizes);
BENCHMARK(BM_CvtColorAlone)->Apply(sizes);
BENCHMARK(BM_FrameToImage)->Apply(sizesAndTurns);
BENCHMARK(BM_QuarterTurnByQTransform)->Apply(sizes);

BENCHMARK_MAIN();
