#include "backend/devicewatcher.h"
#include "backendrig.h"
#include "backend/qmldata.h"
#include "camera/cameralink.h"
#include "settings/settingsstore.h"

#include "vcam_control.h"

#include <QTemporaryDir>
#include <QtTest>

// The backend on the virtual camera, linked in as /dev/video0: a camera that
// goes away while streaming and comes back. (Streaming, tuning and a sync
// without a protocol violation: the end-to-end test through the window.)
class TestBackendVcam : public QObject
{
    Q_OBJECT

private slots:
    void unplugAndReplug_data()
    {
        QTest::addColumn<bool>("udev");
        QTest::newRow("no device notice: the failed read, then Retry") << false;
        QTest::newRow("udev notices through the real watcher") << true;
    }

    // An unplug raises the camera-not-found prompt with the camera closed after
    // a few failed reads (not hundreds), with or without a device notice; the replugged
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
        QVERIFY2(failedReads <= 5, qPrintable(QString::number(failedReads)));
    }
};

QTEST_MAIN(TestBackendVcam)
#include "tst_backendvcam.moc"
