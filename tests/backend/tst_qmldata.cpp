#include "backendrig.h"

#include "support/filefaults.h"

#include "app/debuglog.h"
#include "backend/controlstatus.h"
#include "backend/picturewatch.h"
#include "params/paramtable.h"
#include "tunnel/paramtunnel.h"

#include <QQmlComponent>
#include <QQmlContext>
#include <QImageReader>
#include <QQmlEngine>
#include <QSignalSpy>

#include <future>

// The backend on a fake world: its properties, enable rules, camera lifecycle
// and, with the capture thread running, frames, snapshot and view control.
class TestQmlData : public QObject, RigHarness
{
    Q_OBJECT

    QmlData *start(const QVariantMap &ini, bool open)
    {
        make(ini);
        bringUp(open);
        rig->world->takeTrace();
        rig->world->takeOpens();
        return backend.get();
    }

    // Whether `call` (e.g. "14:0") is in the traffic since the last look.
    bool sent(const char *call) { settle(); return rig->world->takeTrace().split(' ').contains(QLatin1String(call)); }

    static QSignalSpy *notifySpy(QObject *o, const char *property)
    {
        const QMetaObject *mo = o->metaObject();
        const QMetaMethod notify = mo->property(mo->indexOfProperty(property)).notifySignal();
        return new QSignalSpy(o, QByteArray("2" + notify.methodSignature()).constData());
    }

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

    void setterPattern_data()
    {
        QTest::addColumn<bool>("open");
        QTest::addColumn<QByteArray>("property");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored");
        // The INI key and value name the tunnel write and its argument (its registers: the tunnel's tests).
        struct Row { const char *property; QVariant value; const char *key; QVariant stored; };
        const Row rows[] = {
            {"afdIndex", 2, "afd_value", 2},
            {"skinSwitch", true, "skin_smoothing", true},
            {"brightSwitch", true, "bright_mode", true},
            {"aecIndex", 3, "aec_Mod", 3},
            {"apertureIndex", 20, "aperture_value", 350},
            {"exposureIndex", 10, "exposure_time", 1},
            {"isoIndex", 5, "iso_value", 5},
            {"evIndex", 3, "ev_value", -3},
            {"saturationIndex", 7, "saturation_value", 7},
            {"contrastIndex", 3, "contrast_value", 3},
            {"sharpnessIndex", 20, "sharpness_value", 20},
            {"warmnessIndex", 0, "warmness_value", -15},
            {"mceRindex", 256, "uvc_mce_r", 128},
            {"mceGindex", 200, "uvc_mce_g", 72},
            {"mceBindex", 10, "uvc_mce_b", -118},
            {"awbIndex", 3, "awb_value", 3},
            {"sceIndex", 3, "sce_value", 300},
        };
        for (bool open : {true, false})
            for (const Row &r : rows)
                QTest::addRow("%s %s", r.property, open ? "open" : "closed") << open << QByteArray(r.property)
                    << r.value << QString::fromLatin1(r.key) << r.stored.toString();
    }

    // Open: a change is signalled, sent and stored, and the same value again
    // does nothing. Closed: signalled only, neither sent nor stored.
    void setterPattern()
    {
        QFETCH(bool, open);
        QFETCH(QByteArray, property);
        QFETCH(QVariant, value);
        QFETCH(QString, key);
        const char *name = property.constData();
        QmlData *b = start({{QStringLiteral("aec_Mod"), 1}}, open);
        const QVariant before = b->property(name);
        const QVariant storedBefore = storedValue(home.path(), key);
        std::unique_ptr<QSignalSpy> spy(notifySpy(b, name));

        QVERIFY(b->setProperty(name, value));
        QCOMPARE(spy->count(), 1);
        settle();
        QCOMPARE(!rig->world->takeTrace().isEmpty(), open);
        if (!open) {
            QCOMPARE(storedValue(home.path(), key), storedBefore);
            QCOMPARE(b->property(name), before);
            return;
        }
        QTEST(storedValue(home.path(), key).toString(), "stored");
        QCOMPARE(b->property(name), value);
        QVERIFY(b->setProperty(name, value));
        QCOMPARE(spy->count(), 1);
        settle();
        QVERIFY(rig->world->takeTrace().isEmpty());
    }

    // A camera just opened runs the values stored in it; once every row has been written it runs the
    // panel's, and the notice saying otherwise goes.
    void everyRowWrittenPutsPanelOnCamera()
    {
        QmlData *b = start({{QStringLiteral("aec_Mod"), 1}}, true);
        for (int id = 0; id < Params::ColorTemperature; ++id) { // the last is the white balance's manual entry
            const char *name = Params::row(id).property;
            QVERIFY2(!b->panelOnCamera(), name);
            const QVariant v = b->property(name);
            b->setProperty(name, v.type() == QVariant::Bool ? QVariant(!v.toBool()) : QVariant(v.toInt() ? 0 : 1));
        }
        QVERIFY(b->panelOnCamera());
    }

