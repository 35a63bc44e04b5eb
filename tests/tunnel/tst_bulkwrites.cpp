// The bulk writes: full sync, priming pass and store command, and the two
// worker threads that run them with their pauses and completion signals.

#include "recordingcapture.h"

#include "tunnel/savetocamthread.h"
#include "tunnel/syncthread.h"

#include <QtTest>

namespace {

// The sync of a store that holds only defaults (AEC auto).
const QString DefaultSync = QStringLiteral(
    "AE:on 36:0 +100ms 28:89 +100ms 14:0 +100ms 10:0 +100ms 32:0 +100ms WB:0 +100ms 13:0 +100ms "
    "12:5 +100ms 11:5 +100ms 20:12 +100ms 35:-128 +100ms 33:-128 +100ms 34:-128 +100ms 27:700 +100ms "
    "22:0 +100ms WB:0 +100ms 28:0");

// Every tuning key away from its default.
QVariantMap tunedSettings()
{
    return {{"aec_Mod", 1},          {"aperture_value", 320},  {"exposure_time", -5},
            {"skin_smoothing", true}, {"bright_mode", false},  {"iso_value", 7},
            {"ev_value", -2},         {"afd_value", 1},        {"awb_value", 6},
            {"color_temperature", 45}, {"warmness_value", -3}, {"saturation_value", 2},
            {"contrast_value", 8},    {"sharpness_value", 30}, {"uvc_mce_r", 10},
            {"uvc_mce_g", -20},       {"uvc_mce_b", 128},      {"sce_value", 1500}};
}

const QString TunedSync = QStringLiteral(
    "36:320 EXP:-5 +100ms 28:89 +100ms 14:7 +100ms 10:-2 +100ms 32:1 +100ms WB:6500 +100ms 13:-300 +100ms "
    "12:2 +100ms 11:8 +100ms 20:30 +100ms 35:10 +100ms 33:-20 +100ms 34:128 +100ms 27:1500 +100ms "
    "22:128 +100ms WB:6500 +100ms 28:0");

// The priming pass for tunedSettings(): preset 6 leaves out CONTRAST, the
// flags go out inverted.
const QString TunedPrime = QStringLiteral(
    "36:320 EXP:-5 28:89 +100ms 14:1 +100ms 10:1 +100ms 32:1 +100ms WB:2800 +100ms 13:100 +100ms "
    "12:1 +100ms 20:1 +100ms 35:1 +100ms 33:1 +100ms 34:1 +100ms 27:600 +100ms 22:64 +100ms "
    "WB:2800 +100ms 28:0");

const QString DefaultPrime = QStringLiteral(
    "36:240 EXP:-3 28:89 +100ms 14:1 +100ms 10:1 +100ms 32:1 +100ms WB:2800 +100ms 13:100 +100ms "
    "12:1 +100ms 11:1 +100ms 20:1 +100ms 35:1 +100ms 33:1 +100ms 34:1 +100ms 27:600 +100ms 22:192 +100ms "
    "WB:2800 +100ms 28:0");

// The run time a trace promises (the sum of its pauses) must hold, with room
// for a loaded machine above it.
void checkDuration(qint64 elapsedMs, int pausesMs)
{
    QVERIFY2(elapsedMs >= pausesMs - 5 && elapsedMs < pausesMs + 250,
             qPrintable(QStringLiteral("took %1 ms, expected %2 ms").arg(elapsedMs).arg(pausesMs)));
}

} // namespace

class TestBulkWrites : public QObject
{
    Q_OBJECT

private slots:
    void bulk_data();
    void bulk();
    void syncThread_data();
    void syncThread();
    void saveToCamThread();
};

void TestBulkWrites::bulk_data()
{
    QTest::addColumn<QString>("op");
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<bool>("open");
    QTest::addColumn<QString>("trace");
    QTest::addColumn<int>("flags");
    QTest::addColumn<int>("durationMs");

    QVariantMap presetDaylight = {{"aec_Mod", 3}, {"awb_value", 2}, {"skin_smoothing", true}, {"bright_mode", true}};
    QVariantMap unknownPreset = {{"aec_Mod", 2}, {"awb_value", 9}, {"bright_mode", true}};

    QTest::newRow("sync defaults") << "sync" << QVariantMap() << true << DefaultSync << 0 << 1600;
    QTest::newRow("sync manual white balance") << "sync" << tunedSettings() << true << TunedSync << 128 << 1600;
    QTest::newRow("sync preset 2, aperture manual, both flags")
        << "sync" << presetDaylight << true
        << QStringLiteral("AE:on 36:240 +100ms 28:89 +100ms 14:0 +100ms 10:0 +100ms 32:0 +100ms WB:4200 +100ms "
                          "13:0 +100ms 12:5 +100ms 11:5 +100ms 20:12 +100ms 35:-128 +100ms 33:-128 +100ms "
                          "34:-128 +100ms 27:700 +100ms 22:192 +100ms WB:4200 +100ms 28:0")
        << 192 << 1600;
    QTest::newRow("sync unknown preset sends automatic")
        << "sync" << unknownPreset << true
        << QStringLiteral("36:0 EXP:-3 +100ms 28:89 +100ms 14:0 +100ms 10:0 +100ms 32:0 +100ms WB:0 +100ms "
                          "13:0 +100ms 12:5 +100ms 11:5 +100ms 20:12 +100ms 35:-128 +100ms 33:-128 +100ms "
                          "34:-128 +100ms 27:700 +100ms 22:64 +100ms WB:0 +100ms 28:0")
        << 64 << 1600;
    // Closed: no AEC writes, but the transaction is sent all the same and
    // every pause kept.
    QTest::newRow("sync camera closed") << "sync" << QVariantMap() << false << DefaultSync.mid(DefaultSync.indexOf("28:89")) << 0 << 1600;

    QTest::newRow("prime defaults") << "prime" << QVariantMap() << true << DefaultPrime << 192 << 1500;
    QTest::newRow("prime manual white balance") << "prime" << tunedSettings() << true << TunedPrime << 64 << 1400;
    QTest::newRow("prime camera closed") << "prime" << QVariantMap() << false << DefaultPrime << 192 << 1500;

    QTest::newRow("store") << "store" << QVariantMap() << true << "28:249 +100ms 28:0" << -1 << 100;
}

