// The constant value tables and their accessors: row labels and values that the
// user interface and the INI file rely on, lookups in both directions and the
// preview sizes.

#include "tunnel/paramtunnel.h"

#include <QtTest>

#include <functional>

class TestParamTables : public QObject
{
    Q_OBJECT

private slots:
    void rowLabelsMatchTheirValues();
    void textOfRow_data();
    void textOfRow();
    void indexOfValue_data();
    void indexOfValue();
    void apertureNameOf_data();
    void apertureNameOf();
    void mceTable_data();
    void mceTable();
    void labelListsFollowTheTables();
    void previewSettings_data();
    void previewSettings();
    void platformExposureValues_data();
    void platformExposureValues();
};

// Each label is derived from the value sent, so a wrong digit in either shows.
void TestParamTables::rowLabelsMatchTheirValues()
{
    const QVector<ApertureEntry> apertures = ParamTunnel::apertureList();
    QCOMPARE(apertures.size(), 38);
    QCOMPARE(ParamTunnel::apertureCount(), 38);
    for (int i = 0; i < apertures.size(); ++i) {
        const ApertureEntry &e = apertures.at(i);
        const QString expected = e.fNumber100 < 1000
                                     ? QStringLiteral("F%1").arg(e.fNumber100 / 100.0, 0, 'f', 1)
                                     : QStringLiteral("F%1").arg(e.fNumber100 / 100);
        QCOMPARE(e.label, expected);
        if (i > 0) {
            // Rising values keep "first match" lookups unambiguous.
            QVERIFY2(e.fNumber100 > apertures.at(i - 1).fNumber100, qPrintable(e.label));
            QVERIFY2(e.apex > apertures.at(i - 1).apex, qPrintable(e.label));
        }
    }
    QCOMPARE(apertures.first().apex, quint16(0));
    QCOMPARE(apertures.at(4).apex, quint16(256)); // F1.4: one stop
    QCOMPARE(apertures.at(10).apex, quint16(512)); // F2.0: two stops
    QCOMPARE(apertures.last().apex, quint16(2390));

    const QVector<ExposureEntry> exposures = ParamTunnel::exposureList();
    QCOMPARE(exposures.size(), 11);
    QCOMPARE(ParamTunnel::exposureCount(), 11);
    const int denominators[] = {1000, 640, 320, 200, 120, 100, 60, 50, 33, 30, 24};
    for (int i = 0; i < exposures.size(); ++i) {
        QCOMPARE(exposures.at(i).label, QStringLiteral("1/%1s").arg(denominators[i]));
        QCOMPARE(int(exposures.at(i).value), i < 10 ? i - 10 : 1); // no code 0
    }

    const QVector<LabeledValue> evs = ParamTunnel::evList();
    QCOMPARE(evs.size(), 13);
    QCOMPARE(ParamTunnel::evCount(), 13);
    for (int i = 0; i < evs.size(); ++i) {
        QCOMPARE(evs.at(i).value, i - 6); // thirds of a stop
        QCOMPARE(evs.at(i).label, QString::number(evs.at(i).value / 3.0, 'f', 1));
    }

    const QStringList isos = ParamTunnel::isoList();
    QCOMPARE(ParamTunnel::isoCount(), 14);
    QCOMPARE(isos,
             QStringList({"ISO Auto", "ISO 100", "ISO 150", "ISO 200", "ISO 300", "ISO 400", "ISO 600",
                          "ISO 800", "ISO 1200", "ISO 1600", "ISO 2400", "ISO 3200", "ISO 4800",
                          "ISO 6400"}));

    QCOMPARE(ParamTunnel::awbPresetTemperature(0), 0);
    QCOMPARE(ParamTunnel::awbPresetTemperature(1), 2800);
    QCOMPARE(ParamTunnel::awbPresetTemperature(5), 7500);
    QCOMPARE(ParamTunnel::awbPresetTemperature(6), -1);
    QCOMPARE(ParamTunnel::awbPresetTemperature(-1), -1);
}

using TextOf = std::function<QString(int)>;
Q_DECLARE_METATYPE(TextOf)

void TestParamTables::textOfRow_data()
{
    QTest::addColumn<TextOf>("textOf");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("expected");

    const TextOf aperture = ParamTunnel::apertureText;
    const TextOf exposure = ParamTunnel::exposureText;
    const TextOf iso = ParamTunnel::isoText;
    const TextOf ev = ParamTunnel::evText;
    QTest::newRow("aperture first") << aperture << 0 << "F1.0";
    QTest::newRow("aperture 14") << aperture << 14 << "F2.4";
    QTest::newRow("aperture last") << aperture << 37 << "F25";
    QTest::newRow("aperture past end") << aperture << 38 << "";
    QTest::newRow("aperture negative") << aperture << -1 << "";
    QTest::newRow("exposure last") << exposure << 10 << "1/24s";
    QTest::newRow("exposure past end") << exposure << 11 << "";
    QTest::newRow("exposure negative") << exposure << -1 << "";
    QTest::newRow("iso auto") << iso << 0 << "ISO Auto";
    QTest::newRow("iso last") << iso << 13 << "ISO 6400";
    QTest::newRow("iso past end") << iso << 14 << "";
    QTest::newRow("ev first") << ev << 0 << "-2.0";
    QTest::newRow("ev last") << ev << 12 << "2.0";
    QTest::newRow("ev past end") << ev << 13 << "";
    QTest::newRow("ev negative") << ev << -1 << "";
}

