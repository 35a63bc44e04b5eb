#include "app/debuglog.h"

#include <QtTest>

// The log path is fixed on the first write, so the whole test uses one home.
class TestDebugLog : public QObject
{
    Q_OBJECT

    QTemporaryDir home;

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
};

QTEST_GUILESS_MAIN(TestDebugLog)
#include "tst_debuglog.moc"
