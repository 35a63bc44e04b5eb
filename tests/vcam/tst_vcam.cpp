// The virtual camera's own behaviour that the program's suites rely on without seeing it fail:
// its protocol checker, uvcvideo's value rules, the store, the cache, trace, state and control files.
#include "vcam_control.h"

#include <opencv2/videoio.hpp>

#include <QFile>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

namespace {
constexpr int kOpen = 89, kClose = 0, kStore = 249;

// A transaction as the program makes it: open, settle, write, close.
bool tunnelWrite(cv::VideoCapture &cap, int prop, double value)
{
    cap.set(cv::CAP_PROP_FOCUS, kOpen);
    QThread::msleep(100);
    const bool ok = cap.set(prop, value);
    cap.set(cv::CAP_PROP_FOCUS, kClose);
    return ok;
}
} // namespace

class TestVcam : public QObject {
    Q_OBJECT
    cv::VideoCapture cap;

private slots:
    void initTestCase()
    {
        QFile::remove(qEnvironmentVariable("VEXLO_VCAM_STORE"));
        QCOMPARE(vcam_camera_count(), 2);
        QVERIFY(cap.open(0, cv::CAP_V4L2));
    }

    void init()
    {
        vcam_reset(0);
        vcam_set_auto_update(0, 1);
    }

    // Each kind of violation is counted once, and a refused write does not land.
    void violationsAreCaught()
    {
        for (int kind = 0; kind < VCAM_V_COUNT; ++kind) {
            vcam_reset(0);
            if (kind == VCAM_V_READ_WHILE_OPEN || kind == VCAM_V_TOO_EARLY || kind == VCAM_V_NO_REGISTER)
                cap.set(cv::CAP_PROP_FOCUS, kOpen);
            if (kind != VCAM_V_TOO_EARLY)
                QThread::msleep(100);
            switch (kind) {
            case VCAM_V_WRITE_WHILE_CLOSED:
            case VCAM_V_TOO_EARLY: QVERIFY(cap.set(cv::CAP_PROP_CONTRAST, 8)); break;
            case VCAM_V_READ_WHILE_OPEN: cap.get(cv::CAP_PROP_GAIN); break;
            case VCAM_V_NO_REGISTER: QVERIFY(cap.set(cv::CAP_PROP_WHITE_BALANCE_BLUE_U, 2800)); break;
            default: // aperture priority: the camera stalls
                QVERIFY(cap.set(cv::CAP_PROP_AUTO_EXPOSURE, 3) && !cap.set(cv::CAP_PROP_EXPOSURE, 100));
            }
            cap.set(cv::CAP_PROP_FOCUS, kClose);
            QVERIFY2(vcam_violation_count(0, kind) == 1 && vcam_violations(0) == 1, vcam_violation_name(kind));
            QCOMPARE(vcam_register_value(0, VCAM_REG_CONTRAST), kind == VCAM_V_TOO_EARLY ? 8 : 5);
            QCOMPARE(vcam_register_value(0, VCAM_REG_WB_TEMPERATURE), 0);
        }
    }

    // uvcvideo clamps signed controls to their range, rounds to the step from the
    // minimum (half up), and clamps unsigned ones as unsigned (-1 becomes the maximum).
    void valueRules()
    {
        const int rules[][4] = {{cv::CAP_PROP_BRIGHTNESS, 100, VCAM_REG_BRIGHTNESS, 64},
                                {cv::CAP_PROP_HUE, 150, VCAM_REG_HUE, 200},
                                {cv::CAP_PROP_GAIN, -1, VCAM_REG_GAIN, 100}};
        for (const auto &[prop, value, reg, expected] : rules) {
            QVERIFY(tunnelWrite(cap, prop, value));
            QCOMPARE(vcam_register_value(0, reg), expected);
        }
        QCOMPARE(vcam_violations(0), 0);
    }

    // Stored registers come back at power-on; unstored changes do not.
    void storeIsLoadedAtPowerOn()
    {
        QVERIFY(tunnelWrite(cap, cv::CAP_PROP_HUE, -700));
        cap.set(cv::CAP_PROP_FOCUS, kStore);
        cap.set(cv::CAP_PROP_FOCUS, kClose);
        QVERIFY(tunnelWrite(cap, cv::CAP_PROP_HUE, 500));
        QCOMPARE(vcam_store_count(0), 1);
        vcam_reset(0);
        QCOMPARE(vcam_register_value(0, VCAM_REG_HUE), -700);
        QFile::remove(qEnvironmentVariable("VEXLO_VCAM_STORE"));
    }