    void aecEnableRules_data()
    {
        QTest::addColumn<bool>("open");
        QTest::addColumn<int>("startAec");
        QTest::addColumn<int>("afd");
        QTest::addColumn<int>("iso");
        QTest::addColumn<int>("aec"); // -1: the stored mode only
        QTest::addColumn<QString>("enabled");
        QTest::addColumn<int>("isoAfter");
        QTest::newRow("manual, iso set") << true << 3 << 0 << 5 << 1 << "aperture exposure iso" << 5;
        QTest::newRow("manual, iso auto") << true << 3 << 0 << 0 << 1 << "aperture exposure iso ev" << 0;
        QTest::newRow("exposure manual") << true << 1 << 0 << 5 << 2 << "exposure" << 0; // EV stays off
        QTest::newRow("aperture manual, iso auto") << true << 1 << 0 << 0 << 3 << "aperture iso ev afd" << 0;
        QTest::newRow("aperture manual, iso set") << true << 1 << 0 << 4 << 3 << "aperture iso afd" << 4;
        QTest::newRow("auto, flicker off") << true << 1 << 3 << 5 << 0 << "iso ev afd" << 5;
        QTest::newRow("auto, 50Hz") << true << 1 << 1 << 5 << 0 << "ev afd" << 0;
        QTest::newRow("closed start-up, exposure manual") << false << 2 << 0 << 5 << -1 << "exposure" << 5;
        QTest::newRow("closed start-up, auto, 50Hz") << false << 0 << 1 << 5 << -1 << "ev afd" << 5;
        QTest::newRow("closed, exposure manual chosen") << false << 1 << 0 << 5 << 2 << "exposure" << 5;
    }

    // The exposure-mode rules; a forced ISO goes to the camera before the mode.
    // Closed, the forced ISO is not kept, and a QML binding reads the stored
    // ISO back at once: the forcing must still end after one pass.
    void aecEnableRules()
    {
        QFETCH(bool, open);
        QFETCH(int, iso);
        QFETCH(int, aec);
        QFETCH(int, isoAfter);
        QFETCH(int, startAec);
        QFETCH(int, afd);
        QmlData *b = make({{QStringLiteral("aec_Mod"), startAec}, {QStringLiteral("afd_value"), afd},
                           {QStringLiteral("iso_value"), iso}});
        QQmlEngine engine;
        engine.rootContext()->setContextProperty(QStringLiteral("qmldata"), b);
        QQmlComponent component(&engine);
        component.setData("import QtQml 2.15\nQtObject { property int iso: qmldata.isoIndex }", QUrl());
        std::unique_ptr<QObject> bound(component.create());
        QVERIFY2(bound, qPrintable(component.errorString()));
        bringUp(open);
        if (open)
            rig->world->takeTrace();
        QSignalSpy isoSpy(b, &QmlData::isoIndexChanged);
        if (aec >= 0)
            b->setAecIndex(aec);

        QStringList enabled;
        const std::pair<bool, const char *> enables[] = {{b->apertureEnable(), "aperture"},
            {b->exposureEnable(), "exposure"}, {b->isoEnable(), "iso"}, {b->evEnable(), "ev"}, {b->afdEnable(), "afd"}};
        for (const auto &e : enables)
            if (e.first)
                enabled << QString::fromLatin1(e.second);
        QTEST(enabled.join(QLatin1Char(' ')), "enabled");
        QCOMPARE(b->isoIndex(), isoAfter);
        QCOMPARE(bound->property("iso").toInt(), isoAfter);
        QCOMPARE(storedValue(home.path(), QStringLiteral("iso_value")).toInt(), isoAfter);
        settle();
        if (!open) {
            QVERIFY(rig->world->takeTrace().isEmpty());
            return;
        }
        const QStringList calls = rig->world->takeTrace().split(' ');
        QCOMPARE(isoSpy.count(), isoAfter != iso ? 1 : 0);
        if (isoAfter != iso) {
            const int isoWrite = calls.indexOf("14:0");
            const int aecWrite = std::max(calls.indexOf("AE:on"), calls.indexOf("36:0"));
            QVERIFY(isoWrite >= 0);
            QVERIFY(isoWrite < aecWrite);
        }

        // In the manual modes EV follows every ISO change.
        if (aec == 1 || aec == 3) {
            b->setIsoIndex(3);
            QVERIFY(!b->evEnable());
            b->setIsoIndex(0);
            QVERIFY(b->evEnable());
        }
    }

