#include "settings/settingsstore.h"

#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <climits>
#include <memory>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
// Tests run as root on CI, and root ignores file permissions. Dropping the
// capabilities that override them (from the effective set only) lets the
// read-only cases run for real.
void obeyFilePermissions()
{
    if (::geteuid() != 0)
        return;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return;
    for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
        data[cap / 32].effective &= ~(1u << (cap % 32));
    ::syscall(SYS_capset, &header, data);
}

using S = SettingsStore;
// Each number key: its name in the file, the ends of the list index or
// register value it holds, its default, and whether restoring defaults resets it.
const struct IntKey {
    const char *key;
    int (S::*get)();
    void (S::*set)(int);
    int lo, hi, def;
    bool tuning;
} intKeys[] = {
    {"preview_index", &S::getPreviewIndex, &S::setPreviewIndex, 0, 1, 0, false},
    {"aec_Mod", &S::getAecMod, &S::setAecMod, 0, 3, 0, true},
    {"aperture_value", &S::getApertureValue, &S::setApertureValue, 100, 2500, 240, true},
    {"exposure_time", &S::getExposureTime, &S::setExposureTime, -10, 1, -3, true},
    {"sce_value", &S::getSceValue, &S::setSceValue, 0, 1500, 700, true},
    {"iso_value", &S::getIsoValue, &S::setIsoValue, 0, 13, 0, true},
    {"ev_value", &S::getEvValue, &S::setEvValue, -6, 6, 0, true},
    {"afd_value", &S::getAfdValue, &S::setAfdValue, 0, 3, 0, true},
    {"awb_value", &S::getAwbValue, &S::setAwbValue, 0, 6, 0, true},
    {"warmness_value", &S::getWarmnessValue, &S::setWarmnessValue, -15, 15, 0, true},
    {"saturation_value", &S::getSaturationValue, &S::setSaturationValue, 0, 10, 5, true},
    {"contrast_value", &S::getContrastValue, &S::setContrastValue, 0, 10, 5, true},
    {"sharpness_value", &S::getSharpnessValue, &S::setSharpnessValue, 0, 36, 12, true},
    {"uvc_mce_r", &S::getUvcMceR, &S::setUvcMceR, -128, 128, -128, true},
    {"uvc_mce_g", &S::getUvcMceG, &S::setUvcMceG, -128, 128, -128, true},
    {"uvc_mce_b", &S::getUvcMceB, &S::setUvcMceB, -128, 128, -128, true},
    {"color_temperature", &S::getColorTemperature, &S::setColorTemperature, 0, 60, 0, true}};
} // namespace

