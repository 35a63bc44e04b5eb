// Stress, soak and bad-input runs of the program on the virtual camera (linked
// in, so no LD_PRELOAD is needed; the sanitizer builds run it as they are).
//
//   bench_stress stress [seconds]   random use through the backend on two cameras
//   bench_stress soak [seconds]     streaming plus one write a second; memory and
//                                   threads sampled
//   bench_stress badcamera [seconds] a healthy stream, then that long mixed frame
//                                   faults at 1080p30: memory, CPU per frame,
//                                   bad frames per kind, prompts; then 8 s of
//                                   empty frames and the time the picture
//                                   takes to come back
//   bench_stress badinput <vexlo-tuner> <libvexlo-vcam.so> [count]
//                                   the program's real start-up against broken
//                                   INI files and unwritable homes
//
// Figures go to standard output, one "name: value" a line; the exit code is 0
// only when every figure is within its limit. A watchdog ends a run that hangs
// with exit code 3, after printing every thread's stack if gdb is installed.
// bench/stress/run.sh runs them all in the normal and sanitizer builds.

#include "backend/devicewatcher.h"
#include "backend/qmldata.h"
#include "camera/cameralink.h"

#include "vcam_control.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QMetaProperty>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <random>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

void say(const char *name, const QString &value)
{
    std::printf("%-34s %s\n", (QByteArray(name) + ':').constData(), qPrintable(value));
    std::fflush(stdout);
}

void say(const char *name, double value, int decimals = 0)
{
    say(name, QString::number(value, 'f', decimals));
}

qint64 msSince(Clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// A scratch folder for the run's home, store and trace files.
QString makeScratch()
{
    const QByteArray base = qgetenv("TMPDIR").isEmpty() ? QByteArray("/tmp") : qgetenv("TMPDIR");
    QByteArray templ = base + "/vexlo-stress-XXXXXX";
    if (!mkdtemp(templ.data()))
        std::abort();
    return QString::fromLocal8Bit(templ);
}

void dumpStacks()
{
    const QByteArray cmd = "gdb -p " + QByteArray::number(getpid())
        + " -batch -ex 'thread apply all bt 25' 2>/dev/null | grep -E '^(Thread|#)' | head -400";
    std::fflush(stdout);
    if (std::system("command -v gdb >/dev/null 2>&1") == 0 && std::system(cmd.constData()) != 0)
        std::printf("(no stacks)\n");
}

// Ends the process when the GUI thread stops beating, a prompt stays up too
// long, frames stop although the camera is open, or the run overruns.
class Watchdog
{
public:
    std::atomic<qint64> beatMs{0};
    std::atomic<qint64> oldestPromptMs{-1}; // when the oldest visible prompt came, or -1
    std::atomic<qint64> lastFrameMs{0};
    std::atomic<bool> cameraOpen{false};
    std::atomic<bool> done{false};

    Watchdog(Clock::time_point start, qint64 limitMs)
        : m_start(start)
        , m_thread([this, limitMs] { run(limitMs); })
    {
    }
    ~Watchdog()
    {
        done = true;
        m_thread.join();
    }
    qint64 now() const { return msSince(m_start); }

private:
    void run(qint64 limitMs)
    {
        while (!done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            const qint64 t = now();
            const qint64 prompt = oldestPromptMs;
            const char *why = nullptr;
            if (t - beatMs > m_patienceMs)
                why = "the GUI thread stopped (VEXLO_STRESS_PATIENCE_S)";
            else if (prompt >= 0 && t - prompt > 2 * m_patienceMs)
                why = "a prompt stayed up (twice VEXLO_STRESS_PATIENCE_S)";
            else if (cameraOpen && t - lastFrameMs > m_patienceMs)
                why = "no frame with the camera open (VEXLO_STRESS_PATIENCE_S)";
            else if (t > limitMs)
                why = "the run overran its time";
            if (why) {
                say("watchdog", QStringLiteral("HANG: %1").arg(QLatin1String(why)));
                dumpStacks();
                std::fflush(stdout);
                _exit(3);
            }
        }
    }

    Clock::time_point m_start;
    // Sanitizer builds render and copy frames far more slowly, and a close
    // waits for the frame read in progress.
    const qint64 m_patienceMs = 1000LL * (qEnvironmentVariableIsSet("VEXLO_STRESS_PATIENCE_S")
                                              ? qEnvironmentVariableIntValue("VEXLO_STRESS_PATIENCE_S") : 10);
    std::thread m_thread;
};

// Answers the backend's prompts as a user would and counts them: Retry on the
// camera prompts after a moment, nothing on the busy boxes (they go by
// themselves).
class PromptAnswerer : public QObject
{
public:
    PromptAnswerer(Watchdog &dog, std::mt19937 &rng)
        : m_dog(dog)
        , m_rng(rng)
    {
        connect(&m_timer, &QTimer::timeout, this, &PromptAnswerer::look);
        m_timer.start(30);
    }

    std::map<QString, int> raised;
    int closed = 0;

    int open() const { return int(m_seen.size()); }

private:
    struct Seen
    {
        QPointer<QMessageBox> box;
        qint64 since;
        qint64 answerAt;
    };

    void look()
    {
        const qint64 now = m_dog.now();
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(w);
            if (!box || !box->isVisible())
                continue;
            bool known = false;
            for (const Seen &s : m_seen)
                known = known || s.box == box;
            if (!known) {
                ++raised[box->windowTitle()];
                m_seen.push_back({box, now, now + 300 + qint64(m_rng() % 1200)});
            }
        }
        qint64 oldest = -1;
        for (auto it = m_seen.begin(); it != m_seen.end();) {
            if (!it->box || !it->box->isVisible()) {
                ++closed;
                it = m_seen.erase(it);
                continue;
            }
            if (now >= it->answerAt) {
                if (QAbstractButton *retry = it->box->button(QMessageBox::Retry)) {
                    it->answerAt = now + 1000;
                    retry->click(); // may run a new prompt's loop: the list is walked again next time
                    return;
                }
            }
            if (oldest < 0 || it->since < oldest)
                oldest = it->since;
            ++it;
        }
        m_dog.oldestPromptMs = oldest;
    }

    Watchdog &m_dog;
    std::mt19937 &m_rng;
    QTimer m_timer;
    std::vector<Seen> m_seen;
};