    // Manual white balance sends the stored colour temperature, not a preset. A restore
    // ends at the defaults with each reloaded signal once; a plain sync reloads nothing.
    void whiteBalanceAndRestore()
    {
        QmlData *b = start({{QStringLiteral("sce_value"), 300}, {QStringLiteral("saturation_value"), 9},
                            {QStringLiteral("aperture_value"), 500}, {QStringLiteral("aec_Mod"), 1},
                            {QStringLiteral("iso_value"), 3}, {QStringLiteral("color_temperature"), 45},
                            {QStringLiteral("warmness_value"), 4}}, true);
        QSignalSpy warm(b, &QmlData::warmnessEnableChanged);
        QSignalSpy temp(b, &QmlData::colorTemperatureEnableChanged);
        b->setAwbIndex(6);
        QVERIFY(sent("WB:6500"));
        QCOMPARE(storedValue(home.path(), QStringLiteral("awb_value")).toInt(), 6);
        QVERIFY(!b->warmnessEnable() && b->colorTemperatureEnable());
        QCOMPARE(warm.count() + temp.count(), 2);
        b->setColorTemperatureIndex(30);
        QVERIFY(sent("WB:5000"));
        QCOMPARE(storedValue(home.path(), QStringLiteral("color_temperature")).toInt(), 30);

        b->rotateDisplay(true);
        const char *reloaded[] = {"previewSizeIndex", "brightSwitch", "skinSwitch", "aecIndex", "afdIndex",
                                  "awbIndex", "apertureIndex", "exposureIndex", "isoIndex", "evIndex",
                                  "sceIndex", "saturationIndex", "contrastIndex", "sharpnessIndex",
                                  "warmnessIndex", "mceRindex", "mceGindex", "mceBindex",
                                  "colorTemperatureIndex"};
        std::vector<std::unique_ptr<QSignalSpy>> spies;
        for (const char *p : reloaded)
            spies.emplace_back(notifySpy(b, p));
        b->restoreDefaultSettings();
        const QVector<int> defaults{b->sceIndex(), b->saturationIndex(), b->apertureIndex(), b->aecIndex(),
                                    b->isoIndex(), b->warmnessIndex(), b->cameraLink()->rotation()};
        QCOMPARE(defaults, (QVector<int>{7, 5, 14, 0, 0, 15, 0}));
        QVERIFY(b->warmnessEnable() && !b->colorTemperatureEnable());
        for (size_t i = 0; i < spies.size(); ++i) {
            QVERIFY2(spies[i]->count() == 1, reloaded[i]);
            spies[i]->clear();
        }
        b->showSyncBox();
        for (size_t i = 0; i < spies.size(); ++i)
            QVERIFY2(spies[i]->count() == 0, reloaded[i]);
    }

    void cameraLifecycle_data()
    {
        QTest::addColumn<int>("removed");
        QTest::addColumn<bool>("keepsStreaming");
        QTest::newRow("another camera removed") << 2 << true;
        QTest::newRow("the open camera removed") << 3 << false;
    }

    // Nodes that are not cameras are skipped; a second camera only extends the list (repeated
    // notices change nothing); camera and preview switches reopen only once the QML side is
    // ready. Whether a removal closes the stream depends on the open camera's device, not its place.
    void cameraLifecycle()
    {
        QFETCH(int, removed);
        QFETCH(bool, keepsStreaming);
        QmlData *b = make({}, false);
        rig->world->plug(2, QStringLiteral("Cam A"));
        QVERIFY(bringUp(true));
        QCOMPARE(rig->world->takeOpens(), std::vector<int>{2});
        rig->world->plug(3, QStringLiteral("Cam B"));
        rig->deviceChange();
        rig->deviceChange();
        QCOMPARE(b->cameraNames(), (QStringList{QStringLiteral("Cam A"), QStringLiteral("Cam B")}));
        QCOMPARE(b->cameraIndex(), 0);
        b->setCameraIndex(1); // not ready yet: no reopen
        QVERIFY(rig->world->takeOpens().empty());
        b->setUiReady(true);
        QSignalSpy spy(b, &QmlData::cameraIndexChanged);
        b->setCameraIndex(5); // out of range: the same camera again
        QCOMPARE(spy.count(), 1);
        settle(); // opens and closes run on the control worker
        QCOMPARE(rig->world->takeOpens(), std::vector<int>{3});

        bool prompted = false;
        QPointer<QTimer> watch = onNextBox([&](QMessageBox *box) {
            prompted = true;
            box->close(); // cameras are left: the prompt may be closed
        });
        rig->world->unplug(removed);
        rig->deviceChange();
        delete watch.data();
        settle();
        QCOMPARE(prompted, !keepsStreaming);
        QCOMPARE(b->cameraLink()->isOpened(), keepsStreaming);
        QCOMPARE(b->cameraNames().size(), 1);
        QCOMPARE(b->cameraIndex(), 0);
        if (!keepsStreaming)
            return;
        rig->world->takeTrace();
        b->setPreviewSizeIndex(1); // reopens the same camera, now first in the list
        settle();
        QCOMPARE(rig->world->takeOpens(), std::vector<int>{3});
        QVERIFY(sent("3:1280"));
        QCOMPARE(storedValue(home.path(), QStringLiteral("preview_index")).toInt(), 1);
    }

