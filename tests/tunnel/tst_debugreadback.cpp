// The debug read-back: read order, 16-bit truncation, gain decoding, the exact
// text, the closed camera and the read-back that must not wait.

#include "support/fakecamera.h"

#include <thread>

class TestDebugReadback : public QObject
{
    Q_OBJECT

private slots:
    void fullText()
    {
        TunnelFixture f;
        f.world->answers[cv::CAP_PROP_BRIGHTNESS] = 345;
        f.world->answers[ParamTunnel::whiteBalanceProperty()] = 52;
        f.world->answers[cv::CAP_PROP_PAN] = 228;
        f.world->answers[cv::CAP_PROP_TILT] = 160;
        f.world->answers[cv::CAP_PROP_SATURATION] = 48;
        f.world->answers[cv::CAP_PROP_GAIN] = 16;
        f.world->answers[cv::CAP_PROP_CONTRAST] = 28;
        f.world->answers[cv::CAP_PROP_SHARPNESS] = 1200;

        const QString text = f.tunnel.readDebugInfo(*f.link);

        QCOMPARE(text, QStringLiteral(" R_gain:      1.125\n"
                                      " B_gain:      0.250\n"
                                      " Lux_index:   345\n"
                                      " Color_temp:  5200\n"
                                      " Luma_target: 48\n"
                                      " ISO:         1600\n"
                                      " Aperture:    F2.8\n"
                                      " Exposure:    1200\n"));
        // Focus first, then the eight values in the firmware's order; no writes.
        QCOMPARE(f.world->takeTrace(), QStringLiteral("get:28 get:10 get:WB get:33 get:34 get:12 get:14 get:11 get:20"));
        const DebugReadout d = f.tunnel.debugReadout();
        QCOMPARE(QVector<int>({d.luxIndex, d.colorTemp, d.rGain, d.bGain, d.lumaTarget, d.iso, d.aperture, d.exposure}),
                 QVector<int>({345, 52, 228, 160, 48, 16, 28, 1200}));
    }

    // One answer on one control, and the line of the text that shows it.
    void line_data()
    {
        QTest::addColumn<int>("prop");
        QTest::addColumn<double>("answer");
        QTest::addColumn<QString>("expected");

        const int r = cv::CAP_PROP_PAN;
        QTest::newRow("gain 127 (highest)") << r << 127.0 << " R_gain:      31.500";
        QTest::newRow("gain 300 keeps 44") << r << 300.0 << " R_gain:      5.500";
        QTest::newRow("gain -1 keeps 255") << r << -1.0 << " R_gain:      1.969";
        QTest::newRow("blue gain 96") << int(cv::CAP_PROP_TILT) << 96.0 << " B_gain:      16.000";

        const int lux = cv::CAP_PROP_BRIGHTNESS;
        QTest::newRow("lux truncated") << lux << 1234.9 << " Lux_index:   1234";
        QTest::newRow("lux truncated toward zero") << lux << -0.9 << " Lux_index:   0";
        QTest::newRow("lux above 16 bits") << lux << 70000.0 << " Lux_index:   4464";
        QTest::newRow("lux not a number") << lux << std::nan("") << " Lux_index:   0";
        QTest::newRow("colour temp highest")
            << ParamTunnel::whiteBalanceProperty() << 65535.0 << " Color_temp:  6553500";
        QTest::newRow("aperture truncated") << int(cv::CAP_PROP_CONTRAST) << 23.5 << " Aperture:    F2.3";
        QTest::newRow("aperture -1") << int(cv::CAP_PROP_CONTRAST) << -1.0 << " Aperture:    Null";
        QTest::newRow("exposure -1") << int(cv::CAP_PROP_SHARPNESS) << -1.0 << " Exposure:    65535";
    }

    void line()
    {
        QFETCH(int, prop);
        QFETCH(double, answer);
        QFETCH(QString, expected);

        TunnelFixture f;
        f.world->answers[prop] = answer;
        const QStringList lines = f.tunnel.readDebugInfo(*f.link).split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 9); // a line feed after each of the eight lines
        QVERIFY(lines.last().isEmpty());
        QVERIFY2(lines.contains(expected), qPrintable(lines.join(QLatin1Char('|'))));
    }

    void closedCamera()
    {
        TunnelFixture f;
        f.world->answers[cv::CAP_PROP_BRIGHTNESS] = 77;
        f.tunnel.readDebugInfo(*f.link);
        f.world->takeTrace();
        f.world->answers[cv::CAP_PROP_BRIGHTNESS] = 12;
        f.link->camClose();

        QCOMPARE(f.tunnel.readDebugInfo(*f.link), QStringLiteral("Get failed!"));
        QString text;
        QVERIFY(f.tunnel.tryReadDebugInfo(*f.link, &text));
        QCOMPARE(text, QStringLiteral("Get failed!"));
        QCOMPARE(f.world->takeTrace(), QString());
        QCOMPARE(f.tunnel.debugReadout().luxIndex, quint16(77)); // the last good read stays
    }

    // While a transaction holds the camera, tryReadDebugInfo gives up at once and
    // leaves everything alone; readDebugInfo waits for the transaction's end.
    void tryReadWhileATransactionRuns()
    {
        TunnelFixture f;
        std::atomic<bool> started{false};
        std::thread writer([&] {
            CaptureSession session(*f.link);
            session.set(cv::CAP_PROP_FOCUS, 89);
            started = true;
            QThread::msleep(300);
            session.set(cv::CAP_PROP_FOCUS, 0);
        });
        while (!started)
            QThread::msleep(1);

        // Had it waited, it would have read after the close and succeeded. (How
        // soon each call returns is up to the scheduler of a loaded machine; only
        // the order of the traffic is checked.)
        QString text = QStringLiteral("previous");
        QVERIFY(!f.tunnel.tryReadDebugInfo(*f.link, &text));
        QCOMPARE(text, QStringLiteral("previous"));

        const QString waited = f.tunnel.readDebugInfo(*f.link);
        writer.join();
        QVERIFY(waited.startsWith(QLatin1String(" R_gain:")));
        const QString trace = f.world->takeTrace();
        QVERIFY2(trace.startsWith(QLatin1String("28:89 28:0 get:28")), qPrintable(trace));

        QVERIFY(f.tunnel.tryReadDebugInfo(*f.link, &text));
        QCOMPARE(text, waited);
    }
};

QTEST_GUILESS_MAIN(TestDebugReadback)
#include "tst_debugreadback.moc"
