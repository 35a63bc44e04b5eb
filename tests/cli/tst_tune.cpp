// vexlo-tune against two virtual cameras, in process: its exit codes and JSON, a profile applied to
// every camera, and its writes beside a window that streams and syncs the same camera.

#include "cli/tune.h"
#include "camera/devicelock.h"
#include "settings/profile.h"
#include "support/fakecamera.h"
#include "tunnel/cameracontrol.h"
#include "vcam_control.h"

namespace {

struct Run
{
    int code;
    QString out, err;
    QJsonArray cameras() const { return QJsonDocument::fromJson(out.toUtf8()).object()["cameras"].toArray(); }
};

Run tune(const QStringList &args)
{
    Run r;
    QTextStream out(&r.out), err(&r.err);
    r.code = Tune::run(args, out, err);
    return r;
}

// The registers that tunedSettings() gives (MCE red reaches roll where the driver maps it).
const QList<QPair<int, int>> TunedRegisters = {
    {VCAM_REG_GAIN, 7},     {VCAM_REG_BRIGHTNESS, -2}, {VCAM_REG_BACKLIGHT, 1}, {VCAM_REG_WB_TEMPERATURE, 6500},
    {VCAM_REG_HUE, -300},   {VCAM_REG_SATURATION, 2},  {VCAM_REG_CONTRAST, 8},  {VCAM_REG_SHARPNESS, 30},
    {VCAM_REG_ROLL, 10},    {VCAM_REG_PAN, -20},       {VCAM_REG_TILT, 128},    {VCAM_REG_ZOOM, 1500},
    {VCAM_REG_GAMMA, 0x80}};

} // namespace

class TestTune : public QObject
{
    Q_OBJECT

    TempHome m_home;
    QString configPath() const { return m_home.path() + "/Vexlo/config.ini"; }

private slots:
    void init()
    {
        QFile::remove(configPath());
        for (int k = 0; k < 2; ++k) {
            vcam_set_map_any_entity(k, 1);
            QFile::remove(QString(qgetenv("VEXLO_VCAM_STORE")) + (k ? ".1" : ""));
            vcam_reset(k);
        }
    }