// The integer and boolean parameters of the tuning column, with the number of
// values each takes (from its list where it has one).
struct Param
{
    const char *name;
    const char *list; // property holding the value list, or nullptr
    int count;        // values when there is no list
};
const Param Params[] = {
    {"afdIndex", nullptr, 4},         {"aecIndex", nullptr, 2},
    {"apertureIndex", "apertureList", 0}, {"exposureIndex", "exposureList", 0},
    {"isoIndex", "isoList", 0},       {"evIndex", "evList", 0},
    {"saturationIndex", nullptr, 11}, {"contrastIndex", nullptr, 11},
    {"sharpnessIndex", nullptr, 37},  {"warmnessIndex", "warmnessList", 0},
    {"mceRindex", "mceList", 0},      {"mceGindex", "mceList", 0},
    {"mceBindex", "mceList", 0},      {"awbIndex", nullptr, 2},
    {"sceIndex", nullptr, 8},         {"colorTemperatureIndex", "colorTemperatureList", 0},
    {"skinSwitch", nullptr, 2},       {"brightSwitch", nullptr, 2},
};

void writeRandomParam(QmlData &b, std::mt19937 &rng)
{
    const Param &p = Params[rng() % (sizeof Params / sizeof Params[0])];
    int count = p.count;
    if (p.list)
        count = b.property(p.list).toStringList().size();
    if (count < 1)
        return;
    const int v = int(rng() % unsigned(count));
    if (b.property(p.name).type() == QVariant::Bool)
        b.setProperty(p.name, v != 0);
    else
        b.setProperty(p.name, v);
}

// Transactions that overlap: a focus 89 while the selector is already open, in
// the virtual camera's trace.
int interleavedTransactions(const QString &tracePath)
{
    QFile f(tracePath);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    std::map<QByteArray, bool> open;
    int overlaps = 0;
    while (!f.atEnd()) {
        const QByteArray line = f.readLine();
        const QList<QByteArray> w = line.simplified().split(' ');
        if (w.size() < 3)
            continue;
        const QByteArray &cam = w[1];
        const QByteArray rest = w.mid(2).join(' ');
        if (rest == "selector open") {
            overlaps += open[cam];
            open[cam] = true;
        } else if (rest == "selector closed" || rest == "unplugged" || rest == "plugged in" || rest == "reset") {
            open[cam] = false;
        }
    }
    return overlaps;
}

long residentKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    f.open(QIODevice::ReadOnly);
    long rss = 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            rss = line.mid(6).trimmed().split(' ').value(0).toLong();
    return rss;
}

