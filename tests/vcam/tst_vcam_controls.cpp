// Controls as OpenCV's V4L2 backend reaches them through uvcvideo: the value
// rules, the roll that does not land, the debug read-back and the GET_CUR cache.
#include "vcam_test_util.h"

#include <QtTest>

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
        QVERIFY(!cap.set(cv::CAP_PROP_AUTO_EXPOSURE, 0)); // auto: not offered (EINVAL)
        QVERIFY(!cap.set(cv::CAP_PROP_AUTO_EXPOSURE, 2)); // shutter priority: not offered
        QVERIFY(!cap.set(cv::CAP_PROP_AUTO_EXPOSURE, 4)); // no such entry (ERANGE)
        QVERIFY(!cap.set(cv::CAP_PROP_AUTO_EXPOSURE, -1));
        QCOMPARE(cap.get(cv::CAP_PROP_AUTO_EXPOSURE), 3.0);
        QVERIFY(cap.set(cv::CAP_PROP_AUTO_EXPOSURE, 1));
        QCOMPARE(cap.get(cv::CAP_PROP_AUTO_EXPOSURE), 1.0);
    }

    // Roll (MCE red) has no V4L2 control: OpenCV's set fails and no register
    // changes. (The rows that land: the tunnel's vcam test; blue balance: the
    // firmware test's violations.)
    void rollIsUnreachable()
    {
        QVERIFY(!tunnelWrite(cap, cv::CAP_PROP_ROLL, 50));
        QVERIFY(vcam_register_value(0, VCAM_REG_ROLL) != 50);
        QCOMPARE(vcam_violations(0), 0);
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
