// Single parameter writes: the exact traffic with its pauses, what is stored
// and when, the checks that stop a write, the AEC modes and the shared flag
// register.

#include "recordingcapture.h"

#include <QSettings>
#include <QtTest>

#include <functional>

namespace {

using Write = std::function<void(ParamTunnel &, int, CameraLink &, SettingsStore &)>;

const QHash<QString, Write> &writes()
{
    static const QHash<QString, Write> table = {
        {"aec", [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s) { t.setAecMode(v, c, s); }},
        {"aperture", [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s) { t.setAperture(v, c, s); }},
        {"exposure", [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s) { t.setExposureTime(v, c, s); }},
        {"skin", [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s) { t.setSkinSmoothing(v != 0, c, s); }},
        {"bright", [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s) { t.setBrightMode(v != 0, c, s); }},
        {"sce", [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s) { t.setSce(v, c, s); }},
        {"iso", [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s) { t.setIso(v, c, s); }},
        {"ev", [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s) { t.setEv(v, c, s); }},
        {"afd", [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s) { t.setAfd(v, c, s); }},
        {"awb", [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s) { t.setAwb(v, c, s); }},
        {"colortemp", [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s) { t.setColorTemperature(v, c, s); }},
        {"warmness", [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s) { t.setWarmness(v, c, s); }},
        {"saturation", [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s) { t.setSaturation(v, c, s); }},
        {"contrast", [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s) { t.setContrast(v, c, s); }},
        {"sharpness", [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s) { t.setSharpness(v, c, s); }},
        {"mceR", [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s) { t.setMceR(v, c, s); }},
        {"mceG", [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s) { t.setMceG(v, c, s); }},
        {"mceB", [](ParamTunnel &t, int v, CameraLink &c, SettingsStore &s) { t.setMceB(v, c, s); }},
    };
    return table;
}

// The pauses that a trace shows, in ms.
int pausesIn(const QString &trace)
{
    int total = 0;
    const QRegularExpression pause(QStringLiteral(R"( \+(\d+)ms )"));
    auto it = pause.globalMatch(trace);
    while (it.hasNext())
        total += it.next().captured(1).toInt();
    return total;
}

} // namespace

class TestParamWrites : public QObject
{
    Q_OBJECT

private slots:
    void write_data();
    void write();
    void aecMode_data();
    void aecMode();
    void flagRegister_data();
    void flagRegister();
};

