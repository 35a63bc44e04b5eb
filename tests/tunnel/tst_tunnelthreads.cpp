// Everything that talks to the camera at once: a sync and then a store on
// their worker threads, a read-back every 50 ms on this (the GUI) thread,
// single writes from a third thread and frame reads from a fourth. The
// recorded traffic must show every transaction and read-back whole. And each
// worker started again the moment it reports completion runs again.

#include "recordingcapture.h"

#include "tunnel/savetocamthread.h"
#include "tunnel/syncthread.h"

#include <QEventLoop>
#include <QTimer>
#include <QtTest>

#include <thread>

namespace {

bool isOpening(const CaptureCall &c)
{
    return c.isSet && c.prop == cv::CAP_PROP_FOCUS && (c.value == 89 || c.value == 249);
}

bool isClosing(const CaptureCall &c)
{
    return c.isSet && c.prop == cv::CAP_PROP_FOCUS && c.value == 0;
}

QString describe(const QVector<CaptureCall> &calls, int at)
{
    const int from = qMax(0, at - 4);
    return QStringLiteral("at call %1: %2").arg(at).arg(RecordingCapture::traceOf(calls.mid(from, 8)));
}

// Between an opening focus write (89 or 249) and the next focus 0 only the
// thread that opened may touch the camera, and it may not open again.
QStringList transactionViolations(const QVector<CaptureCall> &calls)
{
    QStringList found;
    Qt::HANDLE owner = nullptr;
    for (int i = 0; i < calls.size(); ++i) {
        const CaptureCall &c = calls.at(i);
        if (owner) {
            if (c.thread != owner)
                found << QStringLiteral("another thread inside a transaction ") + describe(calls, i);
            else if (isOpening(c))
                found << QStringLiteral("opened twice ") + describe(calls, i);
            if (isClosing(c))
                owner = nullptr;
        } else if (isOpening(c)) {
            owner = c.thread;
        } else if (isClosing(c)) {
            found << QStringLiteral("closed without opening ") + describe(calls, i);
        }
    }
    if (owner)
        found << QStringLiteral("left open");
    return found;
}

// A read-back is nine gets in a row from one thread: focus, then the eight values.
QStringList readbackViolations(const QVector<CaptureCall> &calls, int *readbacks)
{
    const int order[] = {28, 10, ParamTunnel::whiteBalanceProperty(), 33, 34, 12, 14, 11, 20};
    QStringList found;
    *readbacks = 0;
    for (int i = 0; i < calls.size(); ++i) {
        const CaptureCall &c = calls.at(i);
        if (c.isSet || c.prop != cv::CAP_PROP_FOCUS)
            continue;
        ++*readbacks;
        for (int k = 0; k < 9; ++k) {
            const int at = i + k;
            if (at >= calls.size() || calls.at(at).isSet || calls.at(at).prop != order[k]
                || calls.at(at).thread != c.thread) {
                found << QStringLiteral("broken read-back ") + describe(calls, at);
                break;
            }
        }
    }
    return found;
}

// The calls of one thread, cut wherever another thread's call came between.
QVector<QVector<CaptureCall>> runsOf(const QVector<CaptureCall> &calls, Qt::HANDLE thread)
{
    QVector<QVector<CaptureCall>> runs;
    bool inRun = false;
    for (const CaptureCall &c : calls) {
        if (c.thread != thread) {
            inRun = false;
            continue;
        }
        if (!inRun)
            runs.append(QVector<CaptureCall>());
        runs.last().append(c);
        inRun = true;
    }
    return runs;
}

QString withoutPauses(QString trace)
{
    static const QRegularExpression gap(QStringLiteral(R"( \+\d+ms | \?[\d.]+ms\? )"));
    return trace.replace(gap, QStringLiteral(" "));
}

// A worker whose thread stays inside run() after the work, until its
// receiver has tried to start it again, but only when the completion was
// already announced from inside run(): the widest window a loaded machine can
// open between the signal and the end of the thread.
template <class Worker>
class Lingering : public Worker
{
public:
    using Worker::Worker;
    void announced()
    {
        if (QThread::currentThread() == this)
            m_announcedInRun = m_inRun.load();
    }
    std::atomic<bool> restartTried{false};

protected:
    void run() override
    {
        m_inRun = true;
        m_announcedInRun = false;
        Worker::run();
        m_inRun = false;
        QElapsedTimer waited;
        waited.start();
        while (m_announcedInRun && !restartTried && waited.elapsed() < 10000)
            QThread::msleep(1);
    }

private:
    std::atomic<bool> m_inRun{false};
    std::atomic<bool> m_announcedInRun{false};
};

// Starts the worker, and again from its (queued) completion, as the backend
// does when the user asks twice in a row; true when both runs completed.
template <class Worker, class Signal>
bool runsTwice(TunnelFixture &f, Signal completed)
{
    Lingering<Worker> worker(f.link.get(), f.store.get(), &f.tunnel);
    QObject::connect(&worker, completed, &worker, [&] { worker.announced(); }, Qt::DirectConnection);
    int completions = 0;
    QEventLoop loop;
    QObject::connect(&worker, completed, &loop, [&] {
        if (++completions == 2) {
            loop.quit();
            return;
        }
        worker.start();
        worker.restartTried = true;
    }, Qt::QueuedConnection);
    worker.start();
    QTimer::singleShot(15000, &loop, &QEventLoop::quit);
    loop.exec();
    worker.wait();
    return completions >= 2;
}

} // namespace

