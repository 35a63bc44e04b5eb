#include "app/debuglog.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

// The log path is fixed on the first write, so the whole test uses one home.
class TestDebugLog : public QObject
{
    Q_OBJECT

    QTemporaryDir home;
    QString logPath() const { return home.path() + "/Vexlo/debugLog.txt"; }
    QStringList lines() const
    {
        QFile f(logPath());
        if (!f.open(QIODevice::ReadOnly))
            return {};
        const QByteArray all = f.readAll();
        if (!all.isEmpty())
            [&] { QVERIFY(all.endsWith('\n') && !all.contains('\r')); }();
        return QString::fromLocal8Bit(all).split('\n', Qt::SkipEmptyParts);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(home.isValid());
        qputenv("HOME", home.path().toLocal8Bit());
    }

    void missingFolderLosesTheLine()
    {
        setLogEnabled(true);
        QTest::ignoreMessage(QtDebugMsg, "Couldn't open log file");
        logToFile("lost");
        // The log never creates its folder.
        QVERIFY(!QDir(home.path() + "/Vexlo").exists());
    }

    // One stamped line per message while on, nothing while off.
    void onAppendsExactLines()
    {
        QVERIFY(QDir().mkpath(home.path() + "/Vexlo"));
        setLogEnabled(true);
        const QDateTime before = QDateTime::currentDateTime();
        logToFile("device 1: usb-0000:00:14.0-1 name = Camera A");
        logToFile(QString::fromUtf8("open cam id = 2 中文"));
        setLogEnabled(false);
        logToFile("not written");
        setLogEnabled(true);
        logToFile("startCaptureTimer mDevs is null");

        const QStringList got = lines();
        QCOMPARE(got.size(), 3);
        const QRegularExpression stamp("^\\[(\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d)\\]:(.*)$");
        const QStringList messages = {"device 1: usb-0000:00:14.0-1 name = Camera A",
                                      QString::fromUtf8("open cam id = 2 中文"), "startCaptureTimer mDevs is null"};
        for (int i = 0; i < got.size(); ++i) {
            const auto m = stamp.match(got[i]);
            QVERIFY2(m.hasMatch(), qPrintable(got[i]));
            QCOMPARE(m.captured(2), messages[i]);
            const QDateTime t = QDateTime::fromString(m.captured(1), "yyyy-MM-dd hh:mm:ss");
            QVERIFY(t.isValid());
            QVERIFY(qAbs(t.secsTo(before)) <= 5);
        }
    }
};

QTEST_GUILESS_MAIN(TestDebugLog)
#include "tst_debuglog.moc"
