// The GUI thread and a slow camera.
//
// BM_BlockedGuiThread: memory while the GUI thread is blocked: 1080p frames
// arrive at 30 fps from a fake camera while the GUI thread sleeps for 2 s; the
// resident memory must grow by less than 50 MB.
//
// BM_GuiStallSlowControls: the GUI thread's longest stall while the virtual
// camera answers every control call after 2 s (reads after 1 s with the debug
// values on), for a slider change, a store, a sync from the menu, a snapshot,
// a preview-size change, a camera switch and a reopen (each of the last three
// asked right after a slider change, while its write waits for the camera) and
// 5 s of debug values. Each must stay under 50 ms. Only the backend's public
// slots are used, so the same file measures older versions too.
//
// BM_MenuAfterSliderChange: the real window (this program again, as a child)
// with every control call taking 2 s: the time from a click on the Saturation
// slider to the first frame that draws the Sync menu, opened by a click right
// after it. Must stay under 200 ms.
//
// Run with QT_QPA_PLATFORM=offscreen (set by main).
#include "backendrig.h"

#include "app/startup.h"

#include "vcam_control.h"

#include <QQuickItem>
#include <QQuickWindow>
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

// The calling thread's time on a CPU and waiting in a run queue for one, in ms (Linux).
struct ThreadTimes
{
    double cpuMs = 0, queuedMs = 0;
};
ThreadTimes threadTimes()
{
    std::ifstream stat("/proc/thread-self/schedstat");
    double cpuNs = 0, queuedNs = 0;
    stat >> cpuNs >> queuedNs;
    return {cpuNs / 1e6, queuedNs / 1e6};
}

// The longest gap between ticks of a 5 ms timer of the GUI thread, and how much of it the
// thread spent working (on a CPU) and waiting for a CPU (a loaded machine).
class StallMeter : public QObject
{
public:
    StallMeter()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 gap = m_clock.restart();
            const ThreadTimes now = threadTimes();
            if (gap > m_longest) {
                m_longest = gap;
                m_split = {now.cpuMs - m_last.cpuMs, now.queuedMs - m_last.queuedMs};
            }
            m_last = now;
        });
        m_timer.start(5);
    }
    void reset()
    {
        QCoreApplication::processEvents();
        m_clock.restart();
        m_last = threadTimes();
        m_longest = 0;
        m_split = {};
    }
    // The longest stall's time on a CPU and waiting for one.
    ThreadTimes split() const { return m_split; }
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
    ThreadTimes m_last, m_split;
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
    const auto cameraOpen = [&] { return backend->controlsIdle() && backend->cameraLink()->isOpened(); };
    backend->startCaptureTimer();
    StallMeter meter;
    meter.after(5000, cameraOpen);
    if (!cameraOpen() || backend->cameraNames().size() < 2) {
        state.SkipWithError("the two virtual cameras did not open");
        return;
    }
    meter.after(1000);
    backend->setUiReady(true); // camera and size choices reopen from now on
    vcam_set_ctrl_fault("none:2000", 0);
    const QString picture = home.path() + QStringLiteral("/shot.jpg");
    const auto slider = [&] { backend->setSaturationIndex(backend->saturationIndex() == 3 ? 4 : 3); };
    // A slider change whose transaction is under way, its selector open (the event loop runs meanwhile).
    const auto stalledWrite = [&] {
        slider();
        QElapsedTimer wait;
        wait.start();
        while (!vcam_selector_open(backend->cameraIndex()) && wait.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    };
    const struct {
        const char *name;
        std::function<void()> action;
        int runMs;
        std::function<bool()> done; // ends the case sooner
    } cases[] = {
        {"slider change", slider, 7000, {}},
        // The wait box closes by itself once the sync is done. With the panel's values
        // sent, the store does not ask first.
        {"sync", [&] { onNextBox([](QMessageBox *) {}), backend->showSyncBox(); }, 2000, {}},
        {"store", [&] { backend->saveParamsToCam(); }, 5000, {}},
        {"snapshot", [&] { backend->saveSnapshot(picture); }, 2000, {}},
        {"preview size", [&] { stalledWrite(), backend->setPreviewSizeIndex(1 - backend->previewSizeIndex()); },
         10000, cameraOpen},
        {"camera switch", [&] { stalledWrite(), backend->setCameraIndex(1 - backend->cameraIndex()); }, 10000,
         cameraOpen},
        // A failed frame read with the camera still listed: opened afresh.
        {"reopen", [&] { stalledWrite(), backend->onCaptureFailed(); }, 10000, cameraOpen},
        {"debug info on", [&] {
             vcam_set_ctrl_fault("none:1000", 1);
             backend->setDebugVisible(true);
         }, 5000, {}},
    };
    for (auto _ : state) {
        std::printf("%-16s %s\n", "case", "longest GUI stall (ms), every control call 2 s");
        for (const auto &c : cases) {
            meter.reset();
            c.action();
            const qint64 stall = meter.after(c.runMs, c.done);
            std::printf("%-16s %lld (on a CPU %.0f, waiting for one %.0f)\n", c.name, static_cast<long long>(stall),
                        meter.split().cpuMs, meter.split().queuedMs);
            state.counters[c.name] = double(stall);
        }
        backend->setDebugVisible(false);
    }
    vcam_set_ctrl_fault("off", 0);
    backend->stopThreads();
}

