// Controls as OpenCV's V4L2 backend reaches them through uvcvideo: the value
// rules, the roll mapping, the debug read-back and the GET_CUR cache.
#include "vcam_test_util.h"

#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <linux/uvcvideo.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace vcamtest;

class TestVcamControls : public QObject {
    Q_OBJECT
    cv::VideoCapture cap;

private slots:
    void initTestCase() { QVERIFY(openCamera(cap)); }

    void init()
    {
        vcam_reset(0);
        vcam_set_auto_update(0, 1);
    }

    // uvcvideo rounds to the step from the minimum, clamps signed controls
    // to the range and unsigned ones as unsigned (negatives become the maximum).
    void valueRules_data()
    {
        QTest::addColumn<int>("prop");
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("reg");
        QTest::addColumn<int>("expected");
        QTest::newRow("signed clamp high") << int(cv::CAP_PROP_BRIGHTNESS) << 100.0 << int(VCAM_REG_BRIGHTNESS) << 64;
        QTest::newRow("signed step half up") << int(cv::CAP_PROP_HUE) << 150.0 << int(VCAM_REG_HUE) << 200;
        QTest::newRow("unsigned clamp") << int(cv::CAP_PROP_ZOOM) << 5000.0 << int(VCAM_REG_ZOOM) << 2000;
        QTest::newRow("unsigned negative to max") << int(cv::CAP_PROP_GAIN) << -1.0 << int(VCAM_REG_GAIN) << 100;
        QTest::newRow("value is rounded by OpenCV") << int(cv::CAP_PROP_GAMMA) << 63.6 << int(VCAM_REG_GAMMA) << 64;
    }

    void valueRules()
    {
        QFETCH(int, prop);
        QFETCH(double, value);
        QFETCH(int, reg);
        QFETCH(int, expected);
        QVERIFY(tunnelWrite(cap, prop, value));
        QCOMPARE(vcam_register_value(0, reg), expected);
        QCOMPARE(vcam_violations(0), 0);
    }

    void exposureMenuAcceptsOnlySupportedEntries()
    {
        QVERIFY(cap.set(cv::CAP_PROP_AUTO_EXPOSURE, 3)); // aperture priority
        QVERIFY(!cap.set(cv::CAP_PROP_EXPOSURE, 100));    // the camera stalls: wrong state
        QCOMPARE(vcam_violation_count(0, VCAM_V_EXPOSURE_IN_AUTO), 1);
        QVERIFY(!cap.set(cv::CAP_PROP_AUTO_EXPOSURE, 0)); // auto: not offered (EINVAL)
        QVERIFY(!cap.set(cv::CAP_PROP_AUTO_EXPOSURE, 2)); // shutter priority: not offered
        QVERIFY(!cap.set(cv::CAP_PROP_AUTO_EXPOSURE, 4)); // no such entry (ERANGE)
        QVERIFY(!cap.set(cv::CAP_PROP_AUTO_EXPOSURE, -1));
        QCOMPARE(cap.get(cv::CAP_PROP_AUTO_EXPOSURE), 3.0);
        QVERIFY(cap.set(cv::CAP_PROP_AUTO_EXPOSURE, 1));
        QCOMPARE(cap.get(cv::CAP_PROP_AUTO_EXPOSURE), 1.0);
        QVERIFY(cap.set(cv::CAP_PROP_EXPOSURE, 100));
    }

    // Roll (MCE red) has no V4L2 control of its own. UVCIOC_CTRL_MAP, as
    // uvcvideo answers it: since 2.6.37 only extension-unit controls map (this
    // camera has none); with a lookup over every entity roll maps to ROTATE,
    // where OpenCV sends ROLL, until the camera is unplugged.
    void rollMapping_data()
    {
        QTest::addColumn<bool>("anyEntity");
        QTest::addColumn<int>("selector");
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("error");
        QTest::newRow("extension units only") << false << 0x0f << 16 << ENOENT;
        QTest::newRow("no such control") << true << 0x20 << 16 << ENOENT;
        QTest::newRow("wider than the control") << true << 0x0f << 17 << EINVAL;
        QTest::newRow("roll mapped") << true << 0x0f << 16 << 0;
    }

