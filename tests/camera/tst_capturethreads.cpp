// The capture thread and the shared capture object under several threads:
// frames keep coming while other threads open, close and write, the capture
// object is never read closed or released under a user, transactions never
// interleave, frames never pile up, and the thread stops promptly.
#include "fakecapture.h"

#include "camera/cameralink.h"
#include "camera/capturethread.h"
#include "camera/devicesource.h"

#include <QElapsedTimer>
#include <QtTest>

#include <thread>

namespace {

class NoDevices : public DeviceSource
{
public:
    std::vector<DeviceRecord> list() override { return {}; }
};

struct Rig {
    FakeCapture *fake = new FakeCapture;
    CameraLink link{std::unique_ptr<cv::VideoCapture>(fake), std::make_unique<NoDevices>()};
};

const std::vector<int> Preview{3, 1280, 4, 720, 5, 30};

// Frames reach the GUI thread as queued deliveries. Qt's event queue is guarded
// by Qt's own mutex, which ThreadSanitizer cannot see in the uninstrumented Qt
// library, so under ThreadSanitizer the frames are taken on the capture thread
// instead: that build checks the program's own locks.
#if defined(__SANITIZE_THREAD__)
const Qt::ConnectionType FrameConnection = Qt::DirectConnection;
#else
const Qt::ConnectionType FrameConnection = Qt::AutoConnection;
#endif

// One register transaction as the tunnel runs it: focus 89, a pause, a write,
// focus 0.
void transaction(CameraLink &link, int pauseMs)
{
    CaptureSession session(link);
    if (!session.isOpened())
        return;
    session.set(cv::CAP_PROP_FOCUS, 89);
    std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    session.set(cv::CAP_PROP_GAIN, 5);
    session.set(cv::CAP_PROP_FOCUS, 0);
}

} // namespace

