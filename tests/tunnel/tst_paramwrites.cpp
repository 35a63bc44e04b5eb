// The tunnel's single operations: each route's traffic and pauses, what is stored and when, the checks
// that stop it, the flag register; the value lists' labels and lookups; the debug read-back (not waiting:
// tst_capturethreads).

#include "support/fakecamera.h"

class TestParamWrites : public QObject
{
    Q_OBJECT

private slots:
    // The routes: what each kind of write sends and when it stores. (Every parameter's value list,
    // encoding and control: the round trip through the virtual camera, tst_tunnelvcam.) Stored
    // beforehand: AEC mode 3, aperture F3.2, exposure 1/100s. A refused write leaves its key as it was.
    void write_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("arg");
        QTest::addColumn<bool>("open");
        QTest::addColumn<QString>("trace");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("storedBeforeSend");

        const auto row = [](const char *name, Params::Id id, int arg, const char *trace, const char *key,
                            const QVariant &stored, bool open = true, bool storedFirst = false) {
            QTest::newRow(name) << int(id) << arg << open << trace << key << stored << storedFirst;
        };
        // The AEC modes' direct writes with the stored iris and exposure time; nothing while closed.
        row("aec auto", Params::AecMode, 0, "AE:on 36:0", "aec_Mod", 0);
        row("aec manual", Params::AecMode, 1, "36:320 EXP:-5", "aec_Mod", 1);
        row("aec exposure manual", Params::AecMode, 2, "36:0 EXP:-5", "aec_Mod", 2);
        row("aec aperture manual", Params::AecMode, 3, "AE:on 36:320", "aec_Mod", 3);
        row("aec closed", Params::AecMode, 1, "", "aec_Mod", 3, false);
        // Direct: a plain set, no pause; nothing at all while closed.
        row("aperture F2.4", Params::Aperture, 14, "36:240", "aperture_value", 240);
        row("aperture closed", Params::Aperture, 14, "", "aperture_value", 320, false);
        // Tunnelled: open, 100 ms, value, close; then stored, whether the camera is open or not.
        row("sce 7", Params::Sce, 7, "28:89 p100 27:700 28:0", "sce_value", 700);
        row("iso closed", Params::Iso, 13, "28:89 p100 14:13 28:0", "iso_value", 13, false);
        // Saturation goes without the pause; the colour temperature is stored first.
        row("saturation", Params::Saturation, 3, "28:89 12:3 28:0", "saturation_value", 3);
        row("colour temperature", Params::ColorTemperature, 60, "28:89 p100 WB:8000 28:0", "color_temperature", 60,
            true, true);
    }

    void write()
    {
        QFETCH(int, id);
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

        f.tunnel.write(Params::Id(id), arg, *f.link, *f.store);
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
                const Params::Id id = c.steps[i].startsWith("skin") ? Params::SkinSmoothing : Params::BrightMode;
                f.tunnel.write(id, c.steps[i].endsWith('+'), *f.link, *f.store);
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
        const auto check = [](Params::Id id, const std::function<QString(int index, int value)> &expected) {
            for (int i = 0; i < Params::count(id); ++i) {
                const int v = Params::storedAt(id, i);
                QVERIFY2(Params::label(id, i) == expected(i, v), qPrintable(Params::label(id, i)));
                QVERIFY(i == 0 || v > Params::storedAt(id, i - 1));
            }
        };
        check(Params::Aperture, [](int, int v) {
            return v < 1000 ? QStringLiteral("F%1").arg(v / 100.0, 0, 'f', 1) : QStringLiteral("F%1").arg(v / 100);
        });
        const int denominators[] = {1000, 640, 320, 200, 120, 100, 60, 50, 33, 30, 24};
        check(Params::ExposureTime, [&](int i, int v) { // codes -10 ... -1, then 1: no code 0
            return v == (i < 10 ? i - 10 : 1) ? QStringLiteral("1/%1s").arg(denominators[i]) : QString();
        });
        check(Params::Ev, [](int, int v) { return QString::number(v / 3.0, 'f', 1); }); // thirds of a stop
        check(Params::Warmness, [](int, int v) { return QString::number(v); });
        check(Params::ColorTemperature, [](int i, int) { return QString::number(i + 20) + QStringLiteral("00K"); });
        // The MCE factor 1 + index/512 with three exact decimals.
        check(Params::MceG, [](int i, int) { return QString::number(1.0 + i / 512.0, 'f', 3); });
    }

    // Lookups by row and by value, with rows and values outside the tables.
    void lookup()
    {
        ParamTunnel t;
        const auto row = [](const char *name, const QString &actual, const QString &expected) {
            QVERIFY2(actual == expected, qPrintable(QStringLiteral("%1: %2").arg(name, actual)));
        };
        const auto n = [](int v) { return QString::number(v); };
        row("label past end", Params::label(Params::Iso, 14), "");
        row("label negative", Params::label(Params::Ev, -1), "");
        row("index of a value", n(Params::indexOf(Params::Aperture, 240)), "14");
        row("index between rows", n(Params::indexOf(Params::Aperture, 245)), "0");
        row("aperture name between rows", ParamTunnel::apertureNameOf(245), "Null");
        row("aperture name zero", ParamTunnel::apertureNameOf(0), "Null");
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