int threadCount()
{
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

// Sets up the home, store and trace of a backend run; before QApplication so
// that the virtual camera reads them at its first use.
QString prepareBackendRun(const char *nodes)
{
    const QString scratch = makeScratch();
    QDir(scratch).mkpath(QStringLiteral("home/Vexlo"));
    qputenv("HOME", (scratch + QStringLiteral("/home")).toLocal8Bit());
    qputenv("VEXLO_VCAM_NODES", nodes);
    qputenv("VEXLO_VCAM_STORE", (scratch + QStringLiteral("/vcam.store")).toLocal8Bit());
    qputenv("VEXLO_VCAM_TRACE", (scratch + QStringLiteral("/vcam.trace")).toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return scratch;
}

bool startBackend(QmlData &b, Watchdog &dog, long &frames)
{
    b.setFrameSink([&](const QImage &) {
        ++frames;
        dog.lastFrameMs = dog.now();
    });
    if (b.getCamDevs() < 1)
        return false;
    b.initCameraParams();
    if (!b.startCaptureTimer())
        return false;
    b.setUiReady(true);
    return true;
}

// ---------------------------------------------------------------------------

int runStress(int argc, char **argv, int seconds)
{
    const QString scratch = prepareBackendRun("0,2");
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false); // no main window here: a closing prompt is the last one
    const auto start = Clock::now();
    Watchdog dog(start, (seconds + 120) * 1000LL);
    const unsigned seed = qEnvironmentVariableIsSet("VEXLO_STRESS_SEED")
        ? unsigned(qEnvironmentVariableIntValue("VEXLO_STRESS_SEED")) : unsigned(std::random_device()());
    std::printf("seed %u (VEXLO_STRESS_SEED repeats a run)\n", seed);
    std::mt19937 rng(seed);

    QTimer beat;
    QObject::connect(&beat, &QTimer::timeout, [&] { dog.beatMs = dog.now(); });
    beat.start(100);

    long frames = 0;
    auto *backend = new QmlData; // the platform's device watcher: udev through the virtual camera
    QmlData &b = *backend;
    b.setQuitHandler([] { say("error", QStringLiteral("the backend asked to quit")); });
    if (!startBackend(b, dog, frames)) {
        say("error", QStringLiteral("no virtual camera"));
        return 1;
    }
    b.setDebugVisible(true); // the once-a-second read-back
    int readBacks = 0;
    QObject::connect(&b, &QmlData::debugInfoChanged, [&] { ++readBacks; });

    PromptAnswerer answerer(dog, rng);

    // Unplugs come from their own thread, as from the control FIFO: at random
    // moments, and soon after a sync, restore or store begins when asked.
    std::atomic<bool> stopPlugging{false};
    std::atomic<int> currentNode{0};
    std::atomic<qint64> unplugAt{-1};
    std::atomic<int> inSync{0}, inStore{0};
    std::atomic<int> unplugs{0}, duringSync{0}, duringStore{0};
    std::thread plugger([&, plugSeed = unsigned(rng())] {
        std::mt19937 prng(plugSeed);
        qint64 next = dog.now() + 2000 + qint64(prng() % 3000);
        while (!stopPlugging) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            const qint64 asked = unplugAt;
            if (dog.now() < next && !(asked >= 0 && dog.now() >= asked))
                continue;
            unplugAt = -1;
            int cam = prng() % 2;
            for (int k = 0; k < vcam_camera_count(); ++k)
                if (vcam_node(k) == currentNode && prng() % 4)
                    cam = k;
            duringSync += inSync.load() > 0;
            duringStore += inStore.load() > 0;
            vcam_unplug(cam);
            ++unplugs;
            std::this_thread::sleep_for(std::chrono::milliseconds(150 + prng() % 1800));
            vcam_replug(cam);
            next = dog.now() + 1500 + qint64(prng() % 3500);
        }
    });

    std::map<QString, int> done;
    auto maybeUnplugSoon = [&] {
        if (rng() % 2)
            unplugAt = dog.now() + 20 + qint64(rng() % 500);
    };
    QTimer action;
    QObject::connect(&action, &QTimer::timeout, [&] {
        action.setInterval(60 + int(rng() % 200));
        if (QApplication::activeModalWidget())
            return; // the window takes no input under a prompt
        const unsigned r = rng() % 100;
        if (r < 55) {
            writeRandomParam(b, rng);
            ++done["single writes"];
        } else if (r < 61) {
            maybeUnplugSoon();
            ++inSync;
            b.showSyncBox();
            --inSync;
            ++done["syncs"];
        } else if (r < 65) {
            maybeUnplugSoon();
            ++inSync;
            b.restoreDefaultSettings();
            --inSync;
            ++done["restores"];
        } else if (r < 71) {
            maybeUnplugSoon();
            ++inStore;
            b.saveParamsToCam();
            --inStore;
            ++done["stores"];
        } else if (r < 77) {
            const int sizes = b.previewSizeList().size();
            b.setPreviewSizeIndex(rng() % 2 ? 0 : int(rng() % unsigned(std::max(1, sizes))));
            ++done["preview-size switches"];
        } else if (r < 83) {
            const int cams = b.cameraNames().size();
            if (cams > 1) {
                b.setCameraIndex(int(rng() % unsigned(cams)));
                ++done["camera switches"];
            }
        } else if (r < 93) {
            b.rotateDisplay(rng() % 2);
            ++done["rotations"];
        }
        currentNode = b.cameraLink()->deviceIdAt(b.cameraIndex());
        dog.cameraOpen = b.cameraLink()->isOpened();
    });
    action.start(100);

    long framesInRun = 0;
    QTimer::singleShot(seconds * 1000, [&] {
        action.stop();
        framesInRun = frames;
        stopPlugging = true;
    });
    // Then every camera back, every prompt gone and frames flowing again
    // (a frame after the calm began; sanitizer builds stream slowly).
    qint64 calmSince = -1;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        dog.cameraOpen = b.cameraLink()->isOpened();
        if (!stopPlugging)
            return;
        const qint64 now = dog.now();
        if (answerer.open() || !b.cameraLink()->isOpened())
            calmSince = -1;
        else if (calmSince < 0)
            calmSince = now;
        const bool settled = calmSince >= 0 && now - calmSince > 2000 && dog.lastFrameMs > calmSince;
        if (settled || now > seconds * 1000LL + 40000)
            app.quit();
    });
    check.start(200);
    app.exec();
    stopPlugging = true;
    plugger.join();
    const double runSeconds = seconds;
    const bool streaming = calmSince >= 0 && dog.lastFrameMs > calmSince;

    say("duration (s)", runSeconds);
    say("frames delivered per second", framesInRun / runSeconds, 1);
    say("frames made by the cameras", double(vcam_frames_delivered(0) + vcam_frames_delivered(1)));
    for (const auto &d : done)
        say(d.first.toLatin1().constData(), d.second);
    say("read-backs shown", readBacks);
    say("unplugs", unplugs.load());
    say("unplugs during a sync or restore", duringSync.load());
    say("unplugs during a store", duringStore.load());
    int raised = 0;
    for (const auto &p : answerer.raised) {
        raised += p.second;
        say(("prompts raised: " + p.first).toLatin1().constData(), p.second);
    }
    say("prompts raised", raised);
    say("prompts closed", answerer.closed);
    say("prompts still up", answerer.open());
    const int violations = vcam_violations(0) + vcam_violations(1);
    say("protocol violations", violations);
    for (int k = 0; k < VCAM_V_COUNT; ++k)
        if (const int n = vcam_violation_count(0, k) + vcam_violation_count(1, k))
            say(vcam_violation_name(k), n);
    const int overlaps = interleavedTransactions(scratch + QStringLiteral("/vcam.trace"));
    say("interleaved transactions", overlaps);
    say("streaming at the end", streaming ? QStringLiteral("yes") : QStringLiteral("no"));

    delete backend;
    dog.done = true;
    const bool pass = violations == 0 && overlaps == 0 && streaming && answerer.open() == 0 && framesInRun > 0;
    say("result", pass ? QStringLiteral("PASS") : QStringLiteral("FAIL"));
    if (pass)
        QDir(scratch).removeRecursively();
    return pass ? 0 : 1;
}

