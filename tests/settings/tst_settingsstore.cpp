#include "settings/settingsstore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <climits>
#include <functional>
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
} // namespace

// Every case runs against a fresh temporary home directory.
class TestSettingsStore : public QObject
{
    Q_OBJECT

private:
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
        QVERIFY(home->isValid());
        qputenv("HOME", home->path().toLocal8Bit());
    }
    void cleanup()
    {
        // Put write permissions back so that the directory can be removed.
        QFile::setPermissions(home->path() + "/Vexlo", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::setPermissions(iniPath(), QFile::ReadOwner | QFile::WriteOwner);
        home.reset();
    }

    void firstStartGivesDefaults()
    {
        {
            SettingsStore s;
            QCOMPARE(s.filePath(), iniPath());
            const QVector<int> ints{s.getCameraId(), s.getPreviewIndex(), s.getAecMod(), s.getApertureValue(),
                                    s.getExposureTime(), s.getSceValue(), s.getIsoValue(), s.getEvValue(),
                                    s.getAfdValue(), s.getAwbValue(), s.getWarmnessValue(), s.getSaturationValue(),
                                    s.getContrastValue(), s.getSharpnessValue(), s.getUvcMceR(), s.getUvcMceG(),
                                    s.getUvcMceB(), s.getColorTemperature()};
            QCOMPARE(ints, (QVector<int>{0, 0, 0, 240, -3, 700, 0, 0, 0, 0, 0, 5, 5, 12, -128, -128, -128, 0}));
            QVERIFY(!s.getSkinSmoothing() && !s.getBrightMode() && !s.getDisplayZoom() && !s.getDebugLog());
            QCOMPARE(s.getLanguage(), QString(""));
        }
        // Reading defaults creates nothing, not even at destruction.
        QVERIFY(!QFile::exists(iniPath()));
    }

    void constructionWritesNothing()
    {
        writeIni("[General]\nev_value=3\n");
        const QByteArray before = readIni();
        { SettingsStore s; }
        QCOMPARE(readIni(), before);
    }

    // The change test works against the last value seen through the store,
    // not against the file.
    void setterWritesOnlyRealChanges()
    {
        writeIni("[General]\nsaturation_value=7\n");
        SettingsStore s;
        QCOMPARE(s.getSaturationValue(), 7);
        QSettings probe(iniPath(), QSettings::IniFormat);

        // Someone else changes the file; our setter with the last seen value
        // must not overwrite it.
        probe.setValue("saturation_value", 9);
        probe.sync();
        s.setSaturationValue(7);
        { SettingsStore other; QCOMPARE(other.getSaturationValue(), 9); }

        // 0 before any getter of that key: the cache starts at 0, nothing written.
        s.setIsoValue(0);
        s.setSkinSmoothing(false);
        s.setLanguage(QString());
        { SettingsStore other; QCOMPARE(other.getIsoValue(), 0); }
        QVERIFY(!readIni().contains("iso_value"));
        QVERIFY(!readIni().contains("skin_smoothing"));

        // A different value is written straight into QSettings.
        s.setIsoValue(4);
        SettingsStore other;
        QCOMPARE(other.getIsoValue(), 4);
    }

    void valuesRoundTripAndSurviveRestart()
    {
        {
            SettingsStore s;
            s.setUvcMceR(-100);
            s.setExposureTime(-10);
            s.setWarmnessValue(-15);
            s.setSkinSmoothing(true);
            s.setBrightMode(true);
            s.setDisplayZoom(true);
            s.setLanguage("zh_CN");
            s.setColorTemperature(45);
        }
        const QByteArray text = readIni();
        QVERIFY(text.startsWith("[General]"));
        QVERIFY(text.contains("uvc_mce_r=-100"));
        QVERIFY(text.contains("exposure_time=-10"));
        QVERIFY(text.contains("skin_smoothing=true"));
        QVERIFY(text.contains("language=zh_CN"));

        SettingsStore s;
        QCOMPARE(s.getUvcMceR(), -100);
        QCOMPARE(s.getExposureTime(), -10);
        QCOMPARE(s.getWarmnessValue(), -15);
        QCOMPARE(s.getSkinSmoothing(), true);
        QCOMPARE(s.getBrightMode(), true);
        QCOMPARE(s.getDisplayZoom(), true);
        QCOMPARE(s.getLanguage(), QString("zh_CN"));
        QCOMPARE(s.getColorTemperature(), 45);
    }

    void restoreDefaultsKeepsTheOtherKeys()
    {
        {
            SettingsStore s;
            s.setCameraId(2);
            s.setPreviewIndex(1);
            s.setLanguage("en_US");
            s.setDisplayZoom(true);
            s.setDebugLog(true);
            s.setSceValue(1500);
            s.setUvcMceB(128);
            s.setAwbValue(6);
            s.setColorTemperature(60);
            s.setBrightMode(true);
            s.restoreDefaults();
            // The cache is untouched: a setter with the old value still does nothing.
            s.setSceValue(1500);
        }
        SettingsStore s;
        QCOMPARE(s.getCameraId(), 2);
        QCOMPARE(s.getPreviewIndex(), 1);
        QCOMPARE(s.getLanguage(), QString("en_US"));
        QCOMPARE(s.getDisplayZoom(), true);
        QCOMPARE(s.getDebugLog(), true);
        const QVector<int> restored{s.getSceValue(), s.getUvcMceB(), s.getAwbValue(), s.getColorTemperature(),
                                    s.getBrightMode(), s.getApertureValue(), s.getExposureTime()};
        QCOMPARE(restored, (QVector<int>{700, -128, 0, 0, false, 240, -3}));
        // All 18 tuning keys are in the file now.
        QCOMPARE(readIni().count("\n") - 1, 18 + 5);
    }

    // Hand-edited or damaged files: documented conversions, never a crash.
    void badInput_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("ev");
        QTest::addColumn<bool>("skin");
        QTest::addColumn<int>("sce");
        QTest::newRow("text in an int key") << QByteArray("[General]\nev_value=abc\nsce_value=700\n") << 0 << false << 700;
        QTest::newRow("yes in a bool key") << QByteArray("[General]\nskin_smoothing=yes\n") << 0 << true << 700;
        QTest::newRow("no in a bool key") << QByteArray("[General]\nskin_smoothing=false\n") << 0 << false << 700;
        QTest::newRow("true in a bool key") << QByteArray("[General]\nskin_smoothing=true\n") << 0 << true << 700;
        QTest::newRow("1 in a bool key") << QByteArray("[General]\nskin_smoothing=1\n") << 0 << true << 700;
        QTest::newRow("number too big for an int") << QByteArray("[General]\nsce_value=99999999999\n") << 0 << false << 0;
        QTest::newRow("empty file") << QByteArray() << 0 << false << 700;
        QTest::newRow("binary file") << QByteArray("\x00\xff\xfe[\x01=\x02\n\x7f\x80", 11) << 0 << false << 700;
        QTest::newRow("keys in another section") << QByteArray("[camera]\nev_value=3\n") << 0 << false << 700;
        QTest::newRow("negative number") << QByteArray("[General]\nev_value=-6\n") << -6 << false << 700;
    }
    void badInput()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, ev);
        QFETCH(bool, skin);
        QFETCH(int, sce);
        writeIni(content);
        {
            SettingsStore s;
            QCOMPARE(s.getEvValue(), ev);
            QCOMPARE(s.getSkinSmoothing(), skin);
            QCOMPARE(s.getSceValue(), sce);
            QCOMPARE(s.getApertureValue(), 240);
            s.setContrastValue(8);
        }
        SettingsStore s;
        QCOMPARE(s.getContrastValue(), 8);
    }

    // A number outside the range of the list index or register value that
    // its key holds (one past either end, the int limits) reads as the key's
    // default, so that nothing computed from it can overflow.
    void numbersOutOfRangeReadAsDefault()
    {
        const struct { const char *key; int (SettingsStore::*get)(); int lo, hi, def; } keys[] = {
            {"preview_index", &SettingsStore::getPreviewIndex, 0, 1, 0},
            {"aec_Mod", &SettingsStore::getAecMod, 0, 3, 0},
            {"aperture_value", &SettingsStore::getApertureValue, 100, 2500, 240},
            {"exposure_time", &SettingsStore::getExposureTime, -10, 1, -3},
            {"sce_value", &SettingsStore::getSceValue, 0, 1500, 700},
            {"iso_value", &SettingsStore::getIsoValue, 0, 13, 0},
            {"ev_value", &SettingsStore::getEvValue, -6, 6, 0},
            {"afd_value", &SettingsStore::getAfdValue, 0, 3, 0},
            {"awb_value", &SettingsStore::getAwbValue, 0, 6, 0},
            {"warmness_value", &SettingsStore::getWarmnessValue, -15, 15, 0},
            {"saturation_value", &SettingsStore::getSaturationValue, 0, 10, 5},
            {"contrast_value", &SettingsStore::getContrastValue, 0, 10, 5},
            {"sharpness_value", &SettingsStore::getSharpnessValue, 0, 36, 12},
            {"uvc_mce_r", &SettingsStore::getUvcMceR, -128, 128, -128},
            {"uvc_mce_g", &SettingsStore::getUvcMceG, -128, 128, -128},
            {"uvc_mce_b", &SettingsStore::getUvcMceB, -128, 128, -128},
            {"color_temperature", &SettingsStore::getColorTemperature, 0, 60, 0}};
        // Each key at its ends, then past them.
        for (int pass = 0; pass < 4; ++pass) {
            QByteArray ini("[General]\n");
            for (const auto &k : keys) {
                const qint64 v = pass == 0 ? k.lo : pass == 1 ? k.hi : pass == 2 ? k.lo - 1 : qint64(INT_MAX);
                ini += QByteArray(k.key) + '=' + QByteArray::number(v) + '\n';
            }
            writeIni(ini);
            SettingsStore s;
            for (const auto &k : keys)
                QVERIFY2((s.*k.get)() == (pass == 0 ? k.lo : pass == 1 ? k.hi : k.def), k.key);
        }
    }

    // A file we cannot write keeps what it holds; the values stay in memory.
    void readOnlyFileIsKept()
    {
        writeIni("[General]\nev_value=3\n");
        QVERIFY(QFile::setPermissions(iniPath(), QFile::ReadOwner));
        if (QFile(iniPath()).open(QIODevice::Append))
            QSKIP("running with permissions that ignore read-only files");
        const QByteArray before = readIni();
        {
            SettingsStore s;
            QCOMPARE(s.getEvValue(), 3);
            s.setEvValue(-2);
            QCOMPARE(s.getEvValue(), -2);
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Couldn't write settings file"));
        }
        QCOMPARE(readIni(), before);
    }

    void missingFolderIsCreatedOnWrite()
    {
        {
            SettingsStore s;
            s.setEvValue(2);
        }
        SettingsStore s;
        QCOMPARE(s.getEvValue(), 2);
    }

    void readOnlyFolderLosesNothing()
    {
        writeIni("[General]\nsharpness_value=20\n");
        QVERIFY(QFile::setPermissions(home->path() + "/Vexlo", QFile::ReadOwner | QFile::ExeOwner));
        if (QFile(home->path() + "/Vexlo/probe").open(QIODevice::WriteOnly))
            QSKIP("running with permissions that ignore read-only folders");
        const QByteArray before = readIni();
        {
            SettingsStore s;
            QCOMPARE(s.getSharpnessValue(), 20);
            s.setSharpnessValue(30);
            QCOMPARE(s.getSharpnessValue(), 30);
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Couldn't write settings file"));
        }
        QCOMPARE(readIni(), before);
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
        std::unique_ptr<QThread> a(QThread::create(worker, 0));
        std::unique_ptr<QThread> b(QThread::create(worker, 6));
        a->start();
        b->start();
        QElapsedTimer t;
        t.start();
        while (!(a->isFinished() && b->isFinished()) && t.elapsed() < 20000) {
            QCoreApplication::processEvents();
            s.setSharpnessValue(int(t.elapsed() % 37));
        }
        QVERIFY(a->wait(1000));
        QVERIFY(b->wait(1000));
        const int ev = s.getEvValue();
        QVERIFY(ev >= -6 && ev <= 6);
    }
};

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