void TestParamWrites::write_data()
{
    QTest::addColumn<QString>("op");
    QTest::addColumn<int>("arg");
    QTest::addColumn<bool>("open");
    QTest::addColumn<QString>("trace");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("stored"); // invalid: the key must stay absent
    QTest::addColumn<bool>("storedBeforeSend");

    const QVariant none;
    // Direct writes: one set, no transaction, no pause.
    QTest::newRow("aperture F2.4") << "aperture" << 14 << true << "36:240" << "aperture_value" << QVariant(240) << false;
    QTest::newRow("aperture past end") << "aperture" << 38 << true << "" << "aperture_value" << none << false;
    QTest::newRow("aperture negative") << "aperture" << -1 << true << "" << "aperture_value" << none << false;
    QTest::newRow("aperture closed") << "aperture" << 14 << false << "" << "aperture_value" << none << false;
    QTest::newRow("exposure 1/24s") << "exposure" << 10 << true << "EXP:1" << "exposure_time" << QVariant(1) << false;
    QTest::newRow("exposure 1/50s") << "exposure" << 7 << true << "EXP:-3" << "exposure_time" << QVariant(-3) << false;
    QTest::newRow("exposure past end") << "exposure" << 11 << true << "" << "exposure_time" << none << false;
    QTest::newRow("exposure closed") << "exposure" << 7 << false << "" << "exposure_time" << none << false;

    // Tunnelled writes: open, 100 ms, value, close at once; then stored.
    QTest::newRow("sce 7") << "sce" << 7 << true << "28:89 +100ms 27:700 28:0" << "sce_value" << QVariant(700) << false;
    QTest::newRow("iso 6400") << "iso" << 13 << true << "28:89 +100ms 14:13 28:0" << "iso_value" << QVariant(13) << false;
    QTest::newRow("ev lowest") << "ev" << 0 << true << "28:89 +100ms 10:-6 28:0" << "ev_value" << QVariant(-6) << false;
    QTest::newRow("ev highest") << "ev" << 12 << true << "28:89 +100ms 10:6 28:0" << "ev_value" << QVariant(6) << false;
    QTest::newRow("ev past end") << "ev" << 13 << true << "" << "ev_value" << none << false;
    QTest::newRow("afd 60Hz") << "afd" << 2 << true << "28:89 +100ms 32:2 28:0" << "afd_value" << QVariant(2) << false;
    QTest::newRow("awb daylight") << "awb" << 3 << true << "28:89 +100ms WB:6500 28:0" << "awb_value" << QVariant(3) << false;
    QTest::newRow("awb shade") << "awb" << 5 << true << "28:89 +100ms WB:7500 28:0" << "awb_value" << QVariant(5) << false;
    QTest::newRow("awb manual preset") << "awb" << 6 << true << "" << "awb_value" << none << false;
    QTest::newRow("warmness lowest") << "warmness" << -15 << true << "28:89 +100ms 13:-1500 28:0" << "warmness_value" << QVariant(-15) << false;
    QTest::newRow("contrast 10") << "contrast" << 10 << true << "28:89 +100ms 11:10 28:0" << "contrast_value" << QVariant(10) << false;
    QTest::newRow("sharpness 36") << "sharpness" << 36 << true << "28:89 +100ms 20:36 28:0" << "sharpness_value" << QVariant(36) << false;
    QTest::newRow("mce red first") << "mceR" << 0 << true << "28:89 +100ms 35:-128 28:0" << "uvc_mce_r" << QVariant(-128) << false;
    QTest::newRow("mce red last") << "mceR" << 256 << true << "28:89 +100ms 35:128 28:0" << "uvc_mce_r" << QVariant(128) << false;
    QTest::newRow("mce red past end") << "mceR" << 257 << true << "" << "uvc_mce_r" << none << false;
    QTest::newRow("mce green") << "mceG" << 200 << true << "28:89 +100ms 33:72 28:0" << "uvc_mce_g" << QVariant(72) << false;
    QTest::newRow("mce blue") << "mceB" << 1 << true << "28:89 +100ms 34:-127 28:0" << "uvc_mce_b" << QVariant(-127) << false;
    QTest::newRow("mce blue negative") << "mceB" << -1 << true << "" << "uvc_mce_b" << none << false;
    QTest::newRow("skin smoothing on") << "skin" << 1 << true << "28:89 +100ms 22:128 28:0" << "skin_smoothing" << QVariant(true) << false;
    QTest::newRow("bright mode on") << "bright" << 1 << true << "28:89 +100ms 22:64 28:0" << "bright_mode" << QVariant(true) << false;
    // Saturation: the value follows the opening write at once.
    QTest::newRow("saturation") << "saturation" << 3 << true << "28:89 12:3 28:0" << "saturation_value" << QVariant(3) << false;
    // The colour temperature is stored before it is sent.
    QTest::newRow("colour temperature 6500 K") << "colortemp" << 45 << true << "28:89 +100ms WB:6500 28:0" << "color_temperature" << QVariant(45) << true;
    QTest::newRow("colour temperature 8000 K") << "colortemp" << 60 << true << "28:89 +100ms WB:8000 28:0" << "color_temperature" << QVariant(60) << true;
    // Tunnelled writes do not look at the camera: sent into the void, stored.
    QTest::newRow("iso closed") << "iso" << 13 << false << "28:89 +100ms 14:13 28:0" << "iso_value" << QVariant(13) << false;
}

void TestParamWrites::write()
{
    QFETCH(QString, op);
    QFETCH(int, arg);
    QFETCH(bool, open);
    QFETCH(QString, trace);
    QFETCH(QString, key);
    QFETCH(QVariant, stored);
    QFETCH(bool, storedBeforeSend);

    TunnelFixture f;
    f.capture->setOpened(open);
    // Whether the key is already in the store at the last write of the traffic.
    bool storedAtLastSet = false;
    const QString path = f.store->filePath();
    f.capture->setOnSet([&](int, double) { storedAtLastSet = QSettings(path, QSettings::IniFormat).contains(key); });

    QElapsedTimer clock;
    clock.start();
    writes().value(op)(f.tunnel, arg, *f.link, *f.store);
    const qint64 elapsedMs = clock.elapsed();

    QCOMPARE(f.capture->trace(), trace);
    const int pauses = pausesIn(trace);
    QVERIFY2(elapsedMs >= pauses - 5
                 && elapsedMs < pauses + (pauses ? RecordingCapture::PauseSlackMs : RecordingCapture::NoPauseMs),
             qPrintable(QStringLiteral("took %1 ms, pauses %2 ms").arg(elapsedMs).arg(pauses)));
    if (!trace.isEmpty())
        QCOMPARE(storedAtLastSet, storedBeforeSend);
    QCOMPARE(f.storedValue(key), stored);
}

