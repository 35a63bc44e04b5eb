#include "settings/settingsstore.h"

#include "support/filefaults.h"

#include <QtTest>

#include <atomic>
#include <climits>
#include <memory>
#include <thread>

#include <sys/stat.h>

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

    // Without a file every key reads its default, and nothing is created. A number at either end of
    // its key's range reads as it is; one past an end (or past an int) reads as the default, and
    // reading changes no file. (The parameters' ranges and defaults are the parameter table's, pinned
    // by the tunnel's round trip and bulk writes; a switch's are false and true.)
    void defaultsAndRanges()
    {
        for (int pass = 0; pass < 5; ++pass) {
            const auto value = [pass](int lo, int hi) {
                return pass == 1 ? lo : pass == 2 ? hi : pass == 3 ? qint64(lo) - 1 : qint64(INT_MAX);
            };
            QByteArray ini("[General]\npreview_index=" + QByteArray::number(value(0, 1)) + '\n');
            for (int id = 0; id < Params::Count; ++id) {
                if (pass < 3 || !Params::isSwitch(id))
                    ini += QByteArray(Params::row(id).key) + '='
                           + QByteArray::number(value(Params::lowest(id), Params::highest(id))) + '\n';
            }
            if (pass > 0)
                writeIni(ini);
            {
                SettingsStore s;
                for (int id = 0; id < Params::Count; ++id) {
                    const int expected = pass == 1 ? Params::lowest(id) : pass == 2 ? Params::highest(id)
                                                                                   : Params::row(id).def;
                    QVERIFY2(s.get(Params::Id(id)) == expected, Params::row(id).key);
                }
                QCOMPARE(s.getPreviewIndex(), pass == 2 ? 1 : 0);
                QVERIFY(!s.getDisplayZoom() && !s.getDebugLog());
                QCOMPARE(s.getLanguage(), QString());
                QCOMPARE(s.getCameraId(), 0);
            }
            QCOMPARE(QFile::exists(iniPath()), pass > 0);
            QCOMPARE(readIni(), pass > 0 ? ini : QByteArray());
        }
    }

    // What the setters write reaches the next start (a switch as true or false); restoring defaults
    // resets the tuning keys only.
    void roundTripAndRestoreDefaults()
    {
        {
            SettingsStore s;
            for (int id = 0; id < Params::Count; ++id)
                s.set(Params::Id(id), Params::highest(id));
            s.setPreviewIndex(1);
            s.setCameraId(2);
            s.setDisplayZoom(true);
            s.setDebugLog(true);
            s.setLanguage("zh_CN");
        }
        const QByteArray text = readIni();
        QVERIFY(text.startsWith("[General]\n"));
        for (int restored = 0; restored < 2; ++restored) {
            SettingsStore s;
            for (int id = 0; id < Params::Count; ++id) {
                const QByteArray key = Params::row(id).key;
                const int hi = Params::highest(id);
                QVERIFY2(text.contains(key + '=' + (Params::isSwitch(id) ? "true" : QByteArray::number(hi)) + '\n'),
                         key);
                QVERIFY2(s.get(Params::Id(id)) == (restored ? Params::row(id).def : hi), key);
            }
            QVERIFY(s.getPreviewIndex() == 1 && s.getDisplayZoom() && s.getDebugLog());
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
