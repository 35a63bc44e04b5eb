// The GUI thread and a slow camera.
//
// BM_BlockedGuiThread: memory while the GUI thread is blocked: 1080p frames
// arrive at 30 fps from a fake camera while the GUI thread sleeps for 2 s; the
// resident memory must grow by less than 50 MB.
//
// BM_GuiStallSlowControls: the GUI thread's longest stall while the virtual
// camera answers every control call after 2 s (reads after 1 s with the debug
// values on), for a slider change, a store, a sync from the menu, a snapshot
// and 5 s of debug values. Each must stay under 50 ms. Only the backend's
// public slots are used, so the same file measures older versions too.
//
// Run with QT_QPA_PLATFORM=offscreen (set by main).
#include "backendrig.h"

#include "vcam_control.h"

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

// The longest gap between ticks of a 5 ms timer of the GUI thread.
class StallMeter : public QObject
{
public:
    StallMeter()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            m_longest = std::max(m_longest, m_clock.restart());
        });
        m_timer.start(5);
    }
    void reset()
    {
        QCoreApplication::processEvents();
        m_clock.restart();
        m_longest = 0;
    }
    // Runs the event loop for `ms` (or until `done`), then gives the longest stall.
    qint64 after(int ms, const std::function<bool()> &done = {})
    {
        QElapsedTimer run;
        run.start();
        while (run.elapsed() < ms && !(done && done()))
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return std::max(m_longest, m_clock.elapsed()) - 5;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
};

void BM_GuiStallSlowControls(benchmark::State &state)
{
    QTemporaryDir home;
    useHome(home.path());
    qputenv("VEXLO_VCAM_STORE", (home.path() + QStringLiteral("/vcam.store")).toLocal8Bit());
    std::unique_ptr<QmlData> backend(new QmlData);
    backend->setFrameSink([](const QImage &) {});
    if (backend->getCamDevs() < 1) {
        state.SkipWithError("no virtual camera");
        return;
    }
    backend->initCameraParams();
    if (!backend->startCaptureTimer()) {
        state.SkipWithError("camera did not open");
        return;
    }
    StallMeter meter;
    meter.after(1000);
    vcam_set_ctrl_fault("none:2000", 0);
    const QString picture = home.path() + QStringLiteral("/shot.jpg");
    const struct {
        const char *name;
        std::function<void()> action;
        int runMs;
    } cases[] = {
        {"slider change", [&] { backend->setSaturationIndex(backend->saturationIndex() == 3 ? 4 : 3); }, 7000},
        {"store", [&] { backend->saveParamsToCam(); }, 5000},
        // The wait box closes by itself once the sync is done.
        {"sync", [&] { onNextBox([](QMessageBox *) {}), backend->showSyncBox(); }, 2000},
        {"snapshot", [&] { backend->saveSnapshot(picture); }, 2000},
        {"debug info on", [&] {
             vcam_set_ctrl_fault("none:1000", 1);
             backend->setDebugVisible(true);
         }, 5000},
    };
    for (auto _ : state) {
        std::printf("%-16s %s\n", "case", "longest GUI stall (ms), every control call 2 s");
        for (const auto &c : cases) {
            meter.reset();
            c.action();
            const qint64 stall = meter.after(c.runMs);
            std::printf("%-16s %lld\n", c.name, static_cast<long long>(stall));
            state.counters[c.name] = double(stall);
        }
        backend->setDebugVisible(false);
    }
    vcam_set_ctrl_fault("off", 0);
    backend->stopThreads();
}

} // namespace

BENCHMARK(BM_GuiStallSlowControls)->Iterations(1)->Unit(benchmark::kMillisecond);
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
