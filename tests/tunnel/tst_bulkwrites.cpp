// The bulk writes: full sync and priming pass, and the two worker threads that
// run them and the store command, with their pauses and completion signals.

#include "support/fakecamera.h"

#include "tunnel/cameracontrol.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <thread>

namespace {

// The sync of a store that holds only defaults (AEC auto).
const QString DefaultSync = QStringLiteral(
    "AE:on 36:0 p100 28:89 p100 14:0 p100 10:0 p100 32:0 p100 WB:0 p100 13:0 p100 12:5 p100 11:5 p100 20:12 "
    "p100 35:-128 p100 33:-128 p100 34:-128 p100 27:700 p100 22:0 p100 WB:0 p100 28:0");
// The same with the camera closed: no AEC writes, but the transaction and every pause.
const QString ClosedSync = "p100 " + DefaultSync.mid(DefaultSync.indexOf("28:89"));

const QString TunedSync = QStringLiteral(
    "36:320 EXP:-5 p100 28:89 p100 14:7 p100 10:-2 p100 32:1 p100 WB:6500 p100 13:-300 p100 12:2 p100 11:8 "
    "p100 20:30 p100 35:10 p100 33:-20 p100 34:128 p100 27:1500 p100 22:128 p100 WB:6500 p100 28:0");

// The priming pass for tunedSettings(): preset 6 leaves out CONTRAST, the flags go out inverted.
const QString TunedPrime = QStringLiteral(
    "36:320 EXP:-5 28:89 p100 14:1 p100 10:1 p100 32:1 p100 WB:2800 p100 13:100 p100 12:1 p100 20:1 p100 35:1 "
    "p100 33:1 p100 34:1 p100 27:600 p100 22:64 p100 WB:2800 p100 28:0");

const QString DefaultPrime = QStringLiteral(
    "36:240 EXP:-3 28:89 p100 14:1 p100 10:1 p100 32:1 p100 WB:2800 p100 13:100 p100 12:1 p100 11:1 p100 20:1 "
    "p100 35:1 p100 33:1 p100 34:1 p100 27:600 p100 22:192 p100 WB:2800 p100 28:0");

// Posts to a fresh worker and returns the first `times` outcomes, in order; each is "done" in the trace.
std::vector<ControlOutcome> runOnWorker(TunnelFixture &f, const std::function<void(CameraControl &)> &post, int times)
{
    CameraControl worker(f.link.get(), f.store.get(), &f.tunnel);
    std::vector<ControlOutcome> outcomes;
    QObject::connect(&worker, &CameraControl::done, &worker, [&](const ControlOutcome &o) { outcomes.push_back(o); });
    QObject::connect(&worker, &CameraControl::done, [&f] { f.world->record(QStringLiteral("done")); });
    post(worker);
    if (!QTest::qWaitFor([&] { return int(outcomes.size()) >= times; }, 15000))
        qWarning("the worker did not finish in time");
    outcomes.resize(size_t(times));
    return outcomes;
}

} // namespace

class TestBulkWrites : public QObject
{
    Q_OBJECT

private slots:
    void bulk_data()
    {
        QTest::addColumn<QString>("op");
        QTest::addColumn<QVariantMap>("stored");
        QTest::addColumn<bool>("open");
        QTest::addColumn<QString>("trace");
        QTest::addColumn<int>("flags");

        QTest::newRow("sync defaults") << "sync" << QVariantMap() << true << DefaultSync << 0;
        QTest::newRow("sync manual white balance") << "sync" << tunedSettings() << true << TunedSync << 128;
        QTest::newRow("sync preset 2, aperture manual, both flags")
            << "sync" << QVariantMap{{"aec_Mod", 3}, {"awb_value", 2}, {"skin_smoothing", true}, {"bright_mode", true}}
            << true
            << QString(DefaultSync).replace("36:0", "36:240").replace("WB:0", "WB:4200").replace("22:0", "22:192")
            << 192;
        QTest::newRow("sync unknown preset sends automatic")
            << "sync" << QVariantMap{{"aec_Mod", 2}, {"awb_value", 9}, {"bright_mode", true}} << true
            << QString(DefaultSync).replace("AE:on 36:0", "36:0 EXP:-3").replace("22:0", "22:64") << 64;
        QTest::newRow("sync camera closed") << "sync" << QVariantMap() << false << ClosedSync << 0;

        QTest::newRow("prime defaults") << "prime" << QVariantMap() << true << DefaultPrime << 192;
        QTest::newRow("prime manual white balance") << "prime" << tunedSettings() << true << TunedPrime << 64;
        QTest::newRow("prime camera closed") << "prime" << QVariantMap() << false << DefaultPrime << 192;
    }

    void bulk()
    {
        QFETCH(QString, op);
        QFETCH(QVariantMap, stored);
        QFETCH(bool, open);

        TunnelFixture f;
        f.writeIni(stored);
        if (!open)
            f.link->camClose();
        if (op == QLatin1String("sync"))
            f.tunnel.syncAll(*f.link, *f.store);
        else
            f.tunnel.primeAll(*f.link, *f.store);
        QTEST(f.world->takeTrace(), "trace");
        QTEST(int(f.tunnel.flagRegister()), "flags");
        f.checkStored(stored); // nothing new stored
    }