class TestTunnelThreads : public QObject
{
    Q_OBJECT

private slots:
    void noInterleaving();
    void restartOnCompletion();
};

void TestTunnelThreads::restartOnCompletion()
{
    TunnelFixture f;
    const bool sync = runsTwice<SyncThread>(f, &SyncThread::syncCompeleted);
    const bool store = runsTwice<SaveToCamThread>(f, &SaveToCamThread::saveCompeleted);
    QVERIFY2(sync, "the sync thread did not run again");
    QVERIFY2(store, "the store thread did not run again");
}

void TestTunnelThreads::noInterleaving()
{
    TunnelFixture f;
    f.writeIni({{"aec_Mod", 1}, {"awb_value", 6}, {"color_temperature", 45}, {"skin_smoothing", true}});
    f.tunnel.loadFlags(*f.store);

    SyncThread sync(f.link.get(), f.store.get(), &f.tunnel);
    SaveToCamThread save(f.link.get(), f.store.get(), &f.tunnel);
    std::atomic<Qt::HANDLE> syncThread{nullptr};
    connect(&sync, &QThread::started, this, [&] { syncThread = QThread::currentThreadId(); }, Qt::DirectConnection);
    std::atomic<qint64> syncDoneNs{0};
    connect(&sync, &SyncThread::syncCompeleted, this, [&] { syncDoneNs = f.capture->nowNs(); }, Qt::DirectConnection);
    connect(&sync, &SyncThread::syncCompeleted, &save, [&] { save.start(); });
    // Delivered on this thread, as the backend gets it.
    QEventLoop untilSaved;
    bool finished = false;
    connect(&save, &SaveToCamThread::saveCompeleted, &untilSaved, [&] {
        finished = true;
        untilSaved.quit();
    }, Qt::QueuedConnection);

    std::atomic<bool> stop{false};

    // The capture thread: frames keep coming whatever the tunnel does.
    std::thread frames([&] {
        while (!stop) {
            f.link->grabFrame();
            QThread::msleep(5);
        }
    });

    // Single writes as the GUI's setters make them, from another thread. They
    // keep their values in a store of their own, so that what the sync sends
    // stays known.
    // The store is made on the writer thread, which has no event loop: its
    // deferred write-back then never runs on this thread behind the writer's
    // back.
    QTemporaryDir writerHome;
    qputenv("HOME", writerHome.path().toLocal8Bit());
    std::atomic<bool> writerReady{false};
    std::atomic<int> singleWrites{0};
    std::atomic<Qt::HANDLE> writerThread{nullptr};
    std::thread writer([&] {
        writerThread = QThread::currentThreadId();
        SettingsStore writerStore;
        writerReady = true;
        for (int i = 0; !stop; ++i) {
            switch (i % 7) {
            case 0: f.tunnel.setIso(i % 14, *f.link, writerStore); break;
            case 1: f.tunnel.setSaturation(i % 11, *f.link, writerStore); break;
            case 2: f.tunnel.setSkinSmoothing(i % 2, *f.link, writerStore); break;
            case 3: f.tunnel.setAperture(i % 38, *f.link, writerStore); break;
            case 4: f.tunnel.setBrightMode(i % 3 == 0, *f.link, writerStore); break;
            case 5: f.tunnel.setAecMode(i % 4, *f.link, writerStore); break;
            case 6: f.tunnel.setColorTemperature(i % 61, *f.link, writerStore); break;
            }
            ++singleWrites;
            QThread::msleep(15);
        }
    });
    while (!writerReady)
        QThread::msleep(1);
    qputenv("HOME", f.home.path().toLocal8Bit());

    // The debug overlay's read-back, every 50 ms, alternating the two forms.
    int tries = 0, refused = 0, waits = 0;
    QTimer readback;
    readback.setInterval(50);
    connect(&readback, &QTimer::timeout, this, [&] {
        QString text;
        if (tries++ % 2 == 0) {
            if (!f.tunnel.tryReadDebugInfo(*f.link, &text))
                ++refused;
        } else {
            text = f.tunnel.readDebugInfo(*f.link);
            ++waits;
        }
    });
    readback.start();

    sync.start();
    QTimer::singleShot(15000, &untilSaved, &QEventLoop::quit);
    untilSaved.exec();
    readback.stop();
    stop = true;
    writer.join();
    frames.join();
    QVERIFY(finished);
    QVERIFY(sync.wait(1000));
    QVERIFY(save.wait(1000));

    const QVector<CaptureCall> calls = f.capture->calls();
    QStringList problems = transactionViolations(calls);
    int readbacks = 0;
    problems << readbackViolations(calls, &readbacks);

    // The sync thread's own traffic: the priming pass and the full write, each
    // in one piece from its first direct write to its closing focus 0. (The
    // store thread may get the same thread id once the sync thread is gone.)
    QVector<CaptureCall> untilSyncDone;
    for (const CaptureCall &c : calls) {
        if (c.ns <= syncDoneNs)
            untilSyncDone.append(c);
    }
    const auto syncRuns = runsOf(untilSyncDone, syncThread);
    QVERIFY(!syncRuns.isEmpty());
    if (syncRuns.size() > 2)
        problems << QStringLiteral("sync traffic in %1 pieces").arg(syncRuns.size());
    QString syncTraffic;
    for (const auto &run : syncRuns) {
        if (!isClosing(run.last()))
            problems << QStringLiteral("sync cut after ") + RecordingCapture::traceOf(run);
        syncTraffic += (syncTraffic.isEmpty() ? QString() : QStringLiteral(" ")) + RecordingCapture::traceOf(run);
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    const QString prime = QStringLiteral("36:240 EXP:-3 28:89 14:1 10:1 32:1 WB:2800 13:100 12:1 20:1 35:1 33:1 34:1 "
                                         "27:600 22:64 WB:2800 28:0");
    const QString full = QStringLiteral("36:240 EXP:-3 28:89 14:0 10:0 32:0 WB:6500 13:0 12:5 11:5 20:12 35:-128 "
                                        "33:-128 34:-128 27:700 22:128 WB:6500 28:0");
    QCOMPARE(withoutPauses(syncTraffic), prime + QLatin1Char(' ') + full);

    // Every party got its turn, and frames were read while the sync ran.
    QVERIFY(singleWrites > 5);
    int writerTransactions = 0;
    for (const CaptureCall &c : calls)
        writerTransactions += c.thread == writerThread && isClosing(c);
    QVERIFY(writerTransactions > 3);
    QVERIFY(readbacks > 5);
    QVERIFY2(refused > 0, "a read-back that does not wait must give way to a running sync");
    QVERIFY(waits > 0);
    const qint64 syncStart = syncRuns.first().first().ns;
    const qint64 syncEnd = syncRuns.last().last().ns;
    int framesDuringSync = 0;
    for (qint64 t : f.capture->frameReadTimes())
        framesDuringSync += t > syncStart && t < syncEnd;
    QVERIFY2(framesDuringSync > 20, qPrintable(QString::number(framesDuringSync)));
}

QTEST_GUILESS_MAIN(TestTunnelThreads)
#include "tst_tunnelthreads.moc"