    // The size is published once per change; a null image is handed on without changing it.
    void frameSizeFollowsFrames()
    {
        QmlData *b = make({}, false);
        QSignalSpy sizeSpy(b, &QmlData::frameSizeChanged);
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

    void snapshot_data()
    {
        QTest::addColumn<QString>("name");  // under the home; "old" stands in "old.jpg" beforehand
        QTest::addColumn<QString>("fault"); // what goes wrong
        QTest::addColumn<int>("problem");   // SnapshotFile::Problem
        using P = SnapshotFile::Problem;
        QTest::newRow("new file") << "shot.jpg" << "" << int(P::None);
        QTest::newRow("replaces a file") << "old.jpg" << "" << int(P::None);
        QTest::newRow("full disk") << "shot.jpg" << "full" << int(P::NoSpace);
        QTest::newRow("full disk, file there") << "old.jpg" << "full" << int(P::NoSpace);
        QTest::newRow("no such folder") << "no/such/shot.jpg" << "" << int(P::Other);
        QTest::newRow("read-only file") << "old.jpg" << "0444" << int(P::NoPermission);
        QTest::newRow("read-only folder") << "shot.jpg" << "0555" << int(P::NoPermission);
        QTest::newRow("frames stall") << "shot.jpg" << "stall" << int(P::NoFrame);
    }

    // A JPEG at the frame size under the name given, written whole or not at all: on
    // failure the folder holds what it held before, byte for byte. The frame is the capture
    // thread's next one: stalled frames give none within 2 s (the closed camera: the box test).
    void snapshot()
    {
        QFETCH(QString, name);
        QFETCH(QString, fault);
        if (fault.startsWith('0'))
            VEXLO_ROW_AS_NOBODY();
        QmlData *b = startStreaming(320, 240, 60);
        QVERIFY(b);
        const QString folder = home.path() + "/pics";
        QVERIFY(QDir().mkpath(folder));
        QFile old(folder + "/old.jpg");
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write(QByteArray(4000, 'o')) == 4000 && old.flush());
        if (fault.startsWith('0'))
            QVERIFY(QFile::setPermissions(fault == "0444" ? old.fileName() : folder, QFile::ReadOwner | QFile::ExeOwner));
        const QStringList before = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        const QString path = folder + '/' + name;
        SnapshotFile::Result result;
        rig->world->stallFrames = fault == "stall"; // reads wait: no frame, no failure
        QTRY_VERIFY(rig->world->stalledReads > 0 || fault != "stall");
        QCoreApplication::processEvents(); // the frames read before
        {
            std::unique_ptr<FileSizeLimit> full(fault == "full" ? new FileSizeLimit(100) : nullptr);
            result = b->saveSnapshot(path);
        }
        rig->world->stallFrames = false;
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QTEST(int(result.problem), "problem");
        if (!result.ok()) {
            QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), before);
            QCOMPARE(fileBytes(folder + "/old.jpg"), QByteArray(4000, 'o'));
            return;
        }
        QImageReader jpeg(path);
        QCOMPARE(jpeg.format(), QByteArray("jpeg"));
        QCOMPARE(jpeg.size(), QSize(320, 240));
    }

    // A camera without pictures is reopened after 5 s, then after 10, 20 and every 30 s; the notice
    // is up from the first reopen until a good frame, which starts the waits again.
    void pictureWatchBacksOff()
    {
        qint64 now = 0;
        PictureWatch watch([&] { return now; });
        QSignalSpy reopens(&watch, &PictureWatch::reopenDue);
        struct Step { qint64 at; char event; int reopens; bool notice; };
        const Step steps[] = {
            {0, 'o', 0, false},     {4999, 'c', 0, false},  {5000, 'c', 1, true},   {14999, 'c', 1, true},
            {15000, 'c', 2, true},  {35000, 'c', 3, true},  {64999, 'c', 3, true},  {65000, 'c', 4, true},
            {95000, 'c', 5, true},  {95100, 'g', 5, false}, {100099, 'c', 5, false}, {100100, 'c', 6, true},
            {100200, 'x', 6, false}, {900000, 'c', 6, false},
        };
        for (const Step &step : steps) {
            now = step.at;
            switch (step.event) {
            case 'o': watch.opened(); break;
            case 'g': watch.goodFrame(); break;
            case 'x': watch.closed(); break;
            default: watch.check();
            }
            QCOMPARE(reopens.count(), step.reopens);
            QCOMPARE(watch.noticeShown(), step.notice);
        }
    }

    // A failed read with the camera still listed opens it afresh and never prompts, however often
    // it fails; only a camera that is no longer listed brings the prompt, with the camera closed.
    void failedReadPromptsOnlyWhenGone()
    {
        QmlData *b = startStreaming(64, 48, 30);
        QVERIFY(b);
        b->setDebugLog(true);
        rig->world->takeOpens();
        rig->world->produceFrames = false;
        bool prompted = false, closed = false;
        onNextBox([&](QMessageBox *box) {
            prompted = true;
            QCOMPARE(box->windowTitle(), QStringLiteral("camera_not_found"));
            closed = QTest::qWaitFor([&] { return !b->cameraLink()->isOpened(); }); // by the control worker
            rig->world->plug(0);
            rig->world->produceFrames = true;
            click(box, QMessageBox::Retry);
        });
        const QString failed = QStringLiteral("frame read failed: enumerating again");
        auto failures = [&] {
            QFile log(home.path() + QStringLiteral("/Vexlo/debugLog.txt"));
            log.open(QIODevice::ReadOnly);
            return QString::fromUtf8(log.readAll()).count(failed);
        };
        QTRY_VERIFY_WITH_TIMEOUT(failures() >= 2, 10000);
        QVERIFY(!prompted);
        QCOMPARE(rig->world->takeOpens().size(), size_t(1)); // the reopen; the second failure waits
        rig->world->unplug(0);
        QTRY_VERIFY_WITH_TIMEOUT(prompted, 10000);
        QVERIFY(closed);
        settle();
        QCOMPARE(rig->world->takeOpens().size(), size_t(1)); // Retry's
        QVERIFY(b->cameraLink()->isOpened());
        b->setDebugLog(false);
    }

    // Zoom and debug-log switches live in the store and signal only real changes; the overlay
    // reads back once a second while shown, skipping a read-back that would wait for a running
    // transaction (the last text stays); quarter turns wrap both ways, not with the camera closed.
    void viewControls()
    {
        QmlData *b = startStreaming(64, 48, 30);
        QVERIFY(b);
        QSignalSpy zoom(b, &QmlData::displayZoomChanged);
        QSignalSpy log(b, &QmlData::debugLogChanged);
        b->setDisplayZoom(false);
        b->setDisplayZoom(true);
        b->setDebugLog(true);
        QVERIFY(isLogEnabled());
        b->setDebugLog(false);
        QVERIFY(!isLogEnabled());
        QCOMPARE(zoom.count(), 1);
        QCOMPARE(log.count(), 2);
        QCOMPARE(storedValue(home.path(), QStringLiteral("display_zoom")).toBool(), true);

        QSignalSpy visible(b, &QmlData::debugVisibleChanged);
        QSignalSpy info(b, &QmlData::debugInfoChanged);
        b->setDebugVisible(true);
        b->setDebugVisible(true);
        QCOMPARE(visible.count(), 1);
        QVERIFY(info.wait(2500));
        QVERIFY(!b->debugStr().isEmpty());
        b->setDebugStr(QStringLiteral("previous"));
        std::promise<void> held, release;
        std::thread worker([&] { // a transaction in progress on another thread
            CaptureSession busy(*b->cameraLink());
            held.set_value();
            release.get_future().wait();
        });
        held.get_future().wait();
        const bool invoked = QMetaObject::invokeMethod(b, "getCamDebugInfo");
        release.set_value();
        worker.join();
        QVERIFY(invoked);
        QCOMPARE(b->debugStr(), QStringLiteral("previous"));
        b->setDebugVisible(false);
        QCOMPARE(visible.count(), 2);
        info.clear();
        QTest::qWait(1300);
        QCOMPARE(info.count(), 0);

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
};

QTEST_MAIN(TestQmlData)
#include "tst_qmldata.moc"
