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

    // The priming pass and the full write as the menu runs them. MCE red reaches roll only where the
    // driver maps it (uvcvideo since 2.6.37 maps extension units only); else the debug text says so.
    void fullSync()
    {
        writeIni(m_store->filePath(),
                 {{"aec_Mod", 1}, {"aperture_value", 320}, {"exposure_time", -5}, {"skin_smoothing", true},
                  {"iso_value", 7}, {"ev_value", -2}, {"afd_value", 1}, {"awb_value", 6}, {"color_temperature", 45},
                  {"warmness_value", -3}, {"saturation_value", 2}, {"contrast_value", 8}, {"sharpness_value", 30},
                  {"uvc_mce_r", 10}, {"uvc_mce_g", -20}, {"uvc_mce_b", 100}, {"sce_value", 1500}});
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
            const int expected[][2] = {
                {VCAM_REG_GAIN, 7}, {VCAM_REG_BRIGHTNESS, -2}, {VCAM_REG_BACKLIGHT, 1}, {VCAM_REG_WB_TEMPERATURE, 6500},
                {VCAM_REG_HUE, -300}, {VCAM_REG_SATURATION, 2}, {VCAM_REG_CONTRAST, 8}, {VCAM_REG_SHARPNESS, 30},
                {VCAM_REG_PAN, -20}, {VCAM_REG_TILT, 100}, {VCAM_REG_ZOOM, 1500}, {VCAM_REG_GAMMA, 128},
                {VCAM_REG_ROLL, driverMapsRoll ? 10 : rollBefore}};
            for (const auto &reg : expected)
                QCOMPARE(vcam_register_value(0, reg[0]), reg[1]);
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

    // What only the driver shows: saturation needs no pause, and in automatic exposure (aperture
    // priority) a UVC camera refuses an exposure time until switched to manual.
    void singleWrites()
    {
        const int exposure = cv::CAP_PROP_EXPOSURE, autoExposure = cv::CAP_PROP_AUTO_EXPOSURE, saturation = -1;
        const struct {
            const char *op;
            int arg, prop, expected;
        } writes[] = {{"saturation", 8, saturation, 8}, {"aec", 0, autoExposure, 3}, {"exposure", 7, exposure, 1250},
                      {"aec", 3, autoExposure, 3}, {"aec", 2, exposure, 1250}};
        for (const auto &w : writes) {
            QVERIFY(applyWrite(w.op, w.arg, m_tunnel, *m_link, *m_store));
            QVERIFY2(vcam_violations(0) == 0, qPrintable(w.op + (": " + violationReport())));
            QVERIFY(!vcam_selector_open(0));
            QCOMPARE(w.prop == saturation ? vcam_register_value(0, VCAM_REG_SATURATION)
                                          : int(CaptureSession(*m_link).get(w.prop)),
                     w.expected);
        }
    }
};

QTEST_GUILESS_MAIN(TestTunnelVcam)
#include "tst_tunnelvcam.moc"
