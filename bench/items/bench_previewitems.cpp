// Cost of handing one camera frame to the preview items: a 1920 x 1080 RGB32
// frame into a 900 x 506 item (the size of the preview area in the main
// window), which scales it on the CPU; and a frame the GPU stretches as it is.

#include "items/lmimageitem.h"
#include "items/lmimageitem2.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPainter>
#include <QQuickWindow>
#include <QSGRendererInterface>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

QQuickWindow *window = nullptr;
LmImageItem *glItem = nullptr;
LmImageItem2 *paintedItem = nullptr;

QImage cameraFrame(QSize size)
{
    QImage frame(size, QImage::Format_RGB32);
    QPainter p(&frame);
    QLinearGradient g(0, 0, size.width(), size.height());
    g.setColorAt(0, Qt::darkBlue);
    g.setColorAt(1, Qt::yellow);
    p.fillRect(frame.rect(), g);
    p.end();
    return frame;
}

// The queued repaint requests are served outside the timed part.
void drainEvents(benchmark::State &state)
{
    state.PauseTiming();
    QCoreApplication::processEvents();
    state.ResumeTiming();
}

void setImageGl(benchmark::State &state, bool smooth, QSize frameSize)
{
    glItem->setSmoothScale(smooth);
    const QImage frame = cameraFrame(frameSize);
    const int scaledBefore = glItem->cpuScaledFrames();
    for (auto _ : state) {
        glItem->setImage(frame);
        drainEvents(state);
    }
    state.counters["cpu_scaled"] = double(glItem->cpuScaledFrames() - scaledBefore);
    state.counters["fps_max"] = benchmark::Counter(double(state.iterations()),
                                                   benchmark::Counter::kIsRate);
}

void BM_LmImageItem_1080p_Smooth(benchmark::State &state)
{
    setImageGl(state, true, QSize(1920, 1080));
}

void BM_LmImageItem_1080p_Fast(benchmark::State &state)
{
    setImageGl(state, false, QSize(1920, 1080));
}

void BM_LmImageItem_640x360_GpuStretch(benchmark::State &state)
{
    setImageGl(state, true, QSize(640, 360));
}

void BM_LmImageItem2_1080p(benchmark::State &state)
{
    const QImage frame = cameraFrame(QSize(1920, 1080));
    for (auto _ : state) {
        paintedItem->setImage(frame);
        drainEvents(state);
    }
    state.counters["fps_max"] = benchmark::Counter(double(state.iterations()),
                                                   benchmark::Counter::kIsRate);
}

BENCHMARK(BM_LmImageItem_1080p_Smooth)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LmImageItem_1080p_Fast)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LmImageItem_640x360_GpuStretch)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_LmImageItem2_1080p)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QQuickWindow::setSceneGraphBackend(QSGRendererInterface::OpenGL);
    QGuiApplication app(argc, argv);

    auto owned = std::make_unique<QQuickWindow>();
    window = owned.get();
    window->resize(1820, 520);
    glItem = new LmImageItem(window->contentItem());
    glItem->setSize(QSizeF(900, 506));
    paintedItem = new LmImageItem2(window->contentItem());
    paintedItem->setPosition(QPointF(910, 0));
    paintedItem->setSize(QSizeF(900, 506));
    window->show();

    // Frames are dropped until the scene graph has made the renderer.
    QElapsedTimer waited;
    waited.start();
    while (!glItem->hasRenderer() && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (!glItem->hasRenderer()) {
        fprintf(stderr, "the preview item got no renderer; is a display available?\n");
        return 1;
    }

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
