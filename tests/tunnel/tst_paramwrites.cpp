// Single parameter writes: exact traffic with its pauses, what is stored and
// when, the checks that stop a write, the AEC modes and the shared flag
// register; and that a pause really lasts.

#include "support/fakecamera.h"

class TestParamWrites : public QObject
{
    Q_OBJECT

private slots:
    // Stored beforehand: AEC mode 3, aperture F3.2, exposure 1/100s. A refused
    // write leaves its key at that value (or absent).
    void write_data()
    {
        QTest::addColumn<QString>("op");
        QTest::addColumn<int>("arg");
        QTest::addColumn<bool>("open");
        QTest::addColumn<QString>("trace");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("storedBeforeSend");

        const QVariant none;
        const auto row = [](const char *name, const char *op, int arg, const char *trace, const char *key,
                            const QVariant &stored, bool open = true, bool storedFirst = false) {
            QTest::newRow(name) << op << arg << open << trace << key << stored << storedFirst;
        };
        // Direct writes: plain sets, no pause; nothing at all while closed.
        row("aec auto", "aec", 0, "AE:on 36:0", "aec_Mod", 0);
        row("aec manual", "aec", 1, "36:320 EXP:-5", "aec_Mod", 1);
        row("aec exposure manual", "aec", 2, "36:0 EXP:-5", "aec_Mod", 2);
        row("aec aperture manual", "aec", 3, "AE:on 36:320", "aec_Mod", 3);
        row("aec mode 4", "aec", 4, "", "aec_Mod", 3);
        row("aec negative", "aec", -1, "", "aec_Mod", 3);
        row("aec closed", "aec", 1, "", "aec_Mod", 3, false);
        row("aperture F2.4", "aperture", 14, "36:240", "aperture_value", 240);
        row("aperture past end", "aperture", 38, "", "aperture_value", 320);
        row("aperture negative", "aperture", -1, "", "aperture_value", 320);
        row("aperture closed", "aperture", 14, "", "aperture_value", 320, false);
        row("exposure 1/24s", "exposure", 10, "EXP:1", "exposure_time", 1);
        row("exposure 1/50s", "exposure", 7, "EXP:-3", "exposure_time", -3);
        row("exposure past end", "exposure", 11, "", "exposure_time", -5);
        row("exposure closed", "exposure", 7, "", "exposure_time", -5, false);
        // Tunnelled: open, 100 ms, value, close; then stored.
        row("sce 7", "sce", 7, "28:89 p100 27:700 28:0", "sce_value", 700);
        row("iso 6400", "iso", 13, "28:89 p100 14:13 28:0", "iso_value", 13);
        row("ev lowest", "ev", 0, "28:89 p100 10:-6 28:0", "ev_value", -6);
        row("ev highest", "ev", 12, "28:89 p100 10:6 28:0", "ev_value", 6);
        row("ev past end", "ev", 13, "", "ev_value", none);
        row("afd 60Hz", "afd", 2, "28:89 p100 32:2 28:0", "afd_value", 2);
        row("awb daylight", "awb", 3, "28:89 p100 WB:6500 28:0", "awb_value", 3);
        row("awb manual preset", "awb", 6, "", "awb_value", none);
        row("warmness lowest", "warmness", -15, "28:89 p100 13:-1500 28:0", "warmness_value", -15);
        row("contrast", "contrast", 10, "28:89 p100 11:10 28:0", "contrast_value", 10);
        row("sharpness", "sharpness", 36, "28:89 p100 20:36 28:0", "sharpness_value", 36);
        row("mce red first", "mceR", 0, "28:89 p100 35:-128 28:0", "uvc_mce_r", -128);
        row("mce red last", "mceR", 256, "28:89 p100 35:128 28:0", "uvc_mce_r", 128);
        row("mce red past end", "mceR", 257, "", "uvc_mce_r", none);
        row("mce green", "mceG", 200, "28:89 p100 33:72 28:0", "uvc_mce_g", 72);
        row("mce blue negative", "mceB", -1, "", "uvc_mce_b", none);
        row("mce blue", "mceB", 1, "28:89 p100 34:-127 28:0", "uvc_mce_b", -127);
        row("skin smoothing on", "skin", 1, "28:89 p100 22:128 28:0", "skin_smoothing", true);
        row("bright mode on", "bright", 1, "28:89 p100 22:64 28:0", "bright_mode", true);
        // Saturation goes without the pause; the colour temperature is stored first.
        row("saturation", "saturation", 3, "28:89 12:3 28:0", "saturation_value", 3);
        row("colour temperature", "colortemp", 60, "28:89 p100 WB:8000 28:0", "color_temperature", 60, true, true);
        // Tunnelled writes do not look at the camera: sent into the void, stored.
        row("iso closed", "iso", 13, "28:89 p100 14:13 28:0", "iso_value", 13, false);
    }

