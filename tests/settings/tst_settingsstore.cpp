#include "settings/settingsstore.h"

#include "support/filefaults.h"

#include <QtTest>

#include <atomic>
#include <climits>
#include <memory>
#include <thread>

#include <sys/stat.h>

namespace {
// The number keys: the preview size and every parameter that is no switch, with their defaults and
// ranges (which the parameter table holds, and the tunnel's round trip pins).
struct IntKey
{
    QByteArray key;
    int lo, hi, def;
    int id; // Params::Count: the preview size
};
QVector<IntKey> intKeys()
{
    QVector<IntKey> keys{{"preview_index", 0, 1, 0, Params::Count}};
    for (int id = 0; id < Params::Count; ++id) {
        if (!Params::isSwitch(id))
            keys.append({Params::row(id).key, Params::lowest(id), Params::highest(id), Params::row(id).def, id});
    }
    return keys;
}
int get(SettingsStore &s, const IntKey &k)
{
    return k.id == Params::Count ? s.getPreviewIndex() : s.get(Params::Id(k.id));
}
void set(SettingsStore &s, const IntKey &k, int v)
{
    k.id == Params::Count ? s.setPreviewIndex(v) : s.set(Params::Id(k.id), v);
}
// How many switches are on (with `v`: after setting every switch to it), and how many there are.
int switchesOn(SettingsStore &s, int v = -1, int *count = nullptr)
{
    int on = 0;
    for (int id = 0; id < Params::Count; ++id) {
        if (Params::isSwitch(id) && v >= 0)
            s.set(Params::Id(id), v);
        on += Params::isSwitch(id) && s.get(Params::Id(id));
        count && (*count += Params::isSwitch(id));
    }
    return on;
}
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
            for (const IntKey &k : intKeys()) {
                const qint64 v = pass == 1 ? k.lo : pass == 2 ? k.hi : pass == 3 ? k.lo - 1 : qint64(INT_MAX);
                ini += k.key + '=' + QByteArray::number(v) + '\n';
            }
            if (pass > 0)
                writeIni(ini);
            {
                SettingsStore s;
                for (const IntKey &k : intKeys())
                    QVERIFY2(get(s, k) == (pass == 1 ? k.lo : pass == 2 ? k.hi : k.def), k.key);
                QVERIFY(switchesOn(s) == 0 && !s.getDisplayZoom() && !s.getDebugLog());
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
        int switches = 0;
        {
            SettingsStore s;
            for (const IntKey &k : intKeys())
                set(s, k, k.hi);
            s.setCameraId(2);
            switchesOn(s, 1, &switches);
            s.setDisplayZoom(true);
            s.setDebugLog(true);
            s.setLanguage("zh_CN");
        }
        const QByteArray text = readIni();
        QVERIFY(text.startsWith("[General]\n") && text.contains("skin_smoothing=true\n"));
        for (int restored = 0; restored < 2; ++restored) {
            SettingsStore s;
            for (const IntKey &k : intKeys()) {
                QVERIFY2(text.contains(k.key + '=' + QByteArray::number(k.hi) + '\n'), k.key);
                QVERIFY2(get(s, k) == (restored && k.id != Params::Count ? k.def : k.hi), k.key);
            }
            QCOMPARE(switchesOn(s), restored ? 0 : switches);
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