// Every case runs against a fresh temporary home directory.
class TestSettingsStore : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> home;
    QString iniPath() const { return home->path() + "/Vexlo/config.ini"; }
    void writeIni(const QByteArray &content)
    {
        QDir().mkpath(home->path() + "/Vexlo");
        QFile f(iniPath());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }
    QByteArray readIni() const
    {
        QFile f(iniPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void initTestCase() { obeyFilePermissions(); }

    void init()
    {
        home = std::make_unique<QTemporaryDir>();
        qputenv("HOME", home->path().toLocal8Bit());
    }
    void cleanup()
    {
        // Write permissions back, so that the directory can be removed.
        QFile::setPermissions(home->path() + "/Vexlo", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::setPermissions(iniPath(), QFile::ReadOwner | QFile::WriteOwner);
        home.reset();
    }

    // Without a file every key reads its default, and nothing is created. A
    // number at either end of its key's range reads as it is; one past an end
    // (or past an int) reads as the default, and reading changes no file.
    void defaultsAndRanges()
    {
        for (int pass = 0; pass < 5; ++pass) {
            QByteArray ini("[General]\n");
            for (const IntKey &k : intKeys) {
                const qint64 v = pass == 1 ? k.lo : pass == 2 ? k.hi : pass == 3 ? k.lo - 1 : qint64(INT_MAX);
                ini += QByteArray(k.key) + '=' + QByteArray::number(v) + '\n';
            }
            if (pass > 0)
                writeIni(ini);
            {
                SettingsStore s;
                for (const IntKey &k : intKeys)
                    QVERIFY2((s.*k.get)() == (pass == 1 ? k.lo : pass == 2 ? k.hi : k.def), k.key);
                QVERIFY(!s.getSkinSmoothing() && !s.getBrightMode() && !s.getDisplayZoom() && !s.getDebugLog());
                QCOMPARE(s.getLanguage(), QString());
                QCOMPARE(s.getCameraId(), 0);
            }
            QCOMPARE(QFile::exists(iniPath()), pass > 0);
            QCOMPARE(readIni(), pass > 0 ? ini : QByteArray());
        }
    }

    // What the setters write reaches the next start; restoring defaults resets
    // the tuning keys only.
    void roundTripAndRestoreDefaults()
    {
        {
            SettingsStore s;
            for (const IntKey &k : intKeys)
                (s.*k.set)(k.hi);
            s.setCameraId(2);
            s.setSkinSmoothing(true);
            s.setBrightMode(true);
            s.setDisplayZoom(true);
            s.setDebugLog(true);
            s.setLanguage("zh_CN");
        }
        const QByteArray text = readIni();
        QVERIFY(text.startsWith("[General]\n") && text.contains("skin_smoothing=true\n"));
        for (int restored = 0; restored < 2; ++restored) {
            SettingsStore s;
            for (const IntKey &k : intKeys) {
                QVERIFY2(text.contains(QByteArray(k.key) + '=' + QByteArray::number(k.hi) + '\n'), k.key);
                QVERIFY2((s.*k.get)() == (restored && k.tuning ? k.def : k.hi), k.key);
            }
            QCOMPARE(s.getSkinSmoothing() || s.getBrightMode(), !restored);
            QVERIFY(s.getDisplayZoom() && s.getDebugLog());
            QCOMPARE(s.getLanguage(), QString("zh_CN"));
            QCOMPARE(s.getCameraId(), 2);
            s.restoreDefaults();
        }
    }

    // A setter writes only when its value differs from the last one seen
    // through the store (0 before any getter), not from the file.
    void setterWritesOnlyRealChanges()
    {
        writeIni("[General]\nsaturation_value=7\n");
        SettingsStore s;
        QCOMPARE(s.getSaturationValue(), 7);
        QSettings probe(iniPath(), QSettings::IniFormat);
        probe.setValue("saturation_value", 9);
        probe.sync();
        s.setSaturationValue(7);
        s.setIsoValue(0);
        s.setSkinSmoothing(false);
        s.setLanguage(QString());
        s.setEvValue(4);
        SettingsStore other;
        QCOMPARE(other.getSaturationValue(), 9);
        QCOMPARE(other.getEvValue(), 4);
        QVERIFY(!readIni().contains("iso_value") && !readIni().contains("skin_smoothing"));
    }

    // Hand-edited or damaged files: documented conversions, never a crash, and
    // the store still takes writes.
    void badInput_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("ev");
        QTest::addColumn<bool>("skin");
        QTest::addColumn<int>("sce");
        QTest::newRow("text in an int key") << QByteArray("[General]\nev_value=abc\n") << 0 << false << 700;
        QTest::newRow("yes in a bool key") << QByteArray("[General]\nskin_smoothing=yes\n") << 0 << true << 700;
        QTest::newRow("number too big for an int") << QByteArray("[General]\nsce_value=99999999999\n") << 0 << false << 0;
        QTest::newRow("binary file") << QByteArray("\x00\xff\xfe[\x01=\x02\n\x7f\x80", 11) << 0 << false << 700;
        QTest::newRow("keys in another section") << QByteArray("[camera]\nev_value=3\n") << 0 << false << 700;
    }
    void badInput()
    {
        QFETCH(QByteArray, content);
        writeIni(content);
        {
            SettingsStore s;
            QTEST(s.getEvValue(), "ev");
            QTEST(s.getSkinSmoothing(), "skin");
            QTEST(s.getSceValue(), "sce");
            s.setContrastValue(8);
        }
        QCOMPARE(SettingsStore().getContrastValue(), 8);
    }

    // A file or folder we cannot write keeps what it holds; the values stay in memory.
    void readOnlyLosesNothing_data()
    {
        QTest::addColumn<bool>("folder");
        QTest::newRow("read-only file") << false;
        QTest::newRow("read-only folder") << true;
    }
    void readOnlyLosesNothing()
    {
        QFETCH(bool, folder);
        writeIni("[General]\nev_value=3\n");
        const QString target = folder ? home->path() + "/Vexlo" : iniPath();
        QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | (folder ? QFile::ExeOwner : QFile::ReadOwner)));
        if (QFile(folder ? target + "/probe" : target).open(QIODevice::Append))
            QSKIP("running with permissions that ignore read-only files");
        {
            SettingsStore s;
            QCOMPARE(s.getEvValue(), 3);
            s.setEvValue(-2);
            QCOMPARE(s.getEvValue(), -2);
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Couldn't write settings file"));
        }
        QCOMPARE(readIni(), QByteArray("[General]\nev_value=3\n"));
    }

    // The store is shared by the GUI thread and the worker threads; this
    // thread's event loop runs QSettings' deferred write-back meanwhile.
    void concurrentUse()
    {
        SettingsStore s;
        auto worker = [&](int base) {
            for (int i = 0; i < 2000; ++i) {
                s.setEvValue(base + i % 7 - 6);
                (void)s.getSharpnessValue();
                if (i % 500 == 0)
                    s.restoreDefaults();
            }
        };
        std::unique_ptr<QThread> a(QThread::create(worker, 0)), b(QThread::create(worker, 6));
        a->start();
        b->start();
        QElapsedTimer t;
        t.start();
        while (!(a->isFinished() && b->isFinished()) && t.elapsed() < 20000) {
            QCoreApplication::processEvents();
            s.setSharpnessValue(int(t.elapsed() % 37));
        }
        QVERIFY(a->wait(1000) && b->wait(1000));
        QVERIFY(qAbs(s.getEvValue()) <= 6);
    }
};

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
