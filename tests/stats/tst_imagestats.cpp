// Image statistics against pictures of known values: the virtual camera's test picture through MJPG
// (grey steps, colour bars, the flat background), with its registers changed, in all four turns, and
// through the panel's backend object with its statistics thread and a held reference.
#include "support/fakecamera.h"

#include "backend/imagestats.h"
#include "settings/settingsstore.h"
#include "stats/framestats.h"
#include "stats/statsworker.h"
#include "vcam_control.h"

using namespace FrameStats;

namespace {

// Regions of the virtual camera's picture at 1920 x 1080, inside its patches (away from the edges
// that the JPEG blocks blur), and the colour drawn there (red, green, blue).
struct Patch
{
    const char *name;
    QRectF region;
    int r, g, b;
};

QRectF px(int x, int y, int w, int h) { return QRectF(x / 1920.0, y / 1080.0, w / 1920.0, h / 1080.0); }

QRectF greyStep(int i) { return px(i * 120 + 30, 493, 60, 70); }
QRectF bar(int i) { return px(i * 240 + 60, 100, 120, 250); }
const QRectF Background = px(100, 985, 1700, 80);
const QRectF LinePairs = px(600, 660, 300, 200);

const Patch Patches[] = {
    {"grey step 0", greyStep(0), 0, 0, 0},         {"grey step 3", greyStep(3), 51, 51, 51},
    {"grey step 8", greyStep(8), 136, 136, 136},   {"grey step 15", greyStep(15), 255, 255, 255},
    {"white bar", bar(0), 191, 191, 191},          {"yellow bar", bar(1), 191, 191, 0},
    {"cyan bar", bar(2), 0, 191, 191},             {"green bar", bar(3), 0, 191, 0},
    {"magenta bar", bar(4), 191, 0, 191},          {"red bar", bar(5), 191, 0, 0},
    {"blue bar", bar(6), 0, 0, 191},               {"black bar", bar(7), 16, 16, 16},
    {"flat background", Background, 48, 48, 48},
};

double lumaOf(double r, double g, double b) { return 0.299 * r + 0.587 * g + 0.114 * b; }

// A frame from the camera that shows what the registers say now (the buffers queued before a change
// still hold older pictures).
QImage freshFrame(CameraLink &link)
{
    QImage frame;
    for (int good = 0, n = 0; good < 6 && n < 100; ++n) {
        const QImage next = link.grabFrame();
        if (!next.isNull())
            frame = next, ++good;
    }
    return frame;
}

void writeRegister(CameraLink &link, int prop, int value)
{
    link.set(cv::CAP_PROP_FOCUS, 89);
    link.set(prop, value);
    link.set(cv::CAP_PROP_FOCUS, 0);
}

} // namespace

class TestImageStats : public QObject
{
    Q_OBJECT

    TempHome home;
    CameraLink link;
    QImage frames[4]; // the default picture in the four turns

private slots:
    void initTestCase()
    {
        vcam_reset(0);
        QVERIFY(link.camOpen(0, Preview1080));
        for (int turn = 0; turn < 4; ++turn) {
            link.setRotation(turn * 90);
            frames[turn] = freshFrame(link);
            QVERIFY(!frames[turn].isNull());
        }
        link.setRotation(0);
    }
    void cleanup() { vcam_reset(0); }

    // Every patch reads as drawn within one level after MJPG, and the same in every turn of the
    // picture with the region turned along.
    void regionsReadAsDrawn()
    {
        for (const Patch &p : Patches) {
            for (int turn = 0; turn < 4; ++turn) {
                const QString row = QStringLiteral("%1, turned %2").arg(p.name).arg(turn * 90);
                const Region r = measure(frames[turn], turnRect(p.region, turn * 90)).region;
                QVERIFY2(r.valid, qPrintable(row));
                const double expected[4] = {double(p.r), double(p.g), double(p.b), lumaOf(p.r, p.g, p.b)};
                for (int c = 0; c < ChannelCount; ++c) {
                    QVERIFY2(qAbs(r.mean[size_t(c)] - expected[c]) <= 1.0,
                             qPrintable(row + QStringLiteral(" channel %1: %2").arg(c).arg(r.mean[size_t(c)])));
                    QVERIFY2(r.stddev[size_t(c)] < 1.0, qPrintable(row));
                }
                if (p.r == p.g && p.g == p.b && p.g > 0)
                    QVERIFY2(qAbs(r.rOverG - 1) < 0.01 && qAbs(r.bOverG - 1) < 0.01, qPrintable(row));
                QVERIFY2(r.sharpness < 1.0, qPrintable(row));
            }
        }
        // The line pairs are the sharpest part of the picture.
        QVERIFY(measure(frames[0], LinePairs).region.sharpness > 1000);
    }