// ---------------------------------------------------------------------------

int runSoak(int argc, char **argv, int seconds)
{
    const QString scratch = prepareBackendRun("0");
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false); // no main window here: a closing prompt is the last one
    const auto start = Clock::now();
    Watchdog dog(start, (seconds + 60) * 1000LL);
    std::mt19937 rng(1);
    QTimer beat;
    QObject::connect(&beat, &QTimer::timeout, [&] { dog.beatMs = dog.now(); });
    beat.start(100);

    long frames = 0;
    auto *backend = new QmlData;
    if (!startBackend(*backend, dog, frames)) {
        say("error", QStringLiteral("no virtual camera"));
        return 1;
    }
    dog.cameraOpen = true;
    QTimer write;
    QObject::connect(&write, &QTimer::timeout, [&] { writeRandomParam(*backend, rng); });
    write.start(1000);

    // Warm-up: the first tenth of the run, at least 30 s.
    const int warmUp = std::max(30, seconds / 10);
    long rssWarm = 0, rssEnd = 0, rssMax = 0;
    int threadsWarm = 0, threadsEnd = 0;
    QTimer sample;
    QObject::connect(&sample, &QTimer::timeout, [&] {
        const qint64 t = dog.now() / 1000;
        const long rss = residentKb();
        const int threads = threadCount();
        if (t >= warmUp && !rssWarm) {
            rssWarm = rss;
            threadsWarm = threads;
        }
        if (rssWarm)
            rssMax = std::max(rssMax, rss);
        rssEnd = rss;
        threadsEnd = threads;
        if (t % 60 == 0)
            std::printf("  %4llds rss %ld kB threads %d frames %ld\n", (long long)t, rss, threads, frames);
        if (t >= seconds)
            app.quit();
    });
    sample.start(1000);
    app.exec();

    const double growthMb = (rssEnd - rssWarm) / 1024.0;
    say("duration (s)", seconds);
    say("frames delivered per second", double(frames) / seconds, 1);
    say("rss after warm-up (MB)", rssWarm / 1024.0, 1);
    say("rss at the end (MB)", rssEnd / 1024.0, 1);
    say("rss peak after warm-up (MB)", rssMax / 1024.0, 1);
    say("rss growth after warm-up (MB)", growthMb, 2);
    say("threads after warm-up", threadsWarm);
    say("thread growth after warm-up", threadsEnd - threadsWarm);
    delete backend;
    dog.done = true;
    const bool pass = growthMb < 5.0 && threadsEnd == threadsWarm && frames > 0;
    say("result", pass ? QStringLiteral("PASS") : QStringLiteral("FAIL"));
    QDir(scratch).removeRecursively();
    return pass ? 0 : 1;
}