    void write()
    {
        QFETCH(QString, op);
        QFETCH(int, arg);
        QFETCH(bool, open);
        QFETCH(QString, trace);
        QFETCH(QString, key);
        QFETCH(QVariant, stored);

        TunnelFixture f;
        f.writeIni({{"aec_Mod", 3}, {"aperture_value", 320}, {"exposure_time", -5}});
        f.store->getAecMod(), f.store->getApertureValue(), f.store->getExposureTime(); // the store knows them
        if (!open)
            f.link->camClose();
        // Whether the key had changed to its new value by the last set.
        bool storedAtLastSet = false;
        const QString path = f.store->filePath();
        const QVariant before = QSettings(path, QSettings::IniFormat).value(key);
        f.world->onSet = [&] {
            const QVariant now = QSettings(path, QSettings::IniFormat).value(key);
            storedAtLastSet = now == stored && now != before;
        };

        QVERIFY(applyWrite(op, arg, f.tunnel, *f.link, *f.store));
        QCOMPARE(f.world->takeTrace(), trace);
        if (!trace.isEmpty())
            QTEST(storedAtLastSet, "storedBeforeSend");
        f.world->onSet = nullptr;
        f.checkStored({{key, stored}});
    }

    // Skin smoothing (bit 7) and bright mode (bit 6) share GAMMA: each switch
    // sends the other's state, starting from what loadFlags found stored.
    void flagRegister_data()
    {
        QTest::addColumn<bool>("storedSkin");
        QTest::addColumn<bool>("storedBright");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QList<int>>("gamma");

        QTest::newRow("skin stored") << true << false << QStringList{"bright+", "skin-"} << QList<int>{192, 64};
        QTest::newRow("nothing stored") << false << false << QStringList{"skin+", "bright+", "bright-"}
                                        << QList<int>{128, 192, 128};
        QTest::newRow("both stored, skin on again") << true << true << QStringList{"skin+"} << QList<int>{192};
        QTest::newRow("both stored, both off") << true << true << QStringList{"bright-", "skin-"} << QList<int>{128, 0};
    }

    void flagRegister()
    {
        QFETCH(bool, storedSkin);
        QFETCH(bool, storedBright);
        QFETCH(QStringList, steps);
        QFETCH(QList<int>, gamma);

        TunnelFixture f;
        f.store->setSkinSmoothing(storedSkin);
        f.store->setBrightMode(storedBright);
        f.tunnel.loadFlags(*f.store);
        QCOMPARE(int(f.tunnel.flagRegister()), (storedSkin ? 128 : 0) + (storedBright ? 64 : 0));
        for (const QString &step : steps)
            applyWrite(step.chopped(1), step.endsWith(QLatin1Char('+')), f.tunnel, *f.link, *f.store);

        QStringList sent;
        for (int g : gamma)
            sent << QStringLiteral("28:89 p100 22:%1 28:0").arg(g);
        QCOMPARE(f.world->takeTrace(), sent.join(QLatin1Char(' ')));
        QCOMPARE(int(f.tunnel.flagRegister()), gamma.last());
        QCOMPARE(f.store->getSkinSmoothing(), bool(gamma.last() & 128));
        QCOMPARE(f.store->getBrightMode(), bool(gamma.last() & 64));
    }

    // The pauses above are the tunnel's requests; the default pause sleeps at
    // least that long (a loaded machine may make it longer, never shorter).
    void realPauses()
    {
        TunnelFixture f;
        ParamTunnel real;
        QElapsedTimer clock;
        clock.start();
        real.setIso(3, *f.link, *f.store);
        real.storeToCamera(*f.link);
        QVERIFY2(clock.elapsed() >= 200, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(f.world->takeTrace(), QStringLiteral("28:89 14:3 28:0 28:249 28:0"));
    }
};

QTEST_GUILESS_MAIN(TestParamWrites)
#include "tst_paramwrites.moc"
