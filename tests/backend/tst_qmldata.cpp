#include "fakecamera.h"

#include "tunnel/paramtunnel.h"

#include "app/debuglog.h"
#include "settings/settingsstore.h"

#include <QSignalSpy>
#include <QTemporaryDir>

// The backend's properties, enable rules and camera lifecycle, on a fake
// device list, a fake device-change source and a recording capture object.
class TestQmlData : public QObject
{
    Q_OBJECT

    QTemporaryDir home;
    std::unique_ptr<FakeRig> rig;
    std::unique_ptr<QmlData> backend;

    // A backend with camera "Cam A" at index 0 (unless `plugged` is false),
    // initialised from `ini`, optionally with the camera open.
    QmlData *start(const QVariantMap &ini, bool open, bool plugged = true)
    {
        useHome(home.path(), ini);
        rig = std::make_unique<FakeRig>();
        if (plugged)
            rig->world->plug(0, QStringLiteral("Cam A"));
        backend.reset(rig->makeBackend());
        if (backend->getCamDevs() > 0) {
            backend->initCameraParams();
            if (open)
                backend->startCaptureTimer();
        }
        rig->world->takeCalls();
        rig->world->takeOpens();
        return backend.get();
    }

    static QSignalSpy *notifySpy(QObject *o, const char *property)
    {
        const QMetaObject *mo = o->metaObject();
        const QMetaMethod notify = mo->property(mo->indexOfProperty(property)).notifySignal();
        return new QSignalSpy(o, QByteArray("2" + notify.methodSignature()).constData());
    }

    static int indexOf(const std::vector<SetCall> &calls, int prop, double value)
    {
        for (size_t i = 0; i < calls.size(); ++i)
            if (calls[i].prop == prop && calls[i].value == value)
                return int(i);
        return -1;
    }

private slots:
    void cleanup()
    {
        backend.reset();
        rig.reset();
    }