    // The whole picture's histogram and clipped shares, on pictures split between two levels.
    void histogramAndClipping_data()
    {
        QTest::addColumn<QRgb>("left");
        QTest::addColumn<QRgb>("right");
        QTest::addColumn<QVector<double>>("low");  // per cent: R, G, B, Y
        QTest::addColumn<QVector<double>>("high");
        QTest::newRow("ends clip") << qRgb(2, 2, 2) << qRgb(253, 253, 253) << QVector<double>{50, 50, 50, 50}
                                   << QVector<double>{50, 50, 50, 50};
        QTest::newRow("one inside") << qRgb(3, 3, 3) << qRgb(252, 252, 252) << QVector<double>{0, 0, 0, 0}
                                    << QVector<double>{0, 0, 0, 0};
        QTest::newRow("by channel") << qRgb(255, 0, 128) << qRgb(128, 128, 128) << QVector<double>{0, 50, 0, 0}
                                    << QVector<double>{50, 0, 0, 0};
    }
    void histogramAndClipping()
    {
        QFETCH(QRgb, left);
        QFETCH(QRgb, right);
        QFETCH(QVector<double>, low);
        QFETCH(QVector<double>, high);
        QImage picture(1920, 1080, QImage::Format_RGB32); // big enough to be measured on a grid
        picture.fill(left);
        for (int y = 0; y < picture.height(); ++y)
            std::fill_n(reinterpret_cast<QRgb *>(picture.scanLine(y)) + 960, 960, right);
        const Result r = measure(picture, QRectF());
        QVERIFY(r.valid && !r.region.valid && r.samples <= GridSamples);
        for (int c = 0; c < ChannelCount; ++c) {
            QCOMPARE(qRound(r.clippedLow[size_t(c)] * 100), qRound(low[c]));
            QCOMPARE(qRound(r.clippedHigh[size_t(c)] * 100), qRound(high[c]));
        }
        QCOMPARE(r.histogram[Red * Bins + qRed(left)] + r.histogram[Red * Bins + qRed(right)], r.samples);
        QCOMPARE(r.histogram[Luma * Bins + qRound(lumaOf(qRed(left), qGreen(left), qBlue(left)))] * 2, r.samples);
    }

    // Registers move the figures as the camera's model says: saturation f = register / 5 puts each
    // channel at f x channel + (1 - f) x luma; sharpness sharpens above 12 and blurs below.
    void registersMoveTheFigures()
    {
        SettingsStore settings;
        for (int saturation : {0, 10}) {
            writeRegister(link, cv::CAP_PROP_SATURATION, saturation);
            const QImage frame = freshFrame(link);
            const double f = saturation / 5.0;
            for (const Patch &p : Patches) {
                const double drawn[3] = {double(p.r), double(p.g), double(p.b)};
                const double grey = qRound(lumaOf(p.r, p.g, p.b));
                const Region r = measure(frame, p.region).region;
                for (int c = 0; c < 3; ++c) {
                    const double expected = qBound(0.0, f * drawn[c] + (1 - f) * grey, 255.0);
                    QVERIFY2(qAbs(r.mean[size_t(c)] - expected) <= 1.5,
                             qPrintable(QStringLiteral("saturation %1, %2, channel %3: %4 for %5")
                                            .arg(saturation).arg(p.name).arg(c).arg(r.mean[size_t(c)]).arg(expected)));
                }
            }
        }
        writeRegister(link, cv::CAP_PROP_SATURATION, 5);
        double sharpness[3];
        const int registers[3] = {0, 12, 36};
        for (int i = 0; i < 3; ++i) {
            writeRegister(link, cv::CAP_PROP_SHARPNESS, registers[i]);
            sharpness[i] = measure(freshFrame(link), LinePairs).region.sharpness;
        }
        QVERIFY2(sharpness[0] < sharpness[1] * 0.8 && sharpness[2] > sharpness[1] * 1.2,
                 qPrintable(QStringLiteral("%1 %2 %3").arg(sharpness[0]).arg(sharpness[1]).arg(sharpness[2])));
    }

