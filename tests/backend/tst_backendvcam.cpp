#include "backend/devicewatcher.h"
#include "backend/fakecamera.h"
#include "backend/qmldata.h"
#include "camera/cameralink.h"
#include "settings/settingsstore.h"

#include "vcam_control.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// The backend on the virtual camera, linked in as /dev/video0: open, stream,
// switch the preview size, tune and sync without one protocol violation.
class TestBackendVcam : public QObject
{
    Q_OBJECT

private slots:
    void streamSwitchAndSync()
    {
        QTemporaryDir home;
        qputenv("HOME", home.path().toLocal8Bit());
        QDir(home.path()).mkpath(QStringLiteral("Vexlo"));

        QmlData backend;
        int frames = 0;
        backend.setFrameSink([&](const QImage &) { ++frames; });
        QCOMPARE(backend.getCamDevs(), 1);
        backend.initCameraParams();
        QVERIFY(backend.startCaptureTimer());
        QTRY_VERIFY_WITH_TIMEOUT(frames >= 5, 10000);
        QCOMPARE(backend.frameSize(), (QVector<int>{1920, 1080}));

        backend.setUiReady(true);
        backend.setPreviewSizeIndex(1);
        QVERIFY(backend.cameraLink()->isOpened());
        QTRY_COMPARE_WITH_TIMEOUT(backend.frameSize(), (QVector<int>{1280, 720}), 10000);

        backend.setEvIndex(9);       // EV +1.0: code 3
        backend.setSharpnessIndex(20);
        QCOMPARE(vcam_register_value(0, VCAM_REG_BRIGHTNESS), 3);
        QCOMPARE(vcam_register_value(0, VCAM_REG_SHARPNESS), 20);

        backend.setDebugVisible(true); // read-backs run beside the sync
        backend.showSyncBox();
        QCOMPARE(vcam_register_value(0, VCAM_REG_BRIGHTNESS), 3);
        QCOMPARE(vcam_register_value(0, VCAM_REG_ZOOM), 700);
        // No protocol violation of any kind (the white balance too carries its register).
        QCOMPARE(vcam_violations(0), 0);
        const int before = frames;
        QTRY_VERIFY_WITH_TIMEOUT(frames > before + 5, 10000);
    }

    void unplugAndReplug_data()
    {
        QTest::addColumn<bool>("udev");
        QTest::newRow("no device notice: the failed read, then Retry") << false;
        QTest::newRow("udev notices through the real watcher") << true;
    }

    // An unplug raises the camera-not-found prompt with the camera closed after
    // at most two failed reads, with or without a device notice; the replugged
    // camera streams again after Retry, or by itself on the plug-in notice.
    void unplugAndReplug()
    {
        QFETCH(bool, udev);
        QTemporaryDir home;
        useHome(home.path());
        QmlData backend(nullptr, udev ? createPlatformDeviceWatcher() : nullptr);
        int frames = 0;
        backend.setFrameSink([&](const QImage &) { ++frames; });
        QCOMPARE(backend.getCamDevs(), 1);
        backend.initCameraParams();
        QVERIFY(backend.startCaptureTimer());
        QTRY_VERIFY_WITH_TIMEOUT(frames >= 3, 10000);

        QFile trace(QString::fromLocal8Bit(qgetenv("VEXLO_VCAM_TRACE")));
        QVERIFY(trace.open(QIODevice::ReadOnly));
        trace.seek(trace.size());
        bool prompted = false;
        onNextBox([&](QMessageBox *box) {
            prompted = true;
            QCOMPARE(box->windowTitle(), QStringLiteral("camera_not_found"));
            QVERIFY(!backend.cameraLink()->isOpened());
            QTest::qWait(700); // the dead descriptor is not read meanwhile
            vcam_replug(0);
            if (!udev)
                click(box, QMessageBox::Retry);
        });
        vcam_unplug(0);
        QTRY_VERIFY_WITH_TIMEOUT(prompted, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(backend.cameraLink()->isOpened(), 5000);
        const int before = frames;
        QTRY_VERIFY_WITH_TIMEOUT(frames > before + 3, 10000);
        const int failedReads = trace.readAll().count("DQBUF -> No such device");
        QVERIFY2(failedReads <= 2, qPrintable(QString::number(failedReads)));
    }
};

QTEST_MAIN(TestBackendVcam)
#include "tst_backendvcam.moc"