class TestCaptureThreads : public QObject
{
    Q_OBJECT

private slots:
    // Capture thread, GUI-like opener/writer, a worker with transactions and a
    // read-back thread, all on one capture object, for a few seconds.
    void stress()
    {
        Rig rig;
        rig.fake->readDelayMs = 2;
        rig.link.camOpen(0, Preview);

        CaptureThread capture(&rig.link);
        std::atomic<int> signalled{0};
        std::atomic<int> nullFrames{0};
        connect(
            &capture, &CaptureThread::onGetFrame, this,
            [&](const QImage &image) {
                if (image.isNull() || capture.takeNewestFrame().isNull())
                    ++nullFrames;
                ++signalled;
            },
            FrameConnection);
        capture.start();

        std::atomic<bool> done{false};
        std::thread opener([&] {
            int n = 0;
            while (!done) {
                rig.link.camClose();
                rig.link.camOpen(n++ % 2, Preview);
                rig.link.set(cv::CAP_PROP_BRIGHTNESS, n);
                rig.link.get(cv::CAP_PROP_GAIN);
                rig.link.setRotation((n % 4) * 90);
                std::this_thread::sleep_for(std::chrono::milliseconds(3));
                if (n % 7 == 0)
                    rig.link.camOpen(n % 3, Preview); // sometimes a missing index
            }
        });
        std::thread worker([&] {
            while (!done)
                transaction(rig.link, 5);
        });
        std::thread readBack([&] {
            while (!done) {
                CaptureSession session(rig.link, std::try_to_lock);
                if (session.isValid() && session.isOpened()) {
                    session.set(cv::CAP_PROP_FOCUS, 89);
                    session.get(cv::CAP_PROP_GAIN);
                    session.set(cv::CAP_PROP_FOCUS, 0);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });

        // The GUI thread also grabs snapshots meanwhile.
        QElapsedTimer clock;
        clock.start();
        int snapshots = 0;
        while (clock.elapsed() < 3000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            if (!rig.link.grabFrame().isNull())
                ++snapshots;
        }
        done = true;
        opener.join();
        worker.join();
        readBack.join();
        capture.stop();
        QVERIFY(capture.isFinished());
        QCoreApplication::processEvents();

        QCOMPARE(rig.fake->overlapsWithLifecycle.load(), 0);
        QCOMPARE(rig.fake->readsWhileClosed.load(), 0);
        QCOMPARE(rig.fake->concurrentReads.load(), 0);
        QCOMPARE(rig.fake->interleavedTransactions.load(), 0);
        QVERIFY2(rig.fake->opens.load() > 50, QByteArray::number(rig.fake->opens.load()));
        QVERIFY2(signalled.load() > 10, QByteArray::number(signalled.load()));
        QVERIFY(snapshots > 0);
        QCOMPARE(nullFrames.load(), 0);
    }

    // Frames keep coming while a long transaction holds the session.
    void framesDuringTransaction()
    {
        Rig rig;
        rig.link.camOpen(0, Preview);
        std::thread worker([&] { transaction(rig.link, 400); });
        QTest::qWait(50);
        const int before = rig.fake->reads.load();
        for (int i = 0; i < 5; ++i)
            QVERIFY(!rig.link.grabFrame().isNull());
        QCOMPARE(rig.fake->reads.load(), before + 5);
        worker.join();
    }

    // A close requested during a transaction waits for its end, and a frame
    // read requested meanwhile waits for the close (writers go first).
    void closeWaitsForTransaction()
    {
        Rig rig;
        rig.link.camOpen(0, Preview);
        std::atomic<bool> inSession{false};
        std::thread worker([&] {
            CaptureSession session(rig.link);
            session.set(cv::CAP_PROP_FOCUS, 89);
            inSession = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            session.set(cv::CAP_PROP_FOCUS, 0);
        });
        while (!inSession)
            std::this_thread::yield();
        QElapsedTimer clock;
        clock.start();
        rig.link.camClose();
        QVERIFY(clock.elapsed() >= 200);
        worker.join();
        QVERIFY(!rig.link.isOpened());
        QCOMPARE(rig.fake->overlapsWithLifecycle.load(), 0);
    }

    // No frame piles up when nobody takes them: one signal until the frame is
    // taken, then the next one.
    void noPileUp()
    {
        Rig rig;
        rig.link.camOpen(0, Preview);
        CaptureThread capture(&rig.link);
        std::atomic<int> signalled{0};
        connect(&capture, &CaptureThread::onGetFrame, &capture, [&] { ++signalled; }, Qt::DirectConnection);
        capture.start();

        QTRY_VERIFY_WITH_TIMEOUT(rig.fake->reads.load() > 20, 5000);
        QCOMPARE(signalled.load(), 1);
        QVERIFY(!capture.takeNewestFrame().isNull());
        QTRY_COMPARE_WITH_TIMEOUT(signalled.load(), 2, 5000);
        capture.stop();
    }

    // With the camera closed the thread sleeps, wakes when it opens and stops
    // at once when asked.
    void idleAndStop()
    {
        Rig rig;
        CaptureThread capture(&rig.link);
        capture.start();
        QTest::qWait(300);
        // A loop polling every millisecond would have looked about 300 times.
        QVERIFY2(rig.fake->isOpenedCalls.load() < 60, QByteArray::number(rig.fake->isOpenedCalls.load()));
        QCOMPARE(rig.fake->reads.load(), 0);

        QElapsedTimer clock;
        clock.start();
        rig.link.camOpen(0, Preview);
        QTRY_VERIFY_WITH_TIMEOUT(rig.fake->reads.load() > 0, 5000);
        QVERIFY2(clock.elapsed() < 1000, QByteArray::number(clock.elapsed()));

        rig.link.camClose();
        QTest::qWait(100);
        clock.restart();
        capture.stop();
        QVERIFY(capture.isFinished());
        QVERIFY2(clock.elapsed() < 1000, QByteArray::number(clock.elapsed()));

        // It can be started again after a stop.
        rig.link.camOpen(0, Preview);
        const int reads = rig.fake->reads.load();
        capture.start();
        QTRY_VERIFY_WITH_TIMEOUT(rig.fake->reads.load() > reads, 5000);
    } // the destructor stops it
};

QTEST_GUILESS_MAIN(TestCaptureThreads)
#include "tst_capturethreads.moc"