QQuickItem *findItem(QQuickItem *root, const std::function<bool(QQuickItem *)> &match)
{
    if (!root || !root->isVisible())
        return nullptr;
    if (match(root))
        return root;
    for (QQuickItem *child : root->childItems()) {
        if (QQuickItem *found = findItem(child, match))
            return found;
    }
    return nullptr;
}

// The child: the real start-up; prints "menu drawn after N ms" (or why not).
void measureMenu(QmlData *backend)
{
    const auto give = [](const char *line, int code) {
        std::printf("%s\n", line);
        std::fflush(stdout);
        QCoreApplication::exit(code);
    };
    auto *window = qobject_cast<QQuickWindow *>(QGuiApplication::topLevelWindows().value(0));
    if (!window || !QTest::qWaitForWindowExposed(window))
        return give("no window", 1);
    window->resize(1920, 1080); // every row in sight
    QTest::qWait(2000);         // the first frames
    QQuickItem *content = window->contentItem();
    QQuickItem *row = findItem(content, [](QQuickItem *i) { return i->property("title") == "Saturation"; });
    QQuickItem *slider = findItem(row, [](QQuickItem *i) { return i->metaObject()->indexOfProperty("newPosition") >= 0; });
    QQuickItem *entry = findItem(content, [](QQuickItem *i) {
        return i->inherits("QQuickMenuBarItem") && i->property("text") == "Sync";
    });
    QObject *menu = entry ? entry->property("menu").value<QObject *>() : nullptr;
    if (!slider || !menu)
        return give("no Saturation slider or Sync menu", 1);
    auto *handle = slider->property("handle").value<QQuickItem *>();
    const QPoint onTrack = slider->mapToScene(QPointF(handle->x() + 3 * handle->width(), slider->height() / 2)).toPoint();
    const QPoint onEntry = entry->mapToScene(QPointF(entry->width() / 2, entry->height() / 2)).toPoint();

    // Drawn: the first frame swapped after the menu became visible (on the render thread, if any).
    QElapsedTimer clock;
    std::atomic<bool> up{false};
    std::atomic<qint64> drawnAt{-1};
    QTimer poll; // the menu's visibility, looked at every millisecond
    QObject::connect(&poll, &QTimer::timeout, [&] { up = menu->property("visible").toBool(); });
    QObject::connect(
        window, &QQuickWindow::frameSwapped, window,
        [&] {
            if (up && drawnAt < 0)
                drawnAt = clock.elapsed();
        },
        Qt::DirectConnection);
    const int saturation = backend->saturationIndex();
    vcam_set_ctrl_fault("none:2000", 0);
    clock.start();
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, onTrack);
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, onEntry);
    up = menu->property("visible").toBool();
    poll.start(1);
    (void)QTest::qWaitFor([&] { return drawnAt >= 0; }, 20000);
    poll.stop();
    char line[80];
    std::snprintf(line, sizeof line, "menu drawn after %lld ms", static_cast<long long>(drawnAt.load()));
    if (backend->saturationIndex() == saturation)
        std::snprintf(line, sizeof line, "the slider click changed nothing");
    QTest::keyClick(window, Qt::Key_Escape);
    vcam_set_ctrl_fault("off", 0);
    (void)QTest::qWaitFor([&] { return backend->controlsIdle(); }, 20000);
    give(line, drawnAt >= 0 ? 0 : 1);
}

int runMenuChild(int argc, char **argv)
{
    setStartupObserver([](MyApplication &, QmlData *backend) {
        QTimer::singleShot(0, [backend] { measureMenu(backend); });
    });
    return runTuner(argc, argv);
}

void BM_MenuAfterSliderChange(benchmark::State &state)
{
    QTemporaryDir home;
    useHome(home.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("LANG"), QStringLiteral("en_US.UTF-8"));
    env.insert(QStringLiteral("VEXLO_VCAM_STORE"), home.filePath(QStringLiteral("camera.store")));
    double ms = -1;
    for (auto _ : state) {
        QProcess child;
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--menu")});
        child.waitForFinished(60000);
        const QString out = QString::fromLocal8Bit(child.readAll());
        const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("menu drawn after (-?\\d+) ms")).match(out);
        ms = m.hasMatch() ? m.captured(1).toDouble() : -1;
        std::printf("%-16s %s\n", "menu", qPrintable(m.hasMatch() ? m.captured(0) : out));
    }
    state.counters["menu_drawn_ms"] = ms;
}

} // namespace

BENCHMARK(BM_GuiStallSlowControls)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MenuAfterSliderChange)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlockedGuiThread)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--menu") == 0)
        return runMenuChild(argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("VEXLO_VCAM_NODES", "0,2"); // a second camera to switch to
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