    // The program's end cuts a running sync short: the writes still to come are skipped and the
    // transaction is closed at once, so that a stalled camera cannot hold the end for a whole pass.
    void stopCutsASyncShort()
    {
        TunnelFixture *fixture = nullptr;
        CameraControl *worker = nullptr;
        std::thread stopper;
        std::atomic<bool> stopping{false};
        int pauses = 0;
        TunnelFixture f([&](unsigned long ms) {
            fixture->world->record(QStringLiteral("p%1").arg(ms));
            if (++pauses != 3)
                return;
            stopper = std::thread([&] { worker->stop(); });
            stopping = true;
            for (int i = 0; i < 10000 && !worker->stopping(); ++i)
                QThread::msleep(1);
        });
        fixture = &f;
        CameraControl control(f.link.get(), f.store.get(), &f.tunnel);
        worker = &control;
        control.postSync(false);
        QVERIFY(QTest::qWaitFor([&] { return stopping.load(); }, 15000));
        stopper.join();
        QCOMPARE(f.world->takeTrace(), QStringLiteral("36:240 EXP:-3 28:89 p100 14:1 p100 10:1 p100 28:0"));
    }

    // Primed with the values stored before, then sent the defaults or the stored values; a restore's second
    // run finds the defaults stored. The wait box closes on the result, so it must come with no camera too.
    void syncOnWorker()
    {
        const auto run = [](const QString &prime, const QString &sync) { return prime + " " + sync + " done"; };
        const struct {
            bool restore, open;
            QString trace;
        } cases[] = {{true, true, run(TunedPrime, DefaultSync) + " " + run(DefaultPrime, DefaultSync)},
                     {false, true, run(TunedPrime, TunedSync) + " " + run(TunedPrime, TunedSync)},
                     {true, false, run(TunedPrime, ClosedSync) + " " + run(DefaultPrime, ClosedSync)}};
        for (const auto &c : cases) {
            TunnelFixture f;
            const QVariantMap outside{{"language", "zh_CN"}, {"preview_index", 1}};
            f.writeIni(tunedSettings());
            f.writeIni(outside);
            if (!c.open)
                f.link->camClose();
            const auto outcomes = runOnWorker(f, [&c](CameraControl &w) { w.postSync(c.restore), w.postSync(c.restore); }, 2);
            QCOMPARE(f.world->takeTrace(), c.trace);
            QCOMPARE(outcomes[1].kind, c.restore ? ControlOutcome::Restore : ControlOutcome::Sync);
            QVERIFY(!outcomes[1].failed());
            // A restore keeps the keys outside the tuning.
            QVariantMap expected = c.restore ? QVariantMap{{"aec_Mod", 0}, {"color_temperature", 0}} : tunedSettings();
            expected.insert(outside);
            f.checkStored(expected);
        }
    }

    // The store command: before exit twice, each with 100 ms inside and 500 ms after; from the menu once.
    // A refused command is the outcome's failure, with the control and the system's error text.
    void storeOnWorker()
    {
        const QString once = QStringLiteral("28:249 p100 28:0 p500");
        const struct {
            bool beforeExit;
            int refusedErrno;
            QString trace;
        } cases[] = {{true, 0, once + " " + once + " done"}, {false, 0, "28:249 p100 28:0 done"},
                     {false, EIO, "28:249 p100 28:0 done"}};
        for (const auto &c : cases) {
            TunnelFixture f;
            f.world->refuse(cv::CAP_PROP_FOCUS, c.refusedErrno);
            const auto outcomes = runOnWorker(f, [&c](CameraControl &w) { w.postStore(c.beforeExit); }, 1);
            QCOMPARE(f.world->takeTrace(), c.trace);
            QCOMPARE(outcomes[0].failed(), c.refusedErrno != 0);
            QCOMPARE(outcomes[0].reason(), c.refusedErrno ? "Register selector: Input/output error" : "");
        }
    }

    // Behind a running operation, writes of one parameter collapse into the latest, in the first one's
    // place; other parameters keep their order. The GUI thread never waits meanwhile.
    void writesCollapseInOrder()
    {
        TunnelFixture f;
        std::atomic<bool> release{false};
        const auto outcomes = runOnWorker(f, [&](CameraControl &w) {
            w.postWrite(-1, -1, [&](ControlOutcome &) {
                while (!release)
                    QThread::msleep(1);
            });
            const int writes[][2] = {{1, 10}, {2, 20}, {1, 11}, {3, 30}, {2, 21}, {1, 12}};
            for (const auto &wr : writes) {
                const int key = wr[0], value = wr[1];
                w.postWrite(key, key, [&f, value](ControlOutcome &) { f.world->record(QString::number(value)); });
            }
            release = true;
        }, 4);
        QCOMPARE(f.world->takeTrace(), QStringLiteral("done 12 done 21 done 30 done"));
        QCOMPARE(outcomes[1].key, 1);
    }
};

QTEST_GUILESS_MAIN(TestBulkWrites)
#include "tst_bulkwrites.moc"
