// The capture thread and the shared capture object under several threads:
// frames keep coming while others open, close and write; the capture object is
// never misused (nor closed inside a transaction), frames never pile up, and
// the thread stops promptly.
#include "camtestsupport.h"

#include "camera/capturethread.h"

#include <QElapsedTimer>
#include <QtTest>

// ThreadSanitizer cannot see the uninstrumented Qt's event queue lock, so there
// frames are taken on the capture thread and only the program's locks are checked.
#if defined(__SANITIZE_THREAD__)
const Qt::ConnectionType FrameConnection = Qt::DirectConnection;
#else
const Qt::ConnectionType FrameConnection = Qt::AutoConnection;
#endif

class TestCaptureThreads : public QObject
{
    Q_OBJECT

private slots:
    // Capture thread, GUI-like opener/writer, transactions and read-back at once.
    void stress()
    {
        Rig rig;
        rig.fake->readDelayMs = 2;
        rig.link.camOpen(0, Preview720);
        std::atomic<int> signalled{0}, nullFrames{0};
        CaptureThread capture(&rig.link);
        auto onFrame = [&](const QImage &image) {
            nullFrames += image.isNull() || capture.takeNewestFrame().isNull();
            ++signalled;
        };
        connect(&capture, &CaptureThread::onGetFrame, this, onFrame, FrameConnection);
        capture.start();

        std::atomic<bool> done{false};
        std::thread threads[] = {
            std::thread([&, n = 0]() mutable {
                while (!done) {
                    rig.link.camClose();
                    rig.link.camOpen(n++ % 2, Preview720);
                    rig.link.set(cv::CAP_PROP_BRIGHTNESS, n);
                    rig.link.get(cv::CAP_PROP_GAIN);
                    rig.link.setRotation((n % 4) * 90);
                    std::this_thread::sleep_for(std::chrono::milliseconds(3));
                    if (n % 7 == 0)
                        rig.link.camOpen(n % 3, Preview720); // sometimes a missing index
                }
            }),
            std::thread([&] { // register transactions as the tunnel runs them
                while (!done) {
                    CaptureSession session(rig.link);
                    if (session.isOpened()) {
                        session.set(cv::CAP_PROP_FOCUS, 89);
                        std::this_thread::sleep_for(std::chrono::milliseconds(5));
                        session.set(cv::CAP_PROP_GAIN, 5);
                        session.set(cv::CAP_PROP_FOCUS, 0);
                    }
                }
            }),
            std::thread([&] { // the debug read-back, only when no transaction runs
                while (!done) {
                    CaptureSession session(rig.link, std::try_to_lock);
                    if (session.isValid() && session.isOpened()) {
                        session.set(cv::CAP_PROP_FOCUS, 89);
                        session.get(cv::CAP_PROP_GAIN);
                        session.set(cv::CAP_PROP_FOCUS, 0);
                    }
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            })};

        // The GUI thread grabs snapshots meanwhile.
        QElapsedTimer clock;
        clock.start();
        int snapshots = 0;
        while (clock.elapsed() < 3000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            snapshots += !rig.link.grabFrame().isNull();
        }
        done = true;
        for (std::thread &thread : threads)
            thread.join();
        capture.stop();
        QVERIFY(capture.isFinished());
        QCoreApplication::processEvents();

        QCOMPARE(rig.fake->overlaps.load(), 0);
        QCOMPARE(rig.fake->readsWhileClosed.load(), 0);
        QCOMPARE(rig.fake->concurrentReads.load(), 0);
        QCOMPARE(rig.fake->interleaved.load(), 0);
        // Frames do not wait for transactions.
        QVERIFY2(rig.fake->readsInTransaction.load() > 0, QByteArray::number(rig.fake->readsInTransaction.load()));
        QVERIFY2(rig.fake->opens.load() > 50, QByteArray::number(rig.fake->opens.load()));
        QVERIFY2(signalled.load() > 10, QByteArray::number(signalled.load()));
        QVERIFY(snapshots > 0);
        QCOMPARE(nullFrames.load(), 0);
    }

    // Closed, the thread sleeps. It wakes on open, signals once until the frame
    // is taken (frames never pile up), stops at once and starts again.
    void idleSignalAndStop()
    {
        Rig rig;
        std::atomic<int> signalled{0};
        CaptureThread capture(&rig.link);
        connect(&capture, &CaptureThread::onGetFrame, &capture, [&] { ++signalled; }, Qt::DirectConnection);
        capture.start();
        QTest::qWait(300);
        // A loop polling every millisecond would have looked about 300 times.
        QVERIFY2(rig.fake->isOpenedCalls.load() < 60, QByteArray::number(rig.fake->isOpenedCalls.load()));
        QCOMPARE(rig.fake->reads.load(), 0);

        QElapsedTimer clock;
        clock.start();
        rig.link.camOpen(0, Preview720);
        QTRY_VERIFY_WITH_TIMEOUT(rig.fake->reads.load() > 0, 5000);
        QVERIFY2(clock.elapsed() < 1000, QByteArray::number(clock.elapsed()));
        QTRY_VERIFY_WITH_TIMEOUT(rig.fake->reads.load() > 20, 5000);
        QCOMPARE(signalled.load(), 1);
        QVERIFY(!capture.takeNewestFrame().isNull());
        QTRY_COMPARE_WITH_TIMEOUT(signalled.load(), 2, 5000);

        rig.link.camClose();
        QTest::qWait(100);
        clock.restart();
        capture.stop();
        QVERIFY(capture.isFinished());
        QVERIFY2(clock.elapsed() < 1000, QByteArray::number(clock.elapsed()));

        rig.link.camOpen(0, Preview720);
        const int reads = rig.fake->reads.load();
        capture.start();
        QTRY_VERIFY_WITH_TIMEOUT(rig.fake->reads.load() > reads, 5000);
    } // the destructor stops it
};

QTEST_GUILESS_MAIN(TestCaptureThreads)
#include "tst_capturethreads.moc"