// ---------------------------------------------------------------------------
// A misbehaving camera: every frame fault in turn, with good frames between.

double processCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

int runBadCamera(int argc, char **argv, int seconds)
{
    const QString scratch = prepareBackendRun("0");
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    const auto start = Clock::now();
    const int healthy = 15;
    Watchdog dog(start, (healthy + seconds + 60) * 1000LL);
    QTimer beat;
    QObject::connect(&beat, &QTimer::timeout, [&] { dog.beatMs = dog.now(); });
    beat.start(100);

    long frames = 0;
    auto *backend = new QmlData;
    backend->setDebugLog(true);
    if (!startBackend(*backend, dog, frames)) {
        say("error", QStringLiteral("no virtual camera"));
        return 1;
    }
    dog.cameraOpen = true;
    int prompts = 0;
    QTimer promptCheck;
    QObject::connect(&promptCheck, &QTimer::timeout, [&] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (qobject_cast<QMessageBox *>(w) && w->isVisible() && !w->property("counted").toBool()) {
                w->setProperty("counted", true);
                ++prompts;
            }
    });
    promptCheck.start(200);

    // Phase 0: healthy; phase 1: faults, one mode every 5 s.
    const char *const faults[] = {"bigdim:10", "trunc:5", "random:5", "zero:3", "zeroerr:3",
                                  "soi:5",     "othersize:5", "stall:5"};
    struct Phase {
        long rssPeakKb = 0;
        double cpuMs = 0;
        long cameraFrames = 0, shown = 0;
    } phase[3];
    int current = 0;
    double cpuAt = 0;
    long cameraAt = 0, shownAt = 0;
    auto endPhase = [&] {
        phase[current].cpuMs = processCpuMs() - cpuAt - (vcam_render_cpu_ns(0) / 1e6);
        phase[current].cameraFrames = vcam_frames_delivered(0) - cameraAt;
        phase[current].shown = frames - shownAt;
    };
    auto beginPhase = [&] {
        cpuAt = processCpuMs() - vcam_render_cpu_ns(0) / 1e6;
        cameraAt = vcam_frames_delivered(0);
        shownAt = frames;
    };
    long injectedAt = 0, injected = 0;
    const QString logPath = scratch + QStringLiteral("/home/Vexlo/debugLog.txt");
    qint64 logAtMixEnd = 0;
    qint64 returnStart = 0, returnMs = -1;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 t = dog.now() / 1000;
        phase[std::min(current, 1)].rssPeakKb = std::max(phase[std::min(current, 1)].rssPeakKb, residentKb());
        if (t == 3 && current == 0)
            beginPhase();
        if (t >= healthy && current == 0) {
            endPhase();
            current = 1;
            injectedAt = vcam_frame_faults_injected(0);
            beginPhase();
        }
        if (current == 1) {
            const int k = int((t - healthy) / 5) % int(sizeof faults / sizeof *faults);
            vcam_set_frame_fault(faults[k]);
        }
        if (t >= healthy + seconds && current == 1) {
            // Then only empty frames, long enough for a quiet reopen, and good ones again.
            endPhase();
            injected = vcam_frame_faults_injected(0) - injectedAt;
            logAtMixEnd = QFileInfo(logPath).size();
            current = 2;
            vcam_set_frame_fault("zero");
        }
        if (t >= healthy + seconds + 8 && current == 2) {
            current = 3;
            vcam_set_frame_fault("none");
            shownAt = frames;
            returnStart = dog.now();
        }
        if (current == 3 && dog.now() - returnStart > 3000)
            app.quit();
    });
    QTimer back; // how soon the first good frame shows
    QObject::connect(&back, &QTimer::timeout, [&] {
        if (current == 3 && frames > shownAt && returnMs < 0)
            returnMs = dog.now() - returnStart;
    });
    back.start(5);
    tick.start(250);
    app.exec();

    // The counts of the capture thread's last log line of the mixed faults
    // (it writes one a second at most, so the last second may be missing).
    QFile log(logPath);
    log.open(QIODevice::ReadOnly);
    QString counts;
    for (const QByteArray &line : log.read(logAtMixEnd).split('\n'))
        if (line.contains("bad frames skipped: "))
            counts = QString::fromUtf8(line.mid(line.indexOf("bad frames skipped: ") + 20));
    const double cpuHealthy = phase[0].cpuMs / std::max(1L, phase[0].cameraFrames);
    const double cpuFaults = phase[1].cpuMs / std::max(1L, phase[1].cameraFrames);
    say("healthy: camera frames, shown", QStringLiteral("%1, %2").arg(phase[0].cameraFrames).arg(phase[0].shown));
    say("faults: camera frames, shown", QStringLiteral("%1, %2").arg(phase[1].cameraFrames).arg(phase[1].shown));
    say("faults injected", double(injected));
    say("frames dropped per kind", counts);
    say("rss peak healthy (MB)", phase[0].rssPeakKb / 1024.0, 1);
    say("rss peak with faults (MB)", phase[1].rssPeakKb / 1024.0, 1);
    say("cpu per camera frame healthy (ms)", cpuHealthy, 2);
    say("cpu per camera frame faults (ms)", cpuFaults, 2);
    say("prompts", prompts);
    say("picture back after empty frames (ms)", double(returnMs));
    delete backend;
    dog.done = true;
    const bool pass = phase[1].rssPeakKb - phase[0].rssPeakKb < 50 * 1024 && prompts == 0 && phase[1].shown > 0
        && cpuFaults < 1.2 * cpuHealthy && returnMs >= 0 && returnMs < 1000;
    say("result", pass ? QStringLiteral("PASS") : QStringLiteral("FAIL"));
    QDir(scratch).removeRecursively();
    return pass ? 0 : 1;
}