    // Outside a transaction the camera answers with live debug values, or, without AUTO_UPDATE,
    // uvcvideo answers from its cache and with the last written value.
    void debugValuesLiveAndCached()
    {
        const double target = cap.get(cv::CAP_PROP_SATURATION);
        QVERIFY(tunnelWrite(cap, cv::CAP_PROP_BRIGHTNESS, 3)); // EV +1 raises the luma target
        QCOMPARE(cap.get(cv::CAP_PROP_SATURATION), target + 18);
        vcam_set_auto_update(0, 0);
        QCOMPARE(cap.get(cv::CAP_PROP_SATURATION), target + 18); // cached from here on
        QVERIFY(tunnelWrite(cap, cv::CAP_PROP_BRIGHTNESS, 6));
        QCOMPARE(cap.get(cv::CAP_PROP_SATURATION), target + 18);
        QVERIFY(tunnelWrite(cap, cv::CAP_PROP_SATURATION, 7));
        QCOMPARE(cap.get(cv::CAP_PROP_SATURATION), 7.0);
    }

    // Control faults: a refused write lands nowhere, a slow one lands late; `all` reaches reads too.
    void controlFaults()
    {
        const struct {
            const char *spec;
            int all, delayMs;
            bool setOk, getOk;
        } rows[] = {{"EIO", 0, 0, false, true}, {"none:300", 0, 300, true, true}, {"EPIPE:200", 1, 200, false, false},
                    {"off", 1, 0, true, true}};
        for (const auto &r : rows) {
            QCOMPARE(vcam_set_ctrl_fault(r.spec, r.all), 0);
            QElapsedTimer clock;
            clock.start();
            errno = 0;
            QCOMPARE(cap.set(cv::CAP_PROP_IRIS, 320), r.setOk);
            QVERIFY2(clock.elapsed() >= r.delayMs, r.spec);
            if (!r.setOk)
                QCOMPARE(errno, strcmp(r.spec, "EIO") ? EPIPE : EIO);
            QCOMPARE(cap.get(cv::CAP_PROP_IRIS) == 320, r.setOk);
            QCOMPARE(cap.get(cv::CAP_PROP_ZOOM) == 700, r.getOk);
            cap.set(cv::CAP_PROP_IRIS, 240);
        }
        QCOMPARE(vcam_set_ctrl_fault("ENOSPC:5", 0), -1);
    }

    // Trace and state files for other processes, and their commands through the control FIFO.
    void traceStateAndControlFiles()
    {
        QFile trace(qEnvironmentVariable("VEXLO_VCAM_TRACE")), state(qEnvironmentVariable("VEXLO_VCAM_STATE"));
        QVERIFY(trace.open(QIODevice::ReadOnly) && trace.seek(trace.size()));
        cap.set(cv::CAP_PROP_BACKLIGHT, 1);
        QVERIFY(state.open(QIODevice::ReadOnly));
        QVERIFY(trace.readAll().contains("VIOLATION write_while_closed PU_BACKLIGHT_COMPENSATION"));
        QVERIFY(state.readAll().contains("violations 1\nviolation write_while_closed 1\n"));
        const QByteArray fifo = qgetenv("VEXLO_VCAM_CONTROL");
        const auto send = [&fifo](const QByteArray &cmd) {
            int fd = -1;
            QTRY_VERIFY((fd = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK)) >= 0);
            QCOMPARE(::write(fd, cmd.constData(), size_t(cmd.size())), ssize_t(cmd.size()));
            ::close(fd);
        };
        for (const QByteArray &cmd : {QByteArray("unplug 1\n"), QByteArray("replug 1\n")}) {
            send(cmd);
            QTRY_COMPARE(vcam_is_plugged(1) != 0, cmd.startsWith('r'));
        }
        send("ctrl EBUSY all\n");
        QTRY_VERIFY(!cap.set(cv::CAP_PROP_IRIS, 320));
        send("ctrl off\n");
        QTRY_VERIFY(cap.set(cv::CAP_PROP_IRIS, 320));
    }
};

QTEST_GUILESS_MAIN(TestVcam)
#include "tst_vcam.moc"
