// The tunnel's single operations: each write's traffic and pauses, what is stored and when, the checks
// that stop it, the flag register; the value tables; the debug read-back (not waiting: tst_capturethreads).

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
        row("mce red last", "mceR", 256, "28:89 p100 35:128 28:0", "uvc_mce_r", 128);
        row("mce red past end", "mceR", 257, "", "uvc_mce_r", none);
        row("mce green", "mceG", 200, "28:89 p100 33:72 28:0", "uvc_mce_g", 72);
        row("mce blue negative", "mceB", -1, "", "uvc_mce_b", none);
        row("mce blue", "mceB", 1, "28:89 p100 34:-127 28:0", "uvc_mce_b", -127);
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
        f.checkStored({{key, stored}});
    }

    // Skin smoothing (bit 7) and bright mode (bit 6) share GAMMA: each switch
    // sends the other's state, starting from what loadFlags found stored.
    void flagRegister()
    {
        const struct {
            bool storedSkin, storedBright;
            QStringList steps;
            QList<int> gamma;
        } cases[] = {{true, false, {"bright+", "skin-"}, {192, 64}},
                     {false, false, {"skin+", "bright+", "bright-"}, {128, 192, 128}},
                     {true, true, {"bright-", "skin-"}, {128, 0}}};
        for (const auto &c : cases) {
            TunnelFixture f;
            f.store->setSkinSmoothing(c.storedSkin);
            f.store->setBrightMode(c.storedBright);
            f.tunnel.loadFlags(*f.store);
            QCOMPARE(int(f.tunnel.flagRegister()), (c.storedSkin ? 128 : 0) + (c.storedBright ? 64 : 0));
            QStringList sent;
            for (int i = 0; i < c.steps.size(); ++i) {
                applyWrite(c.steps[i].chopped(1), c.steps[i].endsWith('+'), f.tunnel, *f.link, *f.store);
                sent << QStringLiteral("28:89 p100 22:%1 28:0").arg(c.gamma[i]);
            }
            QCOMPARE(f.world->takeTrace(), sent.join(QLatin1Char(' ')));
            QCOMPARE(int(f.tunnel.flagRegister()), c.gamma.last());
            QCOMPARE(f.store->getSkinSmoothing(), bool(c.gamma.last() & 128));
            QCOMPARE(f.store->getBrightMode(), bool(c.gamma.last() & 64));
        }
    }

    // The default pause sleeps at least as asked (a loaded machine makes it longer, never shorter).
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

    // Each label follows from its value, so a wrong digit in either shows; rising
    // values keep the first-match lookups unambiguous.
    void labelsMatchValues()
    {
        const QVector<ApertureEntry> apertures = ParamTunnel::apertureList();
        QCOMPARE(apertures.size(), 38);
        for (int i = 0; i < apertures.size(); ++i) {
            const ApertureEntry &e = apertures.at(i);
            QCOMPARE(e.label, e.fNumber100 < 1000 ? QStringLiteral("F%1").arg(e.fNumber100 / 100.0, 0, 'f', 1)
                                                  : QStringLiteral("F%1").arg(e.fNumber100 / 100));
            QVERIFY(i == 0 || (e.fNumber100 > apertures.at(i - 1).fNumber100 && e.apex > apertures.at(i - 1).apex));
        }
        const int denominators[] = {1000, 640, 320, 200, 120, 100, 60, 50, 33, 30, 24};
        const QVector<ExposureEntry> exposures = ParamTunnel::exposureList();
        QCOMPARE(exposures.size(), 11);
        for (int i = 0; i < exposures.size(); ++i) {
            QCOMPARE(exposures.at(i).label, QStringLiteral("1/%1s").arg(denominators[i]));
            QCOMPARE(int(exposures.at(i).value), i < 10 ? i - 10 : 1); // no code 0
        }
        const QVector<LabeledValue> evs = ParamTunnel::evList();
        QCOMPARE(evs.size(), 13);
        for (int i = 0; i < evs.size(); ++i) {
            QCOMPARE(evs.at(i).value, i - 6); // thirds of a stop
            QCOMPARE(evs.at(i).label, QString::number(evs.at(i).value / 3.0, 'f', 1));
        }
        // The MCE factor 1 + code/512 with three exact decimals.
        ParamTunnel tunnel;
        const QVector<LabeledValue> mce = tunnel.mceList();
        QCOMPARE(mce.size(), 257);
        for (int i = 0; i < mce.size(); ++i) {
            QCOMPARE(mce.at(i).value, i - 128);
            QCOMPARE(mce.at(i).label, QString::number(1.0 + i / 512.0, 'f', 3));
        }
        QCOMPARE(tunnel.mceLabels().at(255), QStringLiteral("1.498"));
    }

    // Lookups by row and by value, with rows and values outside the tables.
    void lookup()
    {
        ParamTunnel t;
        const auto row = [](const char *name, const QString &actual, const QString &expected) {
            QVERIFY2(actual == expected, qPrintable(QStringLiteral("%1: %2").arg(name, actual)));
        };
        const auto n = [](int v) { return QString::number(v); };
        row("aperture text past end", ParamTunnel::apertureText(38), "");
        row("aperture text negative", ParamTunnel::apertureText(-1), "");
        row("exposure text past end", ParamTunnel::exposureText(11), "");
        row("iso text past end", ParamTunnel::isoText(14), "");
        row("ev text negative", ParamTunnel::evText(-1), "");
        row("aperture index", n(ParamTunnel::apertureIndexOf(240)), "14");
        row("aperture index between rows", n(ParamTunnel::apertureIndexOf(245)), "0");
        row("exposure index 1/24s", n(ParamTunnel::exposureIndexOf(1)), "10");
        row("exposure index code 0", n(ParamTunnel::exposureIndexOf(0)), "0");
        row("ev index outside", n(ParamTunnel::evIndexOf(7)), "0");
        row("mce index zero", n(t.mceIndexOf(0)), "128");
        row("mce index outside", n(t.mceIndexOf(129)), "0");
        row("aperture name between rows", ParamTunnel::apertureNameOf(245), "Null");
        row("aperture name zero", ParamTunnel::apertureNameOf(0), "Null");
        row("awb shade", n(ParamTunnel::awbPresetTemperature(5)), "7500");
        row("awb manual", n(ParamTunnel::awbPresetTemperature(6)), "-1");
        row("awb negative", n(ParamTunnel::awbPresetTemperature(-1)), "-1");
        row("preview 1080p", n(t.previewSettings(0) == Preview1080), "1");
        row("preview 720p", n(t.previewSettings(1) == Preview720), "1");
        row("preview past end", n(t.previewSettings(2) == Preview1080), "1");
    #ifndef Q_OS_WIN // V4L2: aperture priority, and 100 us units, rounded
        row("auto exposure on", n(ParamTunnel::autoExposureOnValue()), "3");
        row("exposure 1/1000s", n(ParamTunnel::exposureControlValue(-10)), "10");
        row("exposure 1/640s, rounded up", n(ParamTunnel::exposureControlValue(-9)), "20");
        row("exposure 1/100s, half rounded up", n(ParamTunnel::exposureControlValue(-5)), "313");
        row("exposure 1/24s", n(ParamTunnel::exposureControlValue(1)), "20000");
    #endif
    }

    // Focus first, then the eight values in the firmware's order; no writes.
    // Closed, the text says so and the last good read stays.
    void debugText()
    {
        TunnelFixture f;
        const int props[] = {cv::CAP_PROP_BRIGHTNESS, ParamTunnel::whiteBalanceProperty(), cv::CAP_PROP_PAN,
                             cv::CAP_PROP_TILT, cv::CAP_PROP_SATURATION, cv::CAP_PROP_GAIN, cv::CAP_PROP_CONTRAST,
                             cv::CAP_PROP_SHARPNESS};
        const QVector<int> answers{345, 52, 228, 160, 48, 16, 28, 1200};
        for (int i = 0; i < answers.size(); ++i)
            f.world->answers[props[i]] = answers[i];

        QCOMPARE(f.tunnel.readDebugInfo(*f.link), QStringLiteral(" R_gain:      1.125\n B_gain:      0.250\n"
                                                                  " Lux_index:   345\n Color_temp:  5200\n"
                                                                  " Luma_target: 48\n ISO:         1600\n"
                                                                  " Aperture:    F2.8\n Exposure:    1200\n"));
        QCOMPARE(f.world->takeTrace(), QStringLiteral("get:28 get:10 get:WB get:33 get:34 get:12 get:14 get:11 get:20"));
        const DebugReadout d = f.tunnel.debugReadout();
        QCOMPARE(QVector<int>({d.luxIndex, d.colorTemp, d.rGain, d.bGain, d.lumaTarget, d.iso, d.aperture,
                               d.exposure}),
                 answers);

        f.world->answers[cv::CAP_PROP_BRIGHTNESS] = 12;
        f.link->camClose();
        QCOMPARE(f.tunnel.readDebugInfo(*f.link), QStringLiteral("Get failed!"));
        QString text;
        QVERIFY(f.tunnel.tryReadDebugInfo(*f.link, &text));
        QCOMPARE(text, QStringLiteral("Get failed!"));
        QCOMPARE(f.world->takeTrace(), QString());
        QCOMPARE(f.tunnel.debugReadout().luxIndex, quint16(345));
    }

    // One answer on one control, and the line of the text that shows it.
    void line()
    {
        const int r = cv::CAP_PROP_PAN, lux = cv::CAP_PROP_BRIGHTNESS, aperture = cv::CAP_PROP_CONTRAST;
        const struct {
            int prop;
            double answer;
            QString expected;
        } cases[] = {{r, 127, " R_gain:      31.500"}, // the highest gain
                     {r, 300, " R_gain:      5.500"},  // keeps 44
                     {r, -1, " R_gain:      1.969"},   // keeps 255
                     {lux, 1234.9, " Lux_index:   1234"},
                     {lux, -0.9, " Lux_index:   0"}, // toward zero
                     {lux, 70000, " Lux_index:   4464"},
                     {lux, std::nan(""), " Lux_index:   0"},
                     {ParamTunnel::whiteBalanceProperty(), 65535, " Color_temp:  6553500"},
                     {aperture, 23.5, " Aperture:    F2.3"},
                     {aperture, -1, " Aperture:    Null"},
                     {cv::CAP_PROP_SHARPNESS, -1, " Exposure:    65535"}};
        for (const auto &c : cases) {
            TunnelFixture f;
            f.world->answers[c.prop] = c.answer;
            const QStringList lines = f.tunnel.readDebugInfo(*f.link).split(QLatin1Char('\n'));
            QVERIFY2(lines.contains(c.expected), qPrintable(lines.join(QLatin1Char('|'))));
        }
    }
};

QTEST_GUILESS_MAIN(TestParamWrites)
#include "tst_paramwrites.moc"