// ---------------------------------------------------------------------------
// Bad input: INI files the program must survive.

struct Key
{
    const char *name;
    char type;     // 'i' int, 'b' bool, 's' string, 'x' an int whose stored values are not listed here
    int low, high; // values the program itself stores
};
const Key Keys[] = {
    {"camera_id", 'x', 0, 0},        {"preview_index", 'i', 0, 1},     {"aec_Mod", 'x', 0, 0},
    {"aperture_value", 'x', 0, 0},   {"exposure_time", 'x', 0, 0},     {"skin_smoothing", 'b', 0, 1},
    {"bright_mode", 'b', 0, 1},      {"sce_value", 'x', 0, 0},         {"iso_value", 'x', 0, 0},
    {"ev_value", 'x', 0, 0},         {"afd_value", 'x', 0, 0},         {"awb_value", 'x', 0, 0},
    {"warmness_value", 'i', -15, 15}, {"saturation_value", 'i', 0, 10}, {"contrast_value", 'i', 0, 10},
    {"sharpness_value", 'x', 0, 0},  {"uvc_mce_r", 'x', 0, 0},         {"uvc_mce_g", 'x', 0, 0},
    {"uvc_mce_b", 'x', 0, 0},        {"language", 's', 0, 1},          {"display_zoom", 'b', 0, 1},
    {"debug_log", 'b', 0, 1},        {"color_temperature", 'x', 0, 0},
};

QByteArray goodValue(const Key &k, std::mt19937 &rng)
{
    const int v = k.low + int(rng() % unsigned(k.high - k.low + 1));
    if (k.type == 'b')
        return v ? "true" : "false";
    if (k.type == 's')
        return v ? "zh_CN" : "en_US";
    return QByteArray::number(v);
}

const char *const Extremes[] = {"-2147483648", "2147483647", "-2147483649", "2147483648",
                                "9223372036854775807", "-9223372036854775808", "99999999999999999999999",
                                "0x7fffffff", "1e309", "-0", "nan", "", "true", "@Invalid()",
                                "@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x1)", "@ByteArray(x)", "\"\"", "1,2,3"};