    void rollMapping()
    {
        QFETCH(bool, anyEntity);
        QFETCH(int, selector);
        QFETCH(int, bits);
        QFETCH(int, error);
        vcam_set_map_any_entity(0, anyEntity);
        const int fd = ::open("/dev/video0", O_RDWR);
        QVERIFY(fd >= 0);
        uvc_xu_control_mapping m{};
        m.id = V4L2_CID_ROTATE;
        m.entity[15] = 1; // the camera terminal
        m.selector = uint8_t(selector);
        m.size = uint8_t(bits);
        m.v4l2_type = V4L2_CTRL_TYPE_INTEGER;
        m.data_type = UVC_CTRL_DATA_TYPE_SIGNED;
        const auto map = [&] { return ::ioctl(fd, UVCIOC_CTRL_MAP, &m) == 0 ? 0 : errno; };
        QCOMPARE(map(), error);
        ::close(fd);
        QCOMPARE(tunnelWrite(cap, cv::CAP_PROP_ROLL, 50), error == 0);
        QCOMPARE(vcam_register_value(0, VCAM_REG_ROLL) == 50, error == 0);
        if (error == 0) {
            const int again = ::open("/dev/video0", O_RDWR);
            QCOMPARE(::ioctl(again, UVCIOC_CTRL_MAP, &m) == 0 ? 0 : errno, EEXIST);
            ::close(again);
            vcam_unplug(0);
            vcam_replug(0);
            QVERIFY(openCamera(cap));
            QVERIFY(!tunnelWrite(cap, cv::CAP_PROP_ROLL, 60));
        }
        QCOMPARE(vcam_violations(0), 0);
        vcam_set_map_any_entity(0, 0);
    }

    // Outside a transaction the camera answers with its debug values (ISO,
    // aperture and colour temperature: the tunnel's vcam test).
    void debugReadBack()
    {
        QCOMPARE(cap.get(cv::CAP_PROP_GAIN), 2.0); // automatic ISO 200
        QVERIFY(cap.set(cv::CAP_PROP_AUTO_EXPOSURE, 1));
        QVERIFY(cap.set(cv::CAP_PROP_EXPOSURE, 417));
        QCOMPARE(cap.get(cv::CAP_PROP_SHARPNESS), 417.0);
        const double r = decodeGain(int(cap.get(cv::CAP_PROP_PAN)));
        const double b = decodeGain(int(cap.get(cv::CAP_PROP_TILT)));
        QVERIFY2(std::abs(r - 1.8) < 1.8 / 32 && std::abs(b - 1.6) < 1.6 / 32, qPrintable(QString("%1 %2").arg(r).arg(b)));
        QCOMPARE(decodeGain(224), 1.0);
        const double lux = cap.get(cv::CAP_PROP_BRIGHTNESS);
        const double target = cap.get(cv::CAP_PROP_SATURATION);
        QVERIFY(tunnelWrite(cap, cv::CAP_PROP_BRIGHTNESS, 3));
        QVERIFY(cap.get(cv::CAP_PROP_BRIGHTNESS) > lux * 1.2);
        QCOMPARE(cap.get(cv::CAP_PROP_SATURATION), target + 18);
        // Colour temperature sits on WHITE_BALANCE_TEMPERATURE; OpenCV's id 17
        // reads blue balance instead.
        QCOMPARE(cap.get(cv::CAP_PROP_WHITE_BALANCE_BLUE_U), 4096.0);
        QCOMPARE(vcam_violations(0), 0);
    }

    // A camera without AUTO_UPDATE on its debug controls: uvcvideo answers
    // from its cache after the first read, and with the written value after a write.
    void cachedCamera()
    {
        vcam_set_auto_update(0, 0);
        const double target = cap.get(cv::CAP_PROP_SATURATION);
        QVERIFY(tunnelWrite(cap, cv::CAP_PROP_BRIGHTNESS, 6));
        QCOMPARE(cap.get(cv::CAP_PROP_SATURATION), target); // stale
        QVERIFY(tunnelWrite(cap, cv::CAP_PROP_SATURATION, 7));
        QCOMPARE(cap.get(cv::CAP_PROP_SATURATION), 7.0); // the written value, not the luma target
        vcam_set_auto_update(0, 1);
        vcam_reset(0);
        QCOMPARE(cap.get(cv::CAP_PROP_SATURATION), 56.0);
    }
};

QTEST_GUILESS_MAIN(TestVcamControls)
#include "tst_vcam_controls.moc"
