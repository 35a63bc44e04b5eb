// The value tables as the user interface and the INI file see them: labels
// derived from the values sent, lookups both ways, the MCE factors, preview
// sizes and the platform's exposure values.

#include "tunnel/paramtunnel.h"

#include <QtTest>

class TestParamTables : public QObject
{
    Q_OBJECT

private slots:
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
        QCOMPARE(mce.at(1).label, QStringLiteral("1.002"));
        QCOMPARE(tunnel.mceLabels().at(255), QStringLiteral("1.498"));
    }

    // Lookups by row and by value, with rows and values outside the tables.
    void lookup_data()
    {
        QTest::addColumn<QString>("actual");
        QTest::addColumn<QString>("expected");
        ParamTunnel t;
        const auto row = [](const char *name, const QString &actual, const QString &expected) {
            QTest::newRow(name) << actual << expected;
        };
        const auto n = [](int v) { return QString::number(v); };
        const auto preview = [&t](int index) {
            QStringList parts;
            for (int v : t.previewSettings(index))
                parts << QString::number(v);
            return parts.join(QLatin1Char(' '));
        };
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
        row("preview 1080p", preview(0), "3 1920 4 1080 5 30");
        row("preview 720p", preview(1), "3 1280 4 720 5 30");
        row("preview past end", preview(2), "3 1920 4 1080 5 30");
    }

    void lookup()
    {
        QFETCH(QString, actual);
        QFETCH(QString, expected);
        QCOMPARE(actual, expected);
    }

    // What AUTO_EXPOSURE and EXPOSURE receive: DirectShow the table's values,
    // V4L2 aperture priority and 100 us units, rounded.
    void platformExposureValues_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("sent");
    #ifdef Q_OS_WIN
        for (const int code : {-10, -3, 1})
            QTest::addRow("code %d", code) << code << code;
    #else
        QTest::newRow("1/1000s") << -10 << 10;
        QTest::newRow("1/640s, rounded up") << -9 << 20;
        QTest::newRow("1/100s, half rounded up") << -5 << 313;
        QTest::newRow("1/50s") << -3 << 1250;
        QTest::newRow("1/30s") << -1 << 5000;
        QTest::newRow("1/24s") << 1 << 20000;
    #endif
    }

    void platformExposureValues()
    {
        QFETCH(int, code);
        QFETCH(int, sent);
        QCOMPARE(ParamTunnel::exposureControlValue(code), sent);
    #ifdef Q_OS_WIN
        QCOMPARE(ParamTunnel::autoExposureOnValue(), 1);
    #else
        QCOMPARE(ParamTunnel::autoExposureOnValue(), 3);
    #endif
    }
};

QTEST_GUILESS_MAIN(TestParamTables)
#include "tst_paramtables.moc"
