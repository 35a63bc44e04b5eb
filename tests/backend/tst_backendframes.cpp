#include "backendrig.h"

#include <QImageReader>
#include <QSignalSpy>
#include <QThread>

// Frame delivery, snapshot and view control with the capture thread running on
// a fake camera.
class TestBackendFrames : public QObject, RigHarness
{
    Q_OBJECT

    QmlData *startStreaming(int width, int height, int fps)
    {
        make();
        rig->world->fps = fps;
        if (!bringUp(true))
            return nullptr;
        std::lock_guard<std::mutex> l(rig->world->lock); // the preview size was applied on open
        rig->world->width = width;
        rig->world->height = height;
        return backend.get();
    }

private slots:
    void cleanup() { finish(); }

    // Without a sink frames are dropped; the size is published once per change;
    // a null image is handed on without changing it.
    void frameSizeFollowsFrames()
    {
        QmlData *b = make({}, false);
        QSignalSpy sizeSpy(b, &QmlData::frameSizeChanged);
        b->sendFrameData(QImage(1280, 720, QImage::Format_RGB32));
        QCOMPARE(b->frameSize(), (QVector<int>{1920, 1080}));

        int delivered = 0;
        b->setFrameSink([&](const QImage &) { ++delivered; });
        for (int i = 0; i < 3; ++i)
            b->sendFrameData(QImage(1280, 720, QImage::Format_RGB32));
        b->sendFrameData(QImage());
        QCOMPARE(delivered, 4);
        QCOMPARE(sizeSpy.count(), 1);
        QCOMPARE(b->frameSize(), (QVector<int>{1280, 720}));
    }

    // While the GUI thread is blocked, frames do not queue up: once it runs
    // again it gets the newest frame, not a backlog.
    void framesDoNotPileUp()
    {
        QmlData *b = startStreaming(64, 48, 200);
        QVERIFY(b);
        std::vector<int> shown;
        b->setFrameSink([&](const QImage &image) { // the frame number is in the first pixel
            shown.push_back(qBlue(image.pixel(0, 0)) | (qGreen(image.pixel(0, 0)) << 8));
        });
        QTRY_VERIFY(shown.size() >= 3);

        QThread::msleep(800); // a blocked GUI thread (a long direct sync)
        const int newest = rig->world->framesRead;
        shown.clear();
        QCoreApplication::processEvents();
        QVERIFY2(shown.size() <= 2, qPrintable(QStringLiteral("%1 frames delivered").arg(shown.size())));
        QVERIFY(!shown.empty());
        QVERIFY2(shown.front() >= newest - 3,
                 qPrintable(QStringLiteral("frame %1 shown, %2 read").arg(shown.front()).arg(newest)));
    }

    // A JPEG at the frame size, ".jpg" added to a name without a suffix; a
    // bad path fails; a camera that delivers nothing makes it give up after
    // about 2 s without a file.
    void snapshot()
    {
        QmlData *b = startStreaming(320, 240, 60);
        QVERIFY(b);
        QVERIFY(b->saveSnapshot(home.path() + QStringLiteral("/shot")));
        QImageReader jpeg(home.path() + QStringLiteral("/shot.jpg"));
        QCOMPARE(jpeg.format(), QByteArray("jpeg"));
        QCOMPARE(jpeg.size(), QSize(320, 240));
        QVERIFY(!b->saveSnapshot(home.path() + QStringLiteral("/no/such/folder/shot.jpg")));

        rig->world->produceFrames = false;
        QElapsedTimer clock;
        clock.start();
        const QString none = home.path() + QStringLiteral("/none.jpg");
        QVERIFY(!b->saveSnapshot(none));
        QVERIFY(clock.elapsed() >= 1900);
        QVERIFY(clock.elapsed() < 10000);
        QVERIFY(!QFile::exists(none));
    }

    // A failed read with the camera still listed opens it afresh; failing
    // again within seconds, it counts as gone: the prompt, with the camera closed.
    void failedReadReopensOnce()
    {
        QmlData *b = startStreaming(64, 48, 30);
        QVERIFY(b);
        rig->world->takeOpens();
        rig->world->produceFrames = false;
        bool prompted = false;
        onNextBox([&](QMessageBox *box) {
            prompted = true;
            QCOMPARE(box->windowTitle(), QStringLiteral("camera_not_found"));
            QVERIFY(!b->cameraLink()->isOpened());
            rig->world->produceFrames = true;
            click(box, QMessageBox::Retry);
        });
        QTRY_VERIFY_WITH_TIMEOUT(prompted, 5000);
        QCOMPARE(rig->world->takeOpens().size(), size_t(2)); // the reopen, then Retry's
        QVERIFY(b->cameraLink()->isOpened());
    }

    // Quarter turns wrap both ways; without an open camera nothing turns.
    void rotate()
    {
        QmlData *b = startStreaming(64, 48, 30);
        QVERIFY(b);
        const struct { bool open; int from; bool cw; int to; } turns[] = {
            {true, 0, false, 270}, {true, 270, true, 0}, {true, 90, true, 180}, {false, 90, true, 90}};
        for (const auto &t : turns) {
            if (!t.open)
                b->stopCapture();
            b->cameraLink()->setRotation(t.from);
            b->rotateDisplay(t.cw);
            QCOMPARE(b->cameraLink()->rotation(), t.to);
        }
    }

    // The overlay reads back once a second while shown; a read-back that would
    // wait for a running transaction is skipped and the last text stays.
    void debugOverlay()
    {
        QmlData *b = startStreaming(64, 48, 30);
        QVERIFY(b);
        QSignalSpy visible(b, &QmlData::debugVisibleChanged);
        QSignalSpy info(b, &QmlData::debugInfoChanged);
        b->setDebugVisible(true);
        b->setDebugVisible(true);
        QCOMPARE(visible.count(), 1);
        QVERIFY(info.wait(2500));
        QVERIFY(!b->debugStr().isEmpty());

        b->setDebugStr(QStringLiteral("previous"));
        std::atomic<bool> held{false}, release{false};
        std::thread worker([&] { // a transaction in progress on another thread
            CaptureSession busy(*b->cameraLink());
            held = true;
            while (!release)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
        while (!held)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        QString ignored;
        const bool invoked = QMetaObject::invokeMethod(b, "getCamDebugInfo", Q_RETURN_ARG(QString, ignored));
        release = true;
        worker.join();
        QVERIFY(invoked);
        QCOMPARE(b->debugStr(), QStringLiteral("previous"));

        b->setDebugVisible(false);
        QCOMPARE(visible.count(), 2);
        info.clear();
        QTest::qWait(1300);
        QCOMPARE(info.count(), 0);
    }

    // Deleting the backend stops the capture thread before the camera goes.
    void deleteWhileStreaming()
    {
        QVERIFY(startStreaming(64, 48, 200));
        QTRY_VERIFY(rig->world->framesRead > 5);
        backend.reset();
        const int after = rig->world->framesRead;
        QThread::msleep(100);
        QCOMPARE(int(rig->world->framesRead), after);
    }
};

QTEST_MAIN(TestBackendFrames)
#include "tst_backendframes.moc"