    // What is refused changes neither the settings file nor a camera.
    void refused_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("says");
        QTest::newRow("help") << QStringList{"set", "--help"} << 0 << "  color_temperature  2000K ... 8000K\n";
        QTest::newRow("no command") << QStringList{"--all"} << 1 << "no command given";
        QTest::newRow("unknown option") << QStringList{"sync", "--fast"} << 1 << "unknown option --fast";
        QTest::newRow("store after set") << QStringList{"set", "iso_value=1", "--store"} << 1 << "apply only";
        QTest::newRow("unknown key") << QStringList{"set", "iso=1"} << 1 << "no tuning key iso";
        QTest::newRow("value refused") << QStringList{"set", "ev_value=1", "iso_value=99"} << 3
                                       << "iso_value: 99 is out of range (0 to 13)";
        QTest::newRow("no such camera") << QStringList{"store", "--camera", "5"} << 2 << "no such camera: 5";
        QTest::newRow("bad profile") << QStringList{"apply", "--all", "--store", "nothing.ini"} << 3
                                     << "nothing.ini: no readable file";
    }
    void refused()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, says);
        const Run r = tune(args);
        QCOMPARE(r.code, code);
        QVERIFY2((r.out + r.err).contains(says), qPrintable(r.out + r.err));
        QVERIFY(!QFile::exists(configPath()));
        for (int k = 0; k < 2; ++k)
            QCOMPARE(vcam_store_count(k) + vcam_violations(k) + vcam_register_value(k, VCAM_REG_BRIGHTNESS), 0);
    }

    void listAndShow()
    {
        const QJsonArray list = tune({"list", "--json"}).cameras();
        QCOMPARE(list.size(), 2);
        QCOMPARE(list[1].toObject()["node"].toString(), QString("/dev/video2"));
        QCOMPARE(list[1].toObject()["usbPath"].toString(), QString("usb-0000:00:14.0-2"));
        QVERIFY(list[1].toObject()["serial"].isNull());

        const Run set = tune({"set", "--camera", "/dev/video2", "iso_value=ISO 200", "ev_value=-1"});
        QCOMPARE(set.code, 0);
        QCOMPARE(vcam_register_value(1, VCAM_REG_GAIN), 3);
        QCOMPARE(vcam_register_value(1, VCAM_REG_BRIGHTNESS), -1);
        QCOMPARE(vcam_register_value(0, VCAM_REG_BRIGHTNESS), 0);

        const QJsonArray show = tune({"show", "--camera", "1", "--json"}).cameras();
        QCOMPARE(show.size(), 1);
        const QJsonObject values = show[0].toObject()["values"].toObject();
        QCOMPARE(values.size(), int(Params::Count));
        QCOMPARE(values["iso_value"].toObject()["label"].toString(), QString("ISO 200"));
        QCOMPARE(values["bright_mode"].toObject()["value"], QJsonValue(false));
        QCOMPARE(show[0].toObject()["debug"].toObject()["ISO"].toString(), QString("200"));
        QCOMPARE(show[0].toObject()["debug"].toObject().size(), 8);
    }

    // A profile saved from the window's settings, applied to every camera and stored: registers, what
    // each camera keeps over a power cycle and the settings file equal the profile; no violation.
    void applyAllStore()
    {
        writeIni(configPath(), tunedSettings());
        QString error;
        Profile profile;
        {
            SettingsStore window;
            profile = Profile::fromSettings(window);
        }
        QVERIFY(writeProfile(m_home.path() + "/line.profile", profile, &error));
        QFile::remove(configPath());

        const Run r = tune({"apply", "--all", "--store", "--json", m_home.path() + "/line.profile"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.cameras().size(), 2);
        QCOMPARE(r.err.count("done in"), 2);
        for (int k = 0; k < 2; ++k) {
            QCOMPARE(r.cameras()[k].toObject()["exit"].toInt(), 0);
            for (int powerCycle = 0; powerCycle < 2; ++powerCycle) {
                if (powerCycle)
                    vcam_reset(k);
                for (const auto &reg : TunedRegisters)
                    QCOMPARE(vcam_register_value(k, reg.first), reg.second);
            }
            QCOMPARE(vcam_violations(k), 0);
        }
        SettingsStore settings;
        QVERIFY(Profile::fromSettings(settings).values == profile.values);
    }

    // A lock folder that is a link (planted in the shared /tmp, say) is not followed into.
    void lockFolderLinkNotFollowed()
    {
        QTemporaryDir runtime, elsewhere;
        QVERIFY(QFile::link(elsewhere.path(), runtime.path() + "/vexlo-locks"));
        const QByteArray own = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^No camera lock"));
        QVERIFY(DeviceLock("usb-1").lock(0) && QDir(elsewhere.path()).isEmpty());
        qputenv("XDG_RUNTIME_DIR", own);
    }

    // Beside a window that streams the camera: while the window holds a transaction the command gives up
    // as busy; while the window syncs, a set waits for the sync's end, and nothing interleaves.
    void besideTheWindow()
    {
        SettingsStore store;
        ParamTunnel tunnel;
        CameraLink window;
        window.enumerateDevices();
        QVERIFY(window.camOpen(0, tunnel.previewSettings(1)));
        std::atomic<bool> stop{false};
        std::atomic<int> frames{0};
        std::thread stream([&] {
            while (!stop)
                frames += !window.grabFrame().isNull();
        });
        QTRY_VERIFY(frames > 0);
        {
            CaptureSession transaction(window);
            const Run busy = tune({"set", "--wait", "0", "sharpness_value=20"});
            QCOMPARE(busy.code, 2);
            QVERIFY(busy.err.contains("camera busy"));
        }
        {
            CameraControl control(&window, &store, &tunnel);
            control.postSync(false);
            QTRY_VERIFY(vcam_selector_open(0));
            QCOMPARE(tune({"set", "sharpness_value=20"}).code, 0);
            QTRY_VERIFY_WITH_TIMEOUT(control.idle(), 10000);
        }
        stop = true;
        stream.join();
        QCOMPARE(vcam_register_value(0, VCAM_REG_SHARPNESS), 20);
        QCOMPARE(vcam_violations(0), 0);
    }
};

QTEST_GUILESS_MAIN(TestTune)
#include "tst_tune.moc"
