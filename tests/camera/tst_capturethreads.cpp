// Everything that uses the camera at once: the capture object never misused, frames not waiting
// for transactions; the capture thread alone: idle while closed, frames never piling up.
#include "support/fakecamera.h"

#include "camera/capturethread.h"

#include <QElapsedTimer>

#include <algorithm>

// ThreadSanitizer cannot see the uninstrumented Qt's event queue lock: there
// frames are taken on the capture thread, and only the program's locks checked.
#if defined(__SANITIZE_THREAD__)
const Qt::ConnectionType FrameConnection = Qt::DirectConnection;
#else
const Qt::ConnectionType FrameConnection = Qt::AutoConnection;
#endif

class TestCaptureThreads : public QObject
{
    Q_OBJECT

private slots:
    void stress()
    {
        Rig rig;
        CameraLink &link = *rig.link;
        rig.world->fps = 500;
        TempHome home;
        SettingsStore store;
        writeIni(store.filePath(), {{"aec_Mod", 1}, {"awb_value", 6}, {"skin_smoothing", true}});
        // The single writes' own store is made on their thread, which runs no event
        // loop: Qt's deferred write-back never crosses threads behind ThreadSanitizer.
        TempHome writerHome;
        ParamTunnel tunnel([](unsigned long) { QThread::msleep(2); });
        link.camOpen(0, SmallPreview);
        std::atomic<int> signalled{0}, nullFrames{0};
        CaptureThread capture(&link);
        connect(&capture, &CaptureThread::onGetFrame, this, [&](const QImage &image) {
            nullFrames += image.isNull() || capture.takeNewestFrame().isNull();
            ++signalled;
        }, FrameConnection);
        capture.start();

        std::atomic<bool> done{false};
        std::atomic<int> bulk{0}, single{0}, refused{0}, waited{0};
        std::thread threads[] = {
            std::thread([&, n = 0]() mutable {
                while (!done) {
                    link.camClose();
                    link.camOpen(n++ % 2, SmallPreview);
                    link.setRotation((n % 4) * 90);
                    std::this_thread::sleep_for(std::chrono::milliseconds(3));
                    if (n % 7 == 0)
                        link.camOpen(n % 3, SmallPreview); // sometimes a missing index
                }
            }),
            std::thread([&] { // the sync and store threads' work
                for (int n = 0; !done; ++n) {
                    n % 3 == 0 ? tunnel.primeAll(link, store) : n % 3 == 1 ? tunnel.syncAll(link, store)
                                                                        : tunnel.storeToCamera(link);
                    ++bulk;
                }
            }),
            std::thread([&] { // the GUI's single writes
                SettingsStore own;
                for (int i = 0; !done; ++i, ++single) {
                    const Params::Id ids[] = {Params::Iso, Params::Saturation, Params::SkinSmoothing,
                                              Params::Aperture, Params::AecMode, Params::ColorTemperature};
                    tunnel.write(ids[i % 6], i % 4, link, own);
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                }
            }),
            std::thread([&] { // the debug overlay, both forms
                for (int i = 0; !done; ++i) {
                    QString text;
                    if (i % 2)
                        refused += !tunnel.tryReadDebugInfo(link, &text);
                    else
                        waited += !tunnel.readDebugInfo(link).isEmpty();
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                }
            })};

        // Snapshots for 3 s and until every party has had a few turns (only a starved one fails).
        QElapsedTimer clock;
        clock.start();
        int snapshots = 0;
        auto fewTurns = [&] {
            return std::min({int(signalled), snapshots, int(bulk), int(single), int(refused), int(waited)}) <= 3;
        };
        while (clock.elapsed() < 3000 || (fewTurns() && clock.elapsed() < 30000)) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            snapshots += !link.grabFrame().isNull();
        }
        done = true;
        for (std::thread &thread : threads)
            thread.join();
        capture.stop();
        QVERIFY(capture.isFinished());
        QCoreApplication::processEvents();

        FakeWorld &w = *rig.world;
        QCOMPARE(QVector<int>({w.overlaps, w.readsWhileClosed, w.concurrentReads, w.interleaved}), QVector<int>(4));
        // Frames do not wait for transactions, and every party had its turns.
        const QVector<int> counts{w.readsInTransaction, int(w.takeOpens().size()), signalled, snapshots, bulk, single,
                                  refused, waited};
        QString text;
        QDebug(&text) << "in transaction, opens, signalled, snapshots, bulk, single, refused, waited:" << counts;
        QVERIFY2(*std::min_element(counts.begin(), counts.end()) > 3, qPrintable(text));
        QCOMPARE(nullFrames.load(), 0);
    }

    // Closed, the thread sleeps. It wakes on open, signals once until the frame
    // is taken (frames never pile up), stops at once and starts again.
    void idleSignalAndStop()
    {
        Rig rig;
        std::atomic<int> signalled{0};
        CaptureThread capture(rig.link.get());
        connect(&capture, &CaptureThread::onGetFrame, &capture, [&] { ++signalled; }, Qt::DirectConnection);
        capture.start();
        QTest::qWait(300);
        // A loop polling every millisecond would have looked about 300 times.
        QVERIFY2(rig.world->isOpenedCalls.load() < 60, QByteArray::number(rig.world->isOpenedCalls.load()));
        QCOMPARE(rig.world->framesRead.load(), 0);

        QElapsedTimer clock;
        clock.start();
        rig.link->camOpen(0, SmallPreview);
        QTRY_VERIFY_WITH_TIMEOUT(rig.world->framesRead.load() > 0, 5000);
        QVERIFY2(clock.elapsed() < 1000, QByteArray::number(clock.elapsed()));
        QTRY_VERIFY_WITH_TIMEOUT(rig.world->framesRead.load() > 20, 5000);
        QCOMPARE(signalled.load(), 1);
        QVERIFY(!capture.takeNewestFrame().isNull());
        QTRY_COMPARE_WITH_TIMEOUT(signalled.load(), 2, 5000);

        rig.link->camClose();
        QTest::qWait(100);
        clock.restart();
        capture.stop();
        QVERIFY(capture.isFinished());
        QVERIFY2(clock.elapsed() < 1000, QByteArray::number(clock.elapsed()));

        rig.link->camOpen(0, SmallPreview);
        const int reads = rig.world->framesRead.load();
        capture.start();
        QTRY_VERIFY_WITH_TIMEOUT(rig.world->framesRead.load() > reads, 5000);
    } // the destructor stops it
};

QTEST_GUILESS_MAIN(TestCaptureThreads)
#include "tst_capturethreads.moc"