// One INI of kind `kind`; `kept` gets the lines the program must not lose.
QByteArray makeIni(int kind, std::mt19937 &rng, std::map<QByteArray, QByteArray> &kept)
{
    QByteArray ini = "[General]\n";
    auto keepSome = [&](int n) {
        for (int i = 0; i < n; ++i) {
            const Key &k = Keys[rng() % (sizeof Keys / sizeof Keys[0])];
            if (k.type == 'x' || kept.count(k.name))
                continue;
            kept[k.name] = goodValue(k, rng);
            ini += QByteArray(k.name) + '=' + kept[k.name] + '\n';
        }
    };
    auto randomBytes = [&](int n) {
        QByteArray b(n, '\0');
        for (char &c : b)
            c = char(rng());
        return b;
    };
    switch (kind % 7) {
    case 0: // random bytes
        return randomBytes(int(rng() % 4096));
    case 1: { // a good file cut short at a random point
        keepSome(12);
        const int cut = int(rng() % unsigned(ini.size()));
        // Only lines wholly before the cut (and its newline) stay.
        std::map<QByteArray, QByteArray> whole;
        for (const QByteArray &line : ini.left(cut).split('\n').mid(0, ini.left(cut).count('\n')))
            if (line.contains('='))
                whole[line.left(line.indexOf('='))] = line.mid(line.indexOf('=') + 1);
        kept = whole;
        return ini.left(cut);
    }
    case 2: { // huge: good values, then megabytes of noise keys
        keepSome(8);
        ini += "[Noise]\n";
        const int lines = 100000 + int(rng() % 100000);
        for (int i = 0; i < lines; ++i)
            ini += "k" + QByteArray::number(i) + '=' + QByteArray::number(uint(rng())) + '\n';
        return ini;
    }
    case 3: // every key at the limits of its type
        for (const Key &k : Keys)
            ini += QByteArray(k.name) + '=' + Extremes[rng() % (sizeof Extremes / sizeof Extremes[0])] + '\n';
        return ini;
    case 4: // unknown keys and sections beside good values
        keepSome(8);
        for (int i = 0; i < 20; ++i)
            ini += "unknown_" + QByteArray::number(uint(rng() % 1000)) + '=' + QByteArray::number(uint(rng())) + '\n';
        ini += "[Other]\nsaturation_value=7\n[General\nbroken line without equals\n=no key\n";
        return ini;
    case 5: // wrong types for some keys, good values for others
        keepSome(6);
        for (const Key &k : Keys)
            if (!kept.count(k.name) && rng() % 2)
                ini += QByteArray(k.name) + '=' + (k.type == 'b' ? "17" : k.type == 's' ? "@Invalid()" : "abc")
                    + '\n';
        return ini;
    default: // good values, random bytes appended in a section of their own
        keepSome(10);
        return ini + "[Junk]\n" + randomBytes(int(rng() % 2048)).replace('[', '(').replace('\n', ' ');
    }
}

bool handlesSigterm(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (pid <= 0 || !f.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("SigCgt:"))
            return line.mid(7).trimmed().toULongLong(nullptr, 16) & (1ULL << (SIGTERM - 1));
    return false;
}