    // The panel's object: nothing is measured while it is hidden; a region drawn on the turned picture
    // stays on the same part of the scene and in the settings; a held reference of a still region
    // differs from the live picture by nothing.
    void panelObject()
    {
        const QString ini = home.path() + QStringLiteral("/Vexlo/config.ini");
        // A hand-edited region: clipped to the picture, or none when it is no rectangle.
        const struct { const char *text; QRectF region; } stored[] = {
            {"0.5 0.5 2 2", QRectF(0.5, 0.5, 0.5, 0.5)}, {"0.8 0.9 -0.3 -0.4", QRectF(0.5, 0.5, 0.3, 0.4)},
            {"0.1 0.2 0.3", QRectF()}, {"x 0.2 0.3 0.4", QRectF()}, {"2 2 1 1", QRectF()}};
        for (const auto &row : stored) {
            writeIni(ini, {{QStringLiteral("stats_region"), QLatin1String(row.text)}});
            SettingsStore settings;
            QVERIFY2(ImageStats(&settings).region() == row.region, row.text);
        }
        SettingsStore settings;
        ImageStats stats(&settings);
        stats.offerFrame(frames[0], 0);
        QCOMPARE(stats.worker()->postedCount(), 0);

        stats.setVisible(true);
        stats.offerFrame(frames[1], 90);
        stats.setRegion(turnRect(greyStep(8), 90));
        QCOMPARE(QSettings(ini, QSettings::IniFormat).value(QStringLiteral("stats_region")).toString(),
                 QStringLiteral("0.515625 0.456481 0.03125 0.0648148"));
        stats.offerFrame(frames[0], 0);
        QCOMPARE(stats.region(), greyStep(8));
        // Frames keep coming (one every 50 ms at most is measured) until the region's figures show.
        auto lumaAfterFrame = [&](int turn) {
            stats.offerFrame(frames[turn], turn * 90);
            return qRound(stats.live().value(QStringLiteral("mean")).toList().value(Luma).toDouble());
        };
        QTRY_COMPARE_WITH_TIMEOUT(lumaAfterFrame(0), 136, 30000);

        stats.holdReference();
        for (int n = 0; n < 20 && !stats.referenceHeld(); ++n)
            stats.offerFrame(freshFrame(link), 0);
        QVERIFY(stats.referenceHeld());
        stats.offerFrame(frames[1], 90); // the reference was taken upright: it is shown turned
        QCOMPARE(stats.referenceImage().size(), QSize(1080, 1920));
        QTRY_VERIFY_WITH_TIMEOUT((lumaAfterFrame(1), stats.difference().value(QStringLiteral("region")).toBool()),
                                 30000);
        const QVariantMap diff = stats.difference();
        for (const char *key : {"mean", "sd"}) // the whole picture has a moving band
            for (const QVariant &d : diff.value(QLatin1String(key)).toList())
                QVERIFY2(qAbs(d.toDouble()) < 1e-6, key);
        for (const char *key : {"rg", "bg", "sharpness"})
            QVERIFY2(qAbs(diff.value(QLatin1String(key)).toDouble()) < 1e-6, key);
        // A new region measures the reference again there.
        stats.setRegion(turnRect(greyStep(3), 90));
        auto referenceLuma = [&] {
            lumaAfterFrame(1);
            return qRound(stats.reference().value(QStringLiteral("mean")).toList().value(Luma).toDouble());
        };
        QTRY_COMPARE_WITH_TIMEOUT(referenceLuma(), 51, 30000);

        stats.releaseReference();
        QVERIFY(!stats.referenceHeld() && stats.reference().isEmpty() && stats.referenceImage().isNull());
        stats.setVisible(false);
        const int posted = stats.worker()->postedCount();
        for (int n = 0; n < 3; ++n)
            stats.offerFrame(frames[0], 0);
        QCOMPARE(stats.worker()->postedCount(), posted);
        QCOMPARE(settings.getStatsPanel(), false);
    }
};

QTEST_GUILESS_MAIN(TestImageStats)
#include "tst_imagestats.moc"
