// Memory while the GUI thread is blocked: 1080p frames arrive at 30 fps from a
// fake camera while the GUI thread sleeps for 2 s (a long direct sync); the
// resident memory must grow by less than 50 MB. Run with QT_QPA_PLATFORM=offscreen.
#include "backendrig.h"

#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

namespace {

double residentMb()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            double kb = 0;
            status >> kb;
            return kb / 1024.0;
        }
        status.ignore(1 << 12, '\n');
    }
    return 0;
}

void BM_BlockedGuiThread(benchmark::State &state)
{
    QTemporaryDir home;
    useHome(home.path());
    FakeRig rig;
    rig.world->plug(0, QStringLiteral("Cam A"));
    rig.world->fps = 30;
    std::unique_ptr<QmlData> backend(rig.makeBackend());
    int shown = 0;
    backend->setFrameSink([&](const QImage &) { ++shown; });
    backend->getCamDevs();
    backend->initCameraParams();
    if (!backend->startCaptureTimer()) {
        state.SkipWithError("camera did not open");
        return;
    }
    // Warm up: allocations of the first frames settle.
    QElapsedTimer warm;
    warm.start();
    while (warm.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

    double growth = 0;
    int framesDuringBlock = 0;
    for (auto _ : state) {
        const double before = residentMb();
        const int readBefore = rig.world->framesRead;
        QThread::msleep(2000); // the GUI thread is blocked
        framesDuringBlock = rig.world->framesRead - readBefore;
        const double blocked = residentMb();
        for (int i = 0; i < 10; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        growth = std::max(blocked, residentMb()) - before;
    }
    state.counters["rss_growth_MB"] = growth;
    state.counters["frames_during_block"] = framesDuringBlock;
    state.counters["frames_shown"] = shown;
}

} // namespace

BENCHMARK(BM_BlockedGuiThread)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