int runBadInput(const QString &tuner, const QString &vcamLib, int count)
{
    const QString scratch = makeScratch();
    const unsigned seed = qEnvironmentVariableIsSet("VEXLO_STRESS_SEED")
        ? unsigned(qEnvironmentVariableIntValue("VEXLO_STRESS_SEED")) : 7u;
    std::atomic<int> started{0}, cleanExits{0}, lost{0}, cases{0};
    std::mutex failuresLock;
    std::map<QString, int> failures;
    auto fail = [&](const QString &what) {
        std::lock_guard<std::mutex> lk(failuresLock);
        ++failures[what];
    };

    auto runOnce = [&](const QString &home, const QString &label, const QString &iniPath,
                       const std::map<QByteArray, QByteArray> &kept) {
        ++cases;
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("LD_PRELOAD"), vcamLib);
        env.insert(QStringLiteral("VEXLO_VCAM_STORE"), scratch + QStringLiteral("/vcam.store"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
        env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("verify_asan_link_order=0"));
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(tuner, QStringList());
        if (!p.waitForStarted(5000)) {
            fail(label + QStringLiteral(": did not start"));
            return;
        }
        // Up (its quit-signal handler installed; start-up takes seconds on a
        // loaded machine) and still running a second later.
        QElapsedTimer wait;
        wait.start();
        while (!handlesSigterm(p.processId()) && p.state() == QProcess::Running && wait.elapsed() < 30000)
            p.waitForFinished(50);
        if (p.waitForFinished(1000) || !handlesSigterm(p.processId())) {
            fail(label + QStringLiteral(": ended by itself or never got up"));
            std::printf("%s\n", p.readAll().right(600).constData());
            p.kill();
            p.waitForFinished();
            return;
        }
        ++started;
        ::kill(pid_t(p.processId()), SIGTERM);
        if (!p.waitForFinished(15000)) {
            p.kill();
            p.waitForFinished();
            fail(label + QStringLiteral(": no exit on SIGTERM"));
            return;
        }
        if (p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
            ++cleanExits;
        else
            fail(label + QStringLiteral(": exit code %1").arg(p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1));
        if (iniPath.isEmpty())
            return;
        QSettings after(iniPath, QSettings::IniFormat);
        for (const auto &k : kept) {
            const QString now = after.value(QString::fromLatin1(k.first)).toString();
            if (now != QString::fromLatin1(k.second)) {
                ++lost;
                fail(label + QStringLiteral(": lost ") + QString::fromLatin1(k.first));
            }
        }
    };

    const char *const kinds[] = {"random bytes", "truncated", "huge", "limits", "unknown keys", "wrong types",
                                 "junk section"};
    // Several start-ups at once (VEXLO_STRESS_JOBS, 3 by default); each file
    // comes from its own seed, so a run repeats whatever the order.
    std::atomic<int> nextCase{0};
    auto worker = [&] {
        for (int i = nextCase++; i < count; i = nextCase++) {
            const QString home = scratch + QStringLiteral("/h%1").arg(i);
            QDir(home).mkpath(QStringLiteral("Vexlo"));
            std::mt19937 rng(seed + unsigned(i));
            std::map<QByteArray, QByteArray> kept;
            const QString ini = home + QStringLiteral("/Vexlo/config.ini");
            QFile f(ini);
            f.open(QIODevice::WriteOnly);
            f.write(makeIni(i, rng, kept));
            f.close();
            runOnce(home, QString::fromLatin1(kinds[i % 7]), ini, kept);
            QDir(home).removeRecursively();
            if ((i + 1) % 25 == 0)
                std::printf("  %d/%d files\n", i + 1, count), std::fflush(stdout);
        }
    };
    std::vector<std::thread> workers;
    for (int j = 0; j < std::max(1, qEnvironmentVariableIsSet("VEXLO_STRESS_JOBS") ? qEnvironmentVariableIntValue("VEXLO_STRESS_JOBS") : 3); ++j)
        workers.emplace_back(worker);
    for (std::thread &t : workers)
        t.join();
    // Homes where nothing can be written: a file, a path under a file, a
    // read-only file system, the folder or the INI taken by the wrong kind.
    QFile(scratch + QStringLiteral("/afile")).open(QIODevice::WriteOnly);
    const QString unwritable[] = {scratch + QStringLiteral("/afile"), scratch + QStringLiteral("/afile/home"),
                                  QStringLiteral("/proc/self"), QStringLiteral("/nonexistent/home")};
    for (const QString &home : unwritable)
        runOnce(home, QStringLiteral("unwritable home ") + home, QString(), {});
    QDir(scratch).mkpath(QStringLiteral("h-vexlo-file"));
    QFile(scratch + QStringLiteral("/h-vexlo-file/Vexlo")).open(QIODevice::WriteOnly);
    runOnce(scratch + QStringLiteral("/h-vexlo-file"), QStringLiteral("Vexlo is a file"), QString(), {});
    QDir(scratch).mkpath(QStringLiteral("h-ini-dir/Vexlo/config.ini"));
    runOnce(scratch + QStringLiteral("/h-ini-dir"), QStringLiteral("config.ini is a folder"), QString(), {});

    say("start-ups", cases.load());
    say("up, and still a second later", started.load());
    say("exit code 0 on SIGTERM", cleanExits.load());
    say("stored values lost", lost.load());
    for (const auto &f : failures)
        say(("failure: " + f.first).toLatin1().constData(), f.second);
    const bool pass = started == cases && cleanExits == cases && lost == 0;
    say("result", pass ? QStringLiteral("PASS") : QStringLiteral("FAIL"));
    QDir(scratch).removeRecursively();
    return pass ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (mode == "stress")
        return runStress(argc, argv, argc > 2 ? std::atoi(argv[2]) : 60);
    if (mode == "badcamera")
        return runBadCamera(argc, argv, argc > 2 ? std::atoi(argv[2]) : 60);
    if (mode == "soak")
        return runSoak(argc, argv, argc > 2 ? std::atoi(argv[2]) : 600);
    if (mode == "badinput" && argc > 3) {
        QCoreApplication app(argc, argv);
        return runBadInput(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                           argc > 4 ? std::atoi(argv[4]) : 210);
    }
    std::fprintf(stderr, "usage: %s stress [s] | soak [s] | badcamera [s] | badinput <vexlo-tuner> <libvexlo-vcam.so> [n]\n", argv[0]);
    return 2;
}