// The direct writes of each AEC mode, with aperture F3.2 and exposure 1/100s
// stored and mode 3 stored before.
void TestParamWrites::aecMode_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("open");
    QTest::addColumn<QString>("trace");
    QTest::addColumn<int>("storedMode");

    QTest::newRow("auto") << 0 << true << "AE:on 36:0" << 0;
    QTest::newRow("manual") << 1 << true << "36:320 EXP:-5" << 1;
    QTest::newRow("exposure manual") << 2 << true << "36:0 EXP:-5" << 2;
    QTest::newRow("aperture manual") << 3 << true << "AE:on 36:320" << 3;
    QTest::newRow("mode 4") << 4 << true << "" << 3;
    QTest::newRow("negative mode") << -1 << true << "" << 3;
    QTest::newRow("camera closed") << 1 << false << "" << 3;
}

void TestParamWrites::aecMode()
{
    QFETCH(int, mode);
    QFETCH(bool, open);
    QFETCH(QString, trace);
    QFETCH(int, storedMode);

    TunnelFixture f;
    f.store->getAecMod();
    f.store->setAecMod(3);
    f.store->getApertureValue();
    f.store->setApertureValue(320);
    f.store->getExposureTime();
    f.store->setExposureTime(-5);
    f.capture->setOpened(open);

    QElapsedTimer clock;
    clock.start();
    f.tunnel.setAecMode(mode, *f.link, *f.store);
    QVERIFY2(clock.elapsed() < RecordingCapture::NoPauseMs, "direct writes must not pause");

    QCOMPARE(f.capture->trace(), trace);
    QCOMPARE(f.storedValue(QStringLiteral("aec_Mod")), QVariant(storedMode));
}

// Skin smoothing (bit 7) and bright mode (bit 6) share GAMMA: each switch must
// send the other's state along, starting from what loadFlags found stored.
void TestParamWrites::flagRegister_data()
{
    QTest::addColumn<bool>("storedSkin");
    QTest::addColumn<bool>("storedBright");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QList<int>>("gamma");
    QTest::addColumn<bool>("finalSkin");
    QTest::addColumn<bool>("finalBright");

    QTest::newRow("skin stored, bright on, skin off")
        << true << false << QStringList{"bright+", "skin-"} << QList<int>{192, 64} << false << true;
    QTest::newRow("nothing stored") << false << false << QStringList{"skin+", "bright+", "bright-"}
                                    << QList<int>{128, 192, 128} << true << false;
    QTest::newRow("both stored, skin on again")
        << true << true << QStringList{"skin+"} << QList<int>{192} << true << true;
    QTest::newRow("both stored, both off")
        << true << true << QStringList{"bright-", "skin-"} << QList<int>{128, 0} << false << false;
}

void TestParamWrites::flagRegister()
{
    QFETCH(bool, storedSkin);
    QFETCH(bool, storedBright);
    QFETCH(QStringList, steps);
    QFETCH(QList<int>, gamma);
    QFETCH(bool, finalSkin);
    QFETCH(bool, finalBright);

    TunnelFixture f;
    f.store->setSkinSmoothing(storedSkin);
    f.store->setBrightMode(storedBright);
    f.tunnel.loadFlags(*f.store);
    QCOMPARE(int(f.tunnel.flagRegister()), (storedSkin ? 128 : 0) + (storedBright ? 64 : 0));

    for (const QString &step : steps) {
        const bool on = step.endsWith(QLatin1Char('+'));
        if (step.startsWith(QLatin1String("skin")))
            f.tunnel.setSkinSmoothing(on, *f.link, *f.store);
        else
            f.tunnel.setBrightMode(on, *f.link, *f.store);
    }

    QList<int> sent;
    for (const CaptureCall &c : f.capture->calls()) {
        if (c.prop == cv::CAP_PROP_GAMMA)
            sent << int(c.value);
    }
    QCOMPARE(sent, gamma);
    QCOMPARE(int(f.tunnel.flagRegister()), gamma.last());
    QCOMPARE(f.store->getSkinSmoothing(), finalSkin);
    QCOMPARE(f.store->getBrightMode(), finalBright);
}

QTEST_GUILESS_MAIN(TestParamWrites)
#include "tst_paramwrites.moc"
