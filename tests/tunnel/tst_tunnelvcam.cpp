// The tunnel against the virtual camera through OpenCV's V4L2 backend: no
// protocol violation, and every register holds what was sent.

#include "support/fakecamera.h"
#include "tunnel/cameracontrol.h"
#include "vcam_control.h"

namespace {

QString violationReport()
{
    QStringList parts;
    for (int kind = 0; kind < VCAM_V_COUNT; ++kind)
        parts << QStringLiteral("%1 x%2").arg(vcam_violation_name(kind)).arg(vcam_violation_count(0, kind));
    return parts.join(QStringLiteral(", "));
}

} // namespace

class TestTunnelVcam : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    std::unique_ptr<CameraLink> m_link;
    std::unique_ptr<SettingsStore> m_store;
    ParamTunnel m_tunnel;

private slots:
    void initTestCase()
    {
        qputenv("HOME", m_home.path().toLocal8Bit());
        m_store = std::make_unique<SettingsStore>();
        m_link = std::make_unique<CameraLink>();
    }

    // The priming pass and the full write as the menu runs them, with no protocol violation (what they
    // send: tst_bulkwrites; that each control reaches its register: roundTrip). MCE red reaches roll only
    // where the driver maps it (uvcvideo since 2.6.37 maps extension units only); else the debug text
    // says so.
    void fullSync()
    {
        writeIni(m_store->filePath(), tunedSettings());
        for (const bool driverMapsRoll : {false, true}) {
            if (!driverMapsRoll) {
                QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^ROLL reaches no control: .*V4L2_CID_ROTATE "
                                                                      "\\(UVCIOC_CTRL_MAP: No such file or directory"));
            }
            vcam_unplug(0);
            vcam_set_map_any_entity(0, driverMapsRoll);
            vcam_replug(0); // with the driver's mappings gone
            QVERIFY(m_link->camOpen(0, m_tunnel.previewSettings(1)));
            vcam_reset(0);
            const int rollBefore = vcam_register_value(0, VCAM_REG_ROLL);
            {
                CameraControl control(m_link.get(), m_store.get(), &m_tunnel);
                QSignalSpy done(&control, &CameraControl::done);
                control.postSync(false);
                QVERIFY(done.wait(10000));
            }

            QVERIFY2(vcam_violations(0) == 0, qPrintable(violationReport()));
            QVERIFY(!vcam_selector_open(0));
            QCOMPARE(vcam_register_value(0, VCAM_REG_ROLL), driverMapsRoll ? 10 : rollBefore);
            // AEC mode 1: aperture and exposure time (1/100 s) reach their controls.
            CaptureSession session(*m_link);
            QCOMPARE(session.get(cv::CAP_PROP_IRIS), 320.0);
            QCOMPARE(session.get(cv::CAP_PROP_EXPOSURE), 313.0);
            QCOMPARE(session.get(cv::CAP_PROP_AUTO_EXPOSURE), 1.0);
            // Eight values, and the row that cannot reach the camera.
            const QStringList lines = m_tunnel.readDebugInfo(*m_link).split(QLatin1Char('\n'));
            QCOMPARE(lines.size(), driverMapsRoll ? 9 : 10);
            QCOMPARE(lines.contains(" No control:  MCE red"), !driverMapsRoll);
        }
    }

    // Every parameter both ways between the ends of its value list: the value in the INI file is read,
    // the other end written through the tunnel reaches the camera's register (or control) and the file,
    // and a value past that end changes neither. No write breaks the protocol, saturation's without
    // its pause included; the exposure time goes out in manual exposure (on V4L2 it switches first).
    void roundTrip()
    {
        struct End { int arg, stored, reg; };
        const int iris = -cv::CAP_PROP_IRIS, exposure = -cv::CAP_PROP_EXPOSURE;
        const struct {
            Params::Id id;
            const char *key;
            int reg; // a register, or minus the capture property of a direct control
            End low, high;
        } rows[] = {
            {Params::BrightMode, "bright_mode", VCAM_REG_GAMMA, {0, 0, 0}, {1, 1, 64}},
            {Params::SkinSmoothing, "skin_smoothing", VCAM_REG_GAMMA, {0, 0, 0}, {1, 1, 128}},
            {Params::AecMode, "aec_Mod", iris, {0, 0, 0}, {3, 3, 240}}, // the stored aperture in mode 3
            {Params::Afd, "afd_value", VCAM_REG_BACKLIGHT, {0, 0, 0}, {3, 3, 3}},
            {Params::Awb, "awb_value", VCAM_REG_WB_TEMPERATURE, {0, 0, 0}, {5, 5, 7500}}, // 6: sends nothing itself
            {Params::Aperture, "aperture_value", iris, {0, 100, 100}, {37, 2500, 2500}},
            {Params::ExposureTime, "exposure_time", exposure, {0, -10, 10}, {10, 1, 10000}}, // 2 s: the longest
            {Params::Iso, "iso_value", VCAM_REG_GAIN, {0, 0, 0}, {13, 13, 13}},
            {Params::Ev, "ev_value", VCAM_REG_BRIGHTNESS, {0, -6, -6}, {12, 6, 6}},
            {Params::Sce, "sce_value", VCAM_REG_ZOOM, {0, 0, 0}, {15, 1500, 1500}},
            {Params::Saturation, "saturation_value", VCAM_REG_SATURATION, {0, 0, 0}, {10, 10, 10}},
            {Params::Contrast, "contrast_value", VCAM_REG_CONTRAST, {0, 0, 0}, {10, 10, 10}},
            {Params::Sharpness, "sharpness_value", VCAM_REG_SHARPNESS, {0, 0, 0}, {36, 36, 36}},
            {Params::Warmness, "warmness_value", VCAM_REG_HUE, {-15, -15, -1500}, {15, 15, 1500}}, // by level
            {Params::MceR, "uvc_mce_r", VCAM_REG_ROLL, {0, -128, -128}, {256, 128, 128}},
            {Params::MceG, "uvc_mce_g", VCAM_REG_PAN, {0, -128, -128}, {256, 128, 128}},
            {Params::MceB, "uvc_mce_b", VCAM_REG_TILT, {0, -128, -128}, {256, 128, 128}},
            {Params::ColorTemperature, "color_temperature", VCAM_REG_WB_TEMPERATURE, {0, 0, 2000}, {60, 60, 8000}},
        };
        QCOMPARE(int(std::size(rows)), int(Params::Count));
        vcam_unplug(0);
        vcam_set_map_any_entity(0, true); // MCE red reaches roll
        vcam_replug(0);
        QVERIFY(m_link->camOpen(0, m_tunnel.previewSettings(1)));
        const QString path = m_store->filePath();
        const auto reg = [this](int r) {
            return r >= 0 ? vcam_register_value(0, r) : int(CaptureSession(*m_link).get(-r));
        };
        for (const auto &r : rows) {
            const auto text = [&r](int v) { return Params::isSwitch(r.id) ? v ? "true" : "false" : QString::number(v); };
            for (const auto &ends : {std::make_pair(r.low, r.high), std::make_pair(r.high, r.low)}) {
                const End &from = ends.first, &to = ends.second;
                m_store.reset();
                QFile::remove(path);
                writeIni(path, {{r.key, text(from.stored)}});
                m_store = std::make_unique<SettingsStore>();
                QCOMPARE(m_store->get(r.id), from.stored);
                m_tunnel.loadFlags(*m_store);
                m_tunnel.write(r.id, to.arg, *m_link, *m_store);
                m_tunnel.write(r.id, to.arg + (to.arg > from.arg ? 1 : -1), *m_link, *m_store);
                QVERIFY2(reg(r.reg) == to.reg, r.key);
                QVERIFY2(vcam_violations(0) == 0, qPrintable(r.key + (": " + violationReport())));
                QVERIFY(!vcam_selector_open(0));
                m_store.reset(); // written out
                QCOMPARE(QSettings(path, QSettings::IniFormat).value(r.key).toString(), text(to.stored));
            }
        }
        m_store = std::make_unique<SettingsStore>();
    }
};

QTEST_GUILESS_MAIN(TestTunnelVcam)
#include "tst_tunnelvcam.moc"