void TestParamTables::textOfRow()
{
    QFETCH(TextOf, textOf);
    QFETCH(int, row);
    QFETCH(QString, expected);
    const QString text = textOf(row);
    QCOMPARE(text, expected);
    QCOMPARE(text.isNull(), expected.isEmpty());
}

void TestParamTables::indexOfValue_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("expected");

    QTest::newRow("aperture F2.4") << "aperture" << 240 << 14;
    QTest::newRow("aperture between rows") << "aperture" << 245 << 0;
    QTest::newRow("aperture last") << "aperture" << 2500 << 37;
    QTest::newRow("aperture zero") << "aperture" << 0 << 0;
    QTest::newRow("exposure 1/24s") << "exposure" << 1 << 10;
    QTest::newRow("exposure 1/50s") << "exposure" << -3 << 7;
    QTest::newRow("exposure code 0") << "exposure" << 0 << 0;
    QTest::newRow("ev lowest") << "ev" << -6 << 0;
    QTest::newRow("ev zero") << "ev" << 0 << 6;
    QTest::newRow("ev highest") << "ev" << 6 << 12;
    QTest::newRow("ev outside") << "ev" << 7 << 0;
    QTest::newRow("mce lowest") << "mce" << -128 << 0;
    QTest::newRow("mce zero") << "mce" << 0 << 128;
    QTest::newRow("mce highest") << "mce" << 128 << 256;
    QTest::newRow("mce outside") << "mce" << 129 << 0;
}

void TestParamTables::indexOfValue()
{
    QFETCH(QString, table);
    QFETCH(int, value);
    QFETCH(int, expected);
    ParamTunnel tunnel;
    int index = -1;
    if (table == QLatin1String("aperture"))
        index = ParamTunnel::apertureIndexOf(value);
    else if (table == QLatin1String("exposure"))
        index = ParamTunnel::exposureIndexOf(value);
    else if (table == QLatin1String("ev"))
        index = ParamTunnel::evIndexOf(value);
    else
        index = tunnel.mceIndexOf(value);
    QCOMPARE(index, expected);
}

void TestParamTables::apertureNameOf_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("first") << 100 << "F1.0";
    QTest::newRow("F2.4") << 240 << "F2.4";
    QTest::newRow("F2.5") << 250 << "F2.5";
    QTest::newRow("last") << 2500 << "F25";
    QTest::newRow("between rows") << 245 << "Null";
    QTest::newRow("zero") << 0 << "Null";
    QTest::newRow("negative") << -240 << "Null";
}

void TestParamTables::apertureNameOf()
{
    QFETCH(int, value);
    QFETCH(QString, expected);
    QCOMPARE(ParamTunnel::apertureNameOf(value), expected);
}

void TestParamTables::mceTable_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("value");
    QTest::newRow("first") << 0 << "1.000" << -128;
    QTest::newRow("second") << 1 << "1.002" << -127;
    QTest::newRow("third") << 2 << "1.004" << -126;
    QTest::newRow("middle") << 128 << "1.250" << 0;
    QTest::newRow("before last") << 255 << "1.498" << 127;
    QTest::newRow("last") << 256 << "1.500" << 128;
}

void TestParamTables::mceTable()
{
    QFETCH(int, row);
    QFETCH(QString, label);
    QFETCH(int, value);
    ParamTunnel tunnel;
    const QVector<LabeledValue> mce = tunnel.mceList();
    QCOMPARE(mce.size(), 257);
    QCOMPARE(mce.at(row).label, label);
    QCOMPARE(mce.at(row).value, value);
}

void TestParamTables::labelListsFollowTheTables()
{
    ParamTunnel tunnel;
    const QStringList apertures = ParamTunnel::apertureLabels();
    QCOMPARE(apertures.size(), ParamTunnel::apertureCount());
    QCOMPARE(apertures.at(14), QStringLiteral("F2.4"));
    const QStringList exposures = ParamTunnel::exposureLabels();
    QCOMPARE(exposures.size(), ParamTunnel::exposureCount());
    QCOMPARE(exposures.last(), QStringLiteral("1/24s"));
    QCOMPARE(ParamTunnel::isoLabels(), ParamTunnel::isoList());
    const QStringList evs = ParamTunnel::evLabels();
    QCOMPARE(evs.size(), 13);
    QCOMPARE(evs.at(6), QStringLiteral("0.0"));
    const QStringList mce = tunnel.mceLabels();
    QCOMPARE(mce.size(), 257);
    QCOMPARE(mce.first(), QStringLiteral("1.000"));
    QCOMPARE(mce.last(), QStringLiteral("1.500"));
}

void TestParamTables::previewSettings_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QVector<int>>("expected");
    const QVector<int> fullHd{3, 1920, 4, 1080, 5, 30};
    const QVector<int> hd{3, 1280, 4, 720, 5, 30};
    QTest::newRow("1080p") << 0 << fullHd;
    QTest::newRow("720p") << 1 << hd;
    QTest::newRow("past end") << 2 << fullHd;
    QTest::newRow("negative") << -1 << fullHd;
}

void TestParamTables::previewSettings()
{
    QFETCH(int, index);
    QFETCH(QVector<int>, expected);
    ParamTunnel tunnel;
    const std::vector<int> settings = tunnel.previewSettings(index);
    QCOMPARE(QVector<int>(settings.begin(), settings.end()), expected);
}

// What AUTO_EXPOSURE and EXPOSURE receive: DirectShow takes the design's values,
// V4L2 aperture priority and 100 us units, rounded.
void TestParamTables::platformExposureValues_data()
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

void TestParamTables::platformExposureValues()
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

QTEST_GUILESS_MAIN(TestParamTables)
#include "tst_paramtables.moc"
