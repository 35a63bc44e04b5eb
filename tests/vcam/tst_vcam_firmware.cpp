// The virtual camera's own checks, which the other suites rely on without
// seeing them fail: every kind of protocol violation is caught, the store
// is loaded at power-on, the trace and state files record what happened.
// (Clean transactions, pauses and direct writes: the tunnel's vcam test.)
#include "vcam_test_util.h"

#include <QFile>
#include <QtTest>

using namespace vcamtest;

class TestVcamFirmware : public QObject {
    Q_OBJECT
    cv::VideoCapture cap;

private slots:
    void initTestCase()
    {
        QFile::remove(qEnvironmentVariable("VEXLO_VCAM_STORE"));
        QVERIFY(openCamera(cap));
    }

    void init() { vcam_reset(0); }

    void seededViolationsAreCaught_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("write while closed") << int(VCAM_V_WRITE_WHILE_CLOSED);
        QTest::newRow("read while open") << int(VCAM_V_READ_WHILE_OPEN);
        QTest::newRow("too early") << int(VCAM_V_TOO_EARLY);
        QTest::newRow("no register") << int(VCAM_V_NO_REGISTER);
    }

    void seededViolationsAreCaught()
    {
        QFETCH(int, kind);
        switch (kind) {
        case VCAM_V_WRITE_WHILE_CLOSED:
            QVERIFY(cap.set(cv::CAP_PROP_CONTRAST, 8));
            QCOMPARE(vcam_register_value(0, VCAM_REG_CONTRAST), 5); // did not land
            break;
        case VCAM_V_READ_WHILE_OPEN:
            beginTransaction(cap);
            cap.get(cv::CAP_PROP_GAIN);
            endTransaction(cap);
            break;
        case VCAM_V_TOO_EARLY:
            cap.set(cv::CAP_PROP_FOCUS, kOpen);
            QVERIFY(cap.set(cv::CAP_PROP_SHARPNESS, 20));
            endTransaction(cap);
            break;
        case VCAM_V_NO_REGISTER:
            beginTransaction(cap);
            QVERIFY(cap.set(cv::CAP_PROP_WHITE_BALANCE_BLUE_U, 2800));
            endTransaction(cap);
            QCOMPARE(vcam_register_value(0, VCAM_REG_WB_TEMPERATURE), 0);
            break;
        }
        QCOMPARE(vcam_violation_count(0, kind), 1);
        QCOMPARE(vcam_violations(0), 1);
    }

    void storeIsLoadedAtPowerOn()
    {
        beginTransaction(cap);
        QVERIFY(cap.set(cv::CAP_PROP_HUE, -700));
        QThread::msleep(100);
        QVERIFY(cap.set(cv::CAP_PROP_GAMMA, 128));
        endTransaction(cap);
        cap.set(cv::CAP_PROP_FOCUS, kStore);
        QThread::msleep(100);
        endTransaction(cap);
        QCOMPARE(vcam_store_count(0), 1);
        QCOMPARE(vcam_violations(0), 0);

        // Power-on (a reset) loads the store: unstored changes are lost.
        QVERIFY(tunnelWrite(cap, cv::CAP_PROP_HUE, 500));
        vcam_reset(0);
        QCOMPARE(vcam_register_value(0, VCAM_REG_HUE), -700);
        QCOMPARE(vcam_register_value(0, VCAM_REG_GAMMA), 128);
        QFile::remove(qEnvironmentVariable("VEXLO_VCAM_STORE"));
    }

    void traceRecordsEveryControlOperation()
    {
        QVERIFY(tunnelWrite(cap, cv::CAP_PROP_BACKLIGHT, 2));
        cap.set(cv::CAP_PROP_BACKLIGHT, 1);
        QFile f(qEnvironmentVariable("VEXLO_VCAM_TRACE"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = f.readAll().split('\n');
        int sets = 0;
        bool violation = false;
        for (const QByteArray &l : lines) {
            if (l.contains("uvc SET_CUR PU_BACKLIGHT_COMPENSATION")) {
                ++sets;
                bool ok = false;
                l.left(l.indexOf(' ')).toDouble(&ok); // monotonic timestamp first
                QVERIFY(ok);
            }
            violation |= l.contains("VIOLATION write_while_closed PU_BACKLIGHT_COMPENSATION");
        }
        QVERIFY(sets >= 2);
        QVERIFY(violation);

        // The state file gives other processes the same counts and registers.
        QFile state(qEnvironmentVariable("VEXLO_VCAM_STATE"));
        QVERIFY(state.open(QIODevice::ReadOnly));
        const QByteArray s = state.readAll();
        QVERIFY2(s.contains("selector closed\nviolations 1\n"), s.constData());
        QVERIFY(s.contains("violation write_while_closed 1\n"));
        QVERIFY(s.contains("register backlight 2\n"));
    }
};

QTEST_GUILESS_MAIN(TestVcamFirmware)

#include "tst_vcam_firmware.moc"
