#include "app/debuglog.h"

#include "support/filefaults.h"

#include <QtTest>

#include <sys/stat.h>

// The log path is fixed on the first write, so the whole test uses one home.
class TestDebugLog : public QObject
{
    Q_OBJECT

    QTemporaryDir home;
    QString logPath() const { return home.path() + "/Vexlo/debugLog.txt"; }

private slots:
    void initTestCase() { qputenv("HOME", home.path().toLocal8Bit()); }

    // No folder: the line is lost (the log never creates its folder). Then one stamped
    // line per message while on, nothing while off.
    void appendsExactLinesWhileOn()
    {
        setLogEnabled(true);
        QTest::ignoreMessage(QtDebugMsg, "Couldn't open log file");
        logToFile("lost");
        QVERIFY(!QDir(home.path() + "/Vexlo").exists());
        QVERIFY(QDir().mkpath(home.path() + "/Vexlo"));
        const QStringList messages = {"device 1: usb-0000:00:14.0-1 name = Camera A",
                                      QString::fromUtf8("open cam id = 2 中文"), "startCaptureTimer mDevs is null"};
        const QDateTime before = QDateTime::currentDateTime();
        logToFile(messages[0]);
        logToFile(messages[1]);
        setLogEnabled(false);
        logToFile("not written");
        setLogEnabled(true);
        logToFile(messages[2]);

        QFile f(home.path() + "/Vexlo/debugLog.txt");
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray all = f.readAll();
        QVERIFY(all.endsWith('\n') && !all.contains('\r'));
        const QStringList got = QString::fromLocal8Bit(all).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(got.size(), 3);
        const QRegularExpression stamp("^\\[(\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d)\\]:(.*)$");
        for (int i = 0; i < got.size(); ++i) {
            const auto m = stamp.match(got[i]);
            QVERIFY2(m.hasMatch(), qPrintable(got[i]));
            QCOMPARE(m.captured(2), messages[i]);
            QVERIFY(qAbs(QDateTime::fromString(m.captured(1), "yyyy-MM-dd hh:mm:ss").secsTo(before)) <= 5);
        }
    }

    void cannotWrite_data()
    {
        QTest::addColumn<QString>("make"); // what stands where the log should be
        QTest::addColumn<int>("problem");
        QTest::newRow("fifo as debugLog.txt") << "fifo" << int(FileProblem::NotRegular);
        QTest::newRow("folder as debugLog.txt") << "folder" << int(FileProblem::NotRegular);
        QTest::newRow("read-only file") << "0444" << int(FileProblem::Unwritable);
        QTest::newRow("full disk") << "full" << int(FileProblem::WriteFailed);
    }

    // Never blocks (a FIFO is not opened), changes nothing that was there, and is told
    // once with the path, however many lines follow.
    void cannotWrite()
    {
        QFETCH(QString, make);
        if (make == "0444")
            VEXLO_ROW_AS_NOBODY();
        const QString path = home.path() + "/Vexlo/debugLog.txt";
        QVERIFY(QDir(home.path()).removeRecursively() && QDir().mkpath(home.path() + "/Vexlo"));
        if (make == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (make == "folder")
            QVERIFY(QDir().mkpath(path));
        else
            QVERIFY(QFile(path).open(QIODevice::WriteOnly)
                    && QFile::setPermissions(path, make == "full" ? QFile::WriteOwner : QFile::ReadOwner));
        const QByteArray before = fileBytes(path);
        std::vector<FileProblem> told;
        setLogProblemHandler([&](const FileProblem &p) { told.push_back(p); });
        setLogEnabled(true);
        {
            std::unique_ptr<FileSizeLimit> full(make == "full" ? new FileSizeLimit(0) : nullptr);
            for (int i = 0; i < 3; ++i) {
                QTest::ignoreMessage(QtDebugMsg, "Couldn't open log file");
                logToFile(QStringLiteral("line %1").arg(i));
            }
        }
        setLogProblemHandler({});
        QCOMPARE(told.size(), size_t(1));
        QTEST(int(told[0].kind), "problem");
        QCOMPARE(told[0].path, path);
        QCOMPARE(fileBytes(path), before);
        QCOMPARE(QFileInfo(path).isDir(), make == "folder");
    }
};

QTEST_GUILESS_MAIN(TestDebugLog)
#include "tst_debuglog.moc"