    void storedGettersConvert_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QByteArray>("property");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("aperture row") << "aperture_value" << QVariant(240) << QByteArray("apertureIndex") << QVariant(14);
        QTest::newRow("aperture no row") << "aperture_value" << QVariant(245) << QByteArray("apertureIndex") << QVariant(0);
        QTest::newRow("exposure 1/24s") << "exposure_time" << QVariant(1) << QByteArray("exposureIndex") << QVariant(10);
        QTest::newRow("ev -2.0") << "ev_value" << QVariant(-6) << QByteArray("evIndex") << QVariant(0);
        QTest::newRow("warmness -15") << "warmness_value" << QVariant(-15) << QByteArray("warmnessIndex") << QVariant(0);
        QTest::newRow("warmness 15") << "warmness_value" << QVariant(15) << QByteArray("warmnessIndex") << QVariant(30);
        QTest::newRow("sce 700") << "sce_value" << QVariant(700) << QByteArray("sceIndex") << QVariant(7);
        QTest::newRow("sce 1499") << "sce_value" << QVariant(1499) << QByteArray("sceIndex") << QVariant(14);
        QTest::newRow("mce b 128") << "uvc_mce_b" << QVariant(128) << QByteArray("mceBindex") << QVariant(256);
        QTest::newRow("iso") << "iso_value" << QVariant(5) << QByteArray("isoIndex") << QVariant(5);
        QTest::newRow("preview") << "preview_index" << QVariant(1) << QByteArray("previewSizeIndex") << QVariant(1);
        QTest::newRow("skin") << "skin_smoothing" << QVariant(true) << QByteArray("skinSwitch") << QVariant(true);
        QTest::newRow("zoom") << "display_zoom" << QVariant(true) << QByteArray("displayZoom") << QVariant(true);
    }

    // Stored properties read the INI through the store, before and after start-up.
    void storedGettersConvert()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        QFETCH(QByteArray, property);
        QFETCH(QVariant, expected);
        QmlData *b = start({{key, stored}}, false, false);
        QCOMPARE(b->property(property.constData()), expected);
        rig->world->plug(0, QStringLiteral("Cam A"));
        b->getCamDevs();
        b->initCameraParams();
        QCOMPARE(b->property(property.constData()), expected);
    }

    void setterPattern_data()
    {
        QTest::addColumn<bool>("open");
        QTest::addColumn<QByteArray>("property");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<int>("prop");
        QTest::addColumn<double>("sent");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored");
        struct Row
        {
            const char *property;
            QVariant value;
            int prop;
            double sent;
            const char *key;
            QVariant stored;
        };
        const Row rows[] = {
            {"afdIndex", 2, 32, 2, "afd_value", 2},
            {"skinSwitch", true, 22, 128, "skin_smoothing", true},
            {"brightSwitch", true, 22, 64, "bright_mode", true},
            {"aecIndex", 3, 36, 240, "aec_Mod", 3},
            {"apertureIndex", 20, 36, 350, "aperture_value", 350},
            {"exposureIndex", 10, 15, double(ParamTunnel::exposureControlValue(1)), "exposure_time", 1},
            {"isoIndex", 5, 14, 5, "iso_value", 5},
            {"evIndex", 3, 10, -3, "ev_value", -3},
            {"saturationIndex", 7, 12, 7, "saturation_value", 7},
            {"contrastIndex", 3, 11, 3, "contrast_value", 3},
            {"sharpnessIndex", 20, 20, 20, "sharpness_value", 20},
            {"warmnessIndex", 0, 13, -1500, "warmness_value", -15},
            {"mceRindex", 256, 35, 128, "uvc_mce_r", 128},
            {"mceGindex", 200, 33, 72, "uvc_mce_g", 72},
            {"mceBindex", 10, 34, -118, "uvc_mce_b", -118},
            {"awbIndex", 3, ParamTunnel::whiteBalanceProperty(), 6500, "awb_value", 3},
            {"sceIndex", 3, 27, 300, "sce_value", 300},
        };
        for (bool open : {true, false}) {
            for (const Row &r : rows) {
                QTest::addRow("%s %s", r.property, open ? "open" : "closed")
                    << open << QByteArray(r.property) << r.value << r.prop << r.sent << QString::fromLatin1(r.key)
                    << r.stored;
            }
        }
    }

    // A change is sent and stored with the camera open; without a camera it is
    // shown (signalled) but neither sent nor stored. The same value twice does nothing.
    void setterPattern()
    {
        QFETCH(bool, open);
        QFETCH(QByteArray, property);
        QFETCH(QVariant, value);
        QFETCH(int, prop);
        QFETCH(double, sent);
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        QmlData *b = start({{QStringLiteral("aec_Mod"), 1}}, open);
        const QVariant before = b->property(property.constData());
        const QVariant storedBefore = storedValue(home.path(), key);
        std::unique_ptr<QSignalSpy> spy(notifySpy(b, property.constData()));

        QVERIFY(b->setProperty(property.constData(), value));
        QCOMPARE(spy->count(), 1);
        const std::vector<SetCall> calls = rig->world->takeCalls();
        if (open) {
            QVERIFY2(indexOf(calls, prop, sent) >= 0, "value not sent");
            QCOMPARE(storedValue(home.path(), key).toString(), stored.toString());
            QCOMPARE(b->property(property.constData()), value);
        } else {
            QVERIFY(calls.empty());
            QCOMPARE(storedValue(home.path(), key), storedBefore);
            QCOMPARE(b->property(property.constData()), before);
        }

        if (open) {
            QVERIFY(b->setProperty(property.constData(), value));
            QCOMPARE(spy->count(), 1);
            QVERIFY(rig->world->takeCalls().empty());
        }
    }

    void aecEnableRules_data()
    {
        QTest::addColumn<int>("startAec");
        QTest::addColumn<int>("afd");
        QTest::addColumn<int>("iso");
        QTest::addColumn<int>("aec");
        QTest::addColumn<bool>("aperture");
        QTest::addColumn<bool>("exposure");
        QTest::addColumn<bool>("isoOn");
        QTest::addColumn<int>("evOn"); // -1: left as it was
        QTest::addColumn<bool>("afdOn");
        QTest::addColumn<int>("isoAfter");
        QTest::newRow("manual, iso set") << 3 << 0 << 5 << 1 << true << true << true << 0 << false << 5;
        QTest::newRow("manual, iso auto") << 3 << 0 << 0 << 1 << true << true << true << 1 << false << 0;
        QTest::newRow("exposure manual") << 1 << 0 << 5 << 2 << false << true << false << -1 << false << 0;
        QTest::newRow("aperture manual, iso auto") << 1 << 0 << 0 << 3 << true << false << true << 1 << true << 0;
        QTest::newRow("aperture manual, iso set") << 1 << 0 << 4 << 3 << true << false << true << 0 << true << 4;
        QTest::newRow("auto, flicker off") << 1 << 3 << 5 << 0 << false << false << true << 1 << true << 5;
        QTest::newRow("auto, 50Hz") << 1 << 1 << 5 << 0 << false << false << false << 1 << true << 0;
    }

    // The exposure-mode rules; a forced ISO goes to the camera before the mode.
    void aecEnableRules()
    {
        QFETCH(int, startAec);
        QFETCH(int, afd);
        QFETCH(int, iso);
        QFETCH(int, aec);
        QmlData *b = start({{QStringLiteral("aec_Mod"), startAec}, {QStringLiteral("afd_value"), afd},
                            {QStringLiteral("iso_value"), iso}},
                           true);
        const bool evBefore = b->evEnable();
        QSignalSpy isoSpy(b, &QmlData::isoIndexChanged);
        b->setAecIndex(aec);

        QTEST(b->apertureEnable(), "aperture");
        QTEST(b->exposureEnable(), "exposure");
        QTEST(b->isoEnable(), "isoOn");
        QFETCH(int, evOn);
        QCOMPARE(b->evEnable(), evOn < 0 ? evBefore : evOn == 1);
        QTEST(b->afdEnable(), "afdOn");
        QFETCH(int, isoAfter);
        QCOMPARE(b->isoIndex(), isoAfter);
        const std::vector<SetCall> calls = rig->world->takeCalls();
        if (isoAfter != iso) {
            QCOMPARE(isoSpy.count(), 1);
            const int isoWrite = indexOf(calls, 14, 0);
            const int aecWrite = std::max(indexOf(calls, 21, ParamTunnel::autoExposureOnValue()), indexOf(calls, 36, 0));
            QVERIFY(isoWrite >= 0);
            QVERIFY(isoWrite < aecWrite);
        } else {
            QCOMPARE(isoSpy.count(), 0);
        }

        // In the manual modes EV follows every ISO change.
        if (aec == 1 || aec == 3) {
            b->setIsoIndex(3);
            QVERIFY(!b->evEnable());
            b->setIsoIndex(0);
            QVERIFY(b->evEnable());
        }
    }

    // Manual white balance sends the stored colour temperature, not a preset.
    void awbManualUsesStoredTemperature()
    {
        QmlData *b = start({{QStringLiteral("color_temperature"), 45}}, true);
        QVERIFY(b->warmnessEnable());
        QVERIFY(!b->colorTemperatureEnable());
        QSignalSpy warm(b, &QmlData::warmnessEnableChanged);
        QSignalSpy temp(b, &QmlData::colorTemperatureEnableChanged);
        b->setAwbIndex(6);
        QVERIFY(indexOf(rig->world->takeCalls(), ParamTunnel::whiteBalanceProperty(), 6500) >= 0);
        QCOMPARE(storedValue(home.path(), QStringLiteral("awb_value")).toInt(), 6);
        QVERIFY(!b->warmnessEnable());
        QVERIFY(b->colorTemperatureEnable());
        QCOMPARE(warm.count(), 1);
        QCOMPARE(temp.count(), 1);

        // The colour temperature alone is no tuning change: no exit prompt.
        b->saveParamsToCam();
        b->setColorTemperatureIndex(30);
        QVERIFY(indexOf(rig->world->takeCalls(), ParamTunnel::whiteBalanceProperty(), 5000) >= 0);
        QCOMPARE(storedValue(home.path(), QStringLiteral("color_temperature")).toInt(), 30);
        QVERIFY(!b->changedSinceSnapshot());
    }

    // A restore ends at the defaults with each reloaded signal once; a plain
    // sync reloads nothing.
    void restoreDefaults()
    {
        QmlData *b = start({{QStringLiteral("sce_value"), 300}, {QStringLiteral("saturation_value"), 9},
                            {QStringLiteral("aperture_value"), 500}, {QStringLiteral("aec_Mod"), 1},
                            {QStringLiteral("iso_value"), 3}, {QStringLiteral("awb_value"), 6},
                            {QStringLiteral("warmness_value"), 4}},
                           true);
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
        QCOMPARE(b->sceIndex(), 7);
        QCOMPARE(b->saturationIndex(), 5);
        QCOMPARE(b->apertureIndex(), 14);
        QCOMPARE(b->aecIndex(), 0);
        QCOMPARE(b->isoIndex(), 0);
        QCOMPARE(b->warmnessIndex(), 15);
        QVERIFY(b->warmnessEnable());
        QVERIFY(!b->colorTemperatureEnable());
        QCOMPARE(b->cameraLink()->rotation(), 0);
        for (size_t i = 0; i < spies.size(); ++i)
            QVERIFY2(spies[i]->count() == 1, reloaded[i]);

        for (auto &s : spies)
            s->clear();
        b->showSyncBox();
        for (size_t i = 0; i < spies.size(); ++i)
            QVERIFY2(spies[i]->count() == 0, reloaded[i]);
    }

    // No camera at start: the prompt goes away by itself when one is plugged in.
    void plugInWithNone()
    {
        QmlData *b = start({}, false, false);
        QCOMPARE(b->getCamDevs(), 0);
        bool prompted = false;
        onNextBox([&](QMessageBox *box) {
            prompted = true;
            QCOMPARE(box->windowTitle(), QStringLiteral("camera_not_found"));
            rig->deviceChange(); // something else changed: still no camera
            QVERIFY(box->isVisible());
            rig->world->plug(0, QStringLiteral("Cam A"));
            rig->deviceChange();
        });
        b->openFindDeviceDialog();
        QVERIFY(prompted);
        QVERIFY(b->cameraLink()->isOpened());
        QCOMPARE(b->cameraNames(), QStringList{QStringLiteral("Cam A")});
        QCOMPARE(rig->world->takeOpens(), std::vector<int>{0});
    }

    // A second camera only extends the list; repeated notices change nothing.
    void secondCameraExtendsList()
    {
        QmlData *b = start({}, true);
        rig->world->plug(2, QStringLiteral("Cam B"));
        rig->deviceChange();
        rig->deviceChange();
        QCOMPARE(b->cameraNames(), (QStringList{QStringLiteral("Cam A"), QStringLiteral("Cam B")}));
        QCOMPARE(b->cameraIndex(), 0);
        QVERIFY(b->cameraLink()->isOpened());
        QVERIFY(rig->world->takeOpens().empty());
    }

    // The only camera unplugged: closed and prompted; plugged back (under
    // another node number) it is opened again.
    void unplugOnlyAndReplug()
    {
        QmlData *b = start({}, true);
        bool prompted = false;
        onNextBox([&](QMessageBox *box) {
            prompted = true;
            QCOMPARE(box->windowTitle(), QStringLiteral("camera_not_found"));
            QVERIFY(!b->cameraLink()->isOpened());
            box->close(); // no camera: the prompt stays
            QVERIFY(box->isVisible());
            rig->world->plug(1, QStringLiteral("Cam A"));
            rig->deviceChange();
        });
        rig->world->unplug(0);
        rig->deviceChange();
        QVERIFY(prompted);
        QVERIFY(b->cameraLink()->isOpened());
        QCOMPARE(rig->world->takeOpens(), std::vector<int>{1});
    }

    void cameraRemovedWhileOthersStay_data()
    {
        QTest::addColumn<int>("removed");
        QTest::addColumn<bool>("keepsStreaming");
        QTest::newRow("another camera") << 0 << true;
        QTest::newRow("the open camera") << 2 << false;
    }

    // Decided by the open camera's device, not by its place in the list.
    void cameraRemovedWhileOthersStay()
    {
        QFETCH(int, removed);
        QFETCH(bool, keepsStreaming);
        QmlData *b = start({}, false);
        rig->world->plug(2, QStringLiteral("Cam B"));
        b->getCamDevs();
        b->initCameraParams();
        b->setUiReady(true);
        b->setCameraIndex(1);
        QCOMPARE(rig->world->takeOpens(), std::vector<int>{2});

        bool prompted = false;
        QPointer<QTimer> watch = onNextBox([&](QMessageBox *box) {
            prompted = true;
            box->close(); // cameras are left: the prompt may be closed
        });
        rig->world->unplug(removed);
        rig->deviceChange();
        delete watch.data();

        QCOMPARE(prompted, !keepsStreaming);
        QCOMPARE(b->cameraLink()->isOpened(), keepsStreaming);
        QCOMPARE(b->cameraNames().size(), 1);
        QCOMPARE(b->cameraIndex(), 0);
        if (keepsStreaming) {
            // A later reopen still finds the same camera.
            b->setPreviewSizeIndex(1);
            QCOMPARE(rig->world->takeOpens(), std::vector<int>{2});
        }
    }

    // Camera and preview switches reopen only once the QML side is ready.
    void cameraAndPreviewSwitches()
    {
        useHome(home.path());
        rig = std::make_unique<FakeRig>();
        rig->world->plug(2, QStringLiteral("Cam A")); // nodes 0 and 1 are not cameras
        rig->world->plug(3, QStringLiteral("Cam B"));
        backend.reset(rig->makeBackend());
        QmlData *b = backend.get();
        b->getCamDevs();
        b->initCameraParams();
        QVERIFY(b->startCaptureTimer());
        QCOMPARE(rig->world->takeOpens(), std::vector<int>{2});

        b->setCameraIndex(1); // not ready yet: no reopen
        QVERIFY(rig->world->takeOpens().empty());
        b->setUiReady(true);
        QSignalSpy spy(b, &QmlData::cameraIndexChanged);
        b->setCameraIndex(5); // out of range: the same camera again
        QCOMPARE(spy.count(), 1);
        QCOMPARE(rig->world->takeOpens(), std::vector<int>{3});

        rig->world->takeCalls();
        b->setPreviewSizeIndex(1);
        QCOMPARE(rig->world->takeOpens(), std::vector<int>{3});
        QVERIFY(indexOf(rig->world->takeCalls(), 3, 1280) >= 0);
        QCOMPARE(storedValue(home.path(), QStringLiteral("preview_index")).toInt(), 1);
        b->setPreviewSizeList({QStringLiteral("x")});
        QCOMPARE(b->previewSizeList(), (QStringList{QStringLiteral("1080P 30FPS"), QStringLiteral("720P 30FPS")}));
    }

    void languageType_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("width");
        QTest::newRow("zh_CN") << "zh_CN" << 210;
        QTest::newRow("zh_TW") << "zh_TW" << 210;
        QTest::newRow("en_US") << "en_US" << 320;
        QTest::newRow("empty") << "" << 320;
        QTest::newRow("case") << "ZH_CN" << 320;
    }

    void languageType()
    {
        QFETCH(QString, language);
        QmlData *b = start({{QStringLiteral("language"), language}}, false);
        QTEST(b->getLanguageType(), "width");
    }

    // View switches live in the store and signal only real changes.
    void viewSwitches()
    {
        QmlData *b = start({{QStringLiteral("display_zoom"), true}}, false);
        QSignalSpy zoom(b, &QmlData::displayZoomChanged);
        b->setDisplayZoom(true);
        QCOMPARE(zoom.count(), 0);
        b->setDisplayZoom(false);
        QCOMPARE(zoom.count(), 1);
        QCOMPARE(storedValue(home.path(), QStringLiteral("display_zoom")).toBool(), false);

        QSignalSpy log(b, &QmlData::debugLogChanged);
        b->setDebugLog(true);
        QVERIFY(isLogEnabled());
        QCOMPARE(log.count(), 1);
        b->setDebugLog(false);
        QVERIFY(!isLogEnabled());
    }
};

QTEST_MAIN(TestQmlData)
#include "tst_qmldata.moc"
