#include "settings/settingsstore.h"

#include "support/filefaults.h"

#include <QtTest>

#include <atomic>
#include <climits>
#include <memory>
#include <thread>

#include "support/filefaults.h"

#include <sys/stat.h>

namespace {
using S = SettingsStore;
// Each number key: name, range of the index or register value, default, reset by restoring defaults.
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
    void init()
    {
        home = std::make_unique<QTemporaryDir>();
        qputenv("HOME", home->path().toLocal8Bit());
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

    // Hand-edited or damaged files: no crash, and the store still takes writes.
    // (Text in a number key reads as 0, as QVariant converts it.)
    void badInput()
    {
        const std::pair<QByteArray, int> files[] = {{"[General]\nsce_value=abc\n", 0},
                                                    {QByteArray("\x00\xff\xfe[\x01=\x02\n\x7f\x80", 11), 700}};
        for (const auto &file : files) {
            writeIni(file.first);
            {
                SettingsStore s;
                QCOMPARE(s.getSceValue(), file.second);
                s.setContrastValue(8);
            }
            QCOMPARE(SettingsStore().getContrastValue(), 8);
        }
    }

    void fileCannotBeKept_data()
    {
        QTest::addColumn<QString>("make"); // what stands where the file (or its folder) should be
        QTest::addColumn<int>("problem");  // FileProblem::Kind told
        QTest::addColumn<QString>("path"); // the path told, under the home
        QTest::addColumn<int>("ev");       // what ev_value reads ("ev_value=3" where a file is)
        const QString ini = "/Vexlo/config.ini";
        QTest::newRow("fifo as config.ini") << "fifo" << int(FileProblem::NotRegular) << ini << 0;
        QTest::newRow("folder as config.ini") << "folder" << int(FileProblem::NotRegular) << ini << 0;
        QTest::newRow("device as config.ini") << "device" << int(FileProblem::NotRegular) << ini << 0;
        QTest::newRow("file as ~/Vexlo") << "file-folder" << int(FileProblem::NotFolder) << "/Vexlo" << 0;
        QTest::newRow("unreadable file") << "0200" << int(FileProblem::Unreadable) << ini << 0;
        QTest::newRow("read-only file") << "0444" << int(FileProblem::Unwritable) << ini << 3;
        QTest::newRow("read-only folder") << "0555" << int(FileProblem::Unwritable) << "/Vexlo" << 3;
        QTest::newRow("full disk") << "full" << int(FileProblem::WriteFailed) << ini << 3;
        QTest::newRow("disk full part way") << "full+150" << int(FileProblem::WriteFailed) << ini << 3;
    }

    // The store starts with what it can read, never blocks on the file, never replaces
    // it, and tells once, with the path; changes are kept in memory.
    void fileCannotBeKept()
    {
        QFETCH(QString, make);
        QFETCH(int, ev);
        QFETCH(QString, path);
        if (make.startsWith('0'))
            VEXLO_ROW_AS_NOBODY();
        const QString folder = home->path() + "/Vexlo";
        if (make == "file-folder")
            QVERIFY(QFile(folder).open(QIODevice::WriteOnly));
        else if (make == "folder")
            QVERIFY(QDir().mkpath(iniPath()));
        else if (QDir().mkpath(folder) && make == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(iniPath()).constData(), 0600), 0);
        else if (make == "device")
            QVERIFY(QFile::link("/dev/null", iniPath()));
        else
            writeIni("[General]\nev_value=3\n");
        const QByteArray before = fileBytes(iniPath());
        const uint owner = make.toUInt(nullptr, 8) >> 6; // the owner's bits as the row says
        if (make.startsWith('0'))
            QVERIFY(QFile::setPermissions(home->path() + path, QFileDevice::Permissions(owner << 12 | owner << 8)));
        std::vector<FileProblem> told;
        {
            std::unique_ptr<FileSizeLimit> full(
                make.startsWith("full") ? new FileSizeLimit(before.size() + make.mid(5).toInt()) : nullptr);
            SettingsStore s;
            s.setProblemHandler([&](const FileProblem &p) { told.push_back(p); });
            QCOMPARE(s.getEvValue(), ev);
            for (int v : {-2, 4}) { // two changes, each with its own write-back
                s.setEvValue(v);
                s.setLanguage(QString(200, QChar('a' + v + 2)));
                QTRY_COMPARE(told.size(), size_t(1));
                QCOMPARE(s.getEvValue(), v);
            }
            if (ev == 3) // the file is used where it is: the last write-back fails too
                QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Couldn't write settings file"));
        }
        QCOMPARE(told.size(), size_t(1));
        QTEST(int(told[0].kind), "problem");
        QCOMPARE(told[0].path, home->path() + path);
        QFile::setPermissions(home->path() + path, QFileDevice::Permissions(0x7700));
        QCOMPARE(fileBytes(iniPath()), before);
        QCOMPARE(QFileInfo(iniPath()).isDir(), make == "folder");
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(iniPath()).constData(), &st) == 0 && S_ISFIFO(st.st_mode), make == "fifo");
    }

    // The GUI thread and two workers share the store. The workers' sets post QSettings'
    // deferred write-back, which this thread's event loop runs meanwhile (the thread
    // that posts it must not be this one, or ThreadSanitizer has no hand-over to see).
    void concurrentUse()
    {
        SettingsStore s;
        std::atomic<int> running{2};
        auto worker = [&](int base) {
            for (int i = 0; i < 2000; ++i) {
                s.setEvValue(base + i % 7 - 6);
                (void)s.getSharpnessValue();
                if (i % 500 == 0)
                    s.restoreDefaults();
            }
            --running;
        };
        std::thread a(worker, 0), b(worker, 6);
        while (running > 0) {
            QCoreApplication::processEvents();
            (void)s.getEvValue();
        }
        a.join();
        b.join();
        QVERIFY(qAbs(s.getEvValue()) <= 6);
    }
};

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