void TestBulkWrites::bulk()
{
    QFETCH(QString, op);
    QFETCH(QVariantMap, stored);
    QFETCH(bool, open);
    QFETCH(QString, trace);
    QFETCH(int, flags);
    QFETCH(int, durationMs);

    for (int attempt = 1;; ++attempt) {
        TunnelFixture f;
        f.writeIni(stored);
        f.capture->setOpened(open);

        QElapsedTimer clock;
        clock.start();
        if (op == QLatin1String("sync"))
            f.tunnel.syncAll(*f.link, *f.store);
        else if (op == QLatin1String("prime"))
            f.tunnel.primeAll(*f.link, *f.store);
        else
            f.tunnel.storeToCamera(*f.link);
        const qint64 elapsed = clock.elapsed();

        const QString got = f.capture->trace();
        const bool timingOk = elapsed >= durationMs - 5 && elapsed < durationMs + 250;
        if (RecordingCapture::retryForTiming(got, trace, timingOk, attempt))
            continue;
        QCOMPARE(got, trace);
        checkDuration(elapsed, durationMs);
        if (flags >= 0)
            QCOMPARE(int(f.tunnel.flagRegister()), flags);
        f.checkStored(stored); // nothing new stored
        break;
    }
}

void TestBulkWrites::syncThread_data()
{
    QTest::addColumn<bool>("restore");
    QTest::addColumn<bool>("open");
    QTest::addColumn<QString>("trace");

    // Primed with the values stored before, then sent the defaults.
    QTest::newRow("restore defaults") << true << true << TunedPrime + QLatin1Char(' ') + DefaultSync;
    QTest::newRow("resend stored") << false << true << TunedPrime + QLatin1Char(' ') + TunedSync;
    // The wait box closes on the signal, so it must come with no camera too.
    QTest::newRow("restore, camera closed") << true << false << TunedPrime + " +100ms " + DefaultSync.mid(DefaultSync.indexOf("28:89"));
}

void TestBulkWrites::syncThread()
{
    QFETCH(bool, restore);
    QFETCH(bool, open);
    QFETCH(QString, trace);

    TunnelFixture f;
    f.writeIni(tunedSettings());
    f.writeIni({{"language", "zh_CN"}, {"preview_index", 1}});
    f.capture->setOpened(open);

    SyncThread thread(f.link.get(), f.store.get(), &f.tunnel);
    QVERIFY(!thread.restoreDefaultsFlag());
    thread.setRestoreDefaults(restore);
    // Counted on the worker thread itself; the test waits by joining it.
    std::atomic<int> emitted{0};
    std::atomic<qint64> signalNs{-1};
    connect(&thread, &SyncThread::syncCompeleted, this, [&] {
        signalNs = f.capture->nowNs();
        ++emitted;
    }, Qt::DirectConnection);

    thread.start();
    QVERIFY(thread.wait(10000));

    QCOMPARE(emitted.load(), 1);
    QCOMPARE(f.capture->trace(), trace);
    QCOMPARE(RecordingCapture::gapText(signalNs - f.capture->calls().last().ns), QStringLiteral(" "));
    QCOMPARE(thread.restoreDefaultsFlag(), restore); // for the completion handler

    // The trace shows what was stored; a restore keeps the keys outside the tuning.
    QVariantMap expected = restore ? QVariantMap{{"aec_Mod", 0}, {"color_temperature", 0}} : tunedSettings();
    expected.insert("language", "zh_CN");
    expected.insert("preview_index", 1);
    f.checkStored(expected);
}

// Two store commands, each with 100 ms inside and 500 ms after, then the
// signal; started twice as the program does.
void TestBulkWrites::saveToCamThread()
{
    TunnelFixture f;
    SaveToCamThread thread(f.link.get(), f.store.get(), &f.tunnel);
    std::atomic<int> emitted{0};
    std::atomic<qint64> signalNs{-1};
    connect(&thread, &SaveToCamThread::saveCompeleted, this, [&] {
        signalNs = f.capture->nowNs();
        ++emitted;
    }, Qt::DirectConnection);

    for (int run = 1; run <= 2; ++run) {
        f.capture->clear();
        thread.start();
        QVERIFY(thread.wait(5000));
        QCOMPARE(emitted.load(), run);
        QCOMPARE(f.capture->trace(), QStringLiteral("28:249 +100ms 28:0 +500ms 28:249 +100ms 28:0"));
        QCOMPARE(RecordingCapture::gapText(signalNs - f.capture->calls().last().ns), QStringLiteral(" +500ms "));
    }
}

QTEST_GUILESS_MAIN(TestBulkWrites)
#include "tst_bulkwrites.moc"
