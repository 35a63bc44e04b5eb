#pragma once

// A capture object that records every set and get with its time and thread,
// a fixture around it, and the helpers the tunnel tests share.

#include "camera/cameralink.h"
#include "camera/devicesource.h"
#include "settings/settingsstore.h"
#include "tunnel/paramtunnel.h"

#include <QElapsedTimer>
#include <QHash>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <QVector>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

struct CaptureCall
{
    bool isSet = true;
    int prop = 0;
    double value = 0;
    qint64 ns = 0; // since the capture object was made
    Qt::HANDLE thread = nullptr;
};

class RecordingCapture : public cv::VideoCapture
{
public:
    using cv::VideoCapture::open;
    RecordingCapture() { m_clock.start(); }

    bool open(int, int) override { return m_open = true; }
    bool isOpened() const override { return m_open; }
    void release() override { m_open = false; }
    void setOpened(bool open) { m_open = open; }

    bool set(int prop, double value) override
    {
        record(true, prop, value);
        if (m_onSet)
            m_onSet();
        return m_open;
    }
    double get(int prop) const override
    {
        record(false, prop, 0);
        std::lock_guard<std::mutex> locker(m_lock);
        return m_answers.value(prop, 0.0);
    }
    bool read(cv::OutputArray image) override
    {
        {
            std::lock_guard<std::mutex> locker(m_lock);
            m_frameReadTimes.append(m_clock.nsecsElapsed());
        }
        if (m_open)
            cv::Mat(8, 8, CV_8UC3, cv::Scalar(10, 20, 30)).copyTo(image);
        return m_open;
    }

    // What get(prop) answers; 0 for anything not given.
    void setAnswer(int prop, double value)
    {
        std::lock_guard<std::mutex> locker(m_lock);
        m_answers[prop] = value;
    }
    // Runs after each recorded set, on the calling thread.
    void setOnSet(std::function<void()> hook) { m_onSet = std::move(hook); }
    QVector<CaptureCall> calls() const
    {
        std::lock_guard<std::mutex> locker(m_lock);
        return m_calls;
    }
    void clear()
    {
        std::lock_guard<std::mutex> locker(m_lock);
        m_calls.clear();
    }
    qint64 nowNs() const { return m_clock.nsecsElapsed(); }
    QVector<qint64> frameReadTimes() const
    {
        std::lock_guard<std::mutex> locker(m_lock);
        return m_frameReadTimes;
    }

    // The traffic as text: "28:89" a set, "get:10" a get, joined by " " when
    // no pause lies between them, " +100ms " (+200ms ...) for a pause, and
    // " ?<ms>ms? " for any other gap.
    QString trace() const { return traceOf(calls()); }

    // On a loaded machine a pause lasts from its length less 5 ms to its
    // length plus PauseSlackMs; calls without one are under NoPauseMs apart.
    static constexpr int NoPauseMs = 50;
    static constexpr int PauseSlackMs = 90;

    // The trace with every pause mark taken out: two traces that agree here
    // differ only in timing.
    static QString withoutPauses(QString trace)
    {
        static const QRegularExpression marks(QStringLiteral(" (\\+\\d+ms|\\?[\\d.]+ms\\?) "));
        return trace.replace(marks, QStringLiteral(" "));
    }

    // A loaded machine can wake a sleeping thread late. A run whose traffic is
    // right but whose timing is off is measured again (at most `attempts`
    // times in all) before it counts: a real timing fault shows every time.
    static bool retryForTiming(const QString &got, const QString &expected, bool timingOk, int attempt,
                               int attempts = 3)
    {
        return attempt < attempts && (got != expected || !timingOk) && withoutPauses(got) == withoutPauses(expected);
    }

    static QString gapText(qint64 ns)
    {
        const double ms = double(ns) / 1e6;
        if (ms < NoPauseMs)
            return QStringLiteral(" ");
        const int pause = int((ms + 5) / 100) * 100;
        if (pause > 0 && ms < pause + PauseSlackMs)
            return QStringLiteral(" +%1ms ").arg(pause);
        return QStringLiteral(" ?%1ms? ").arg(ms, 0, 'f', 1);
    }

    // Platform-dependent names: the white-balance property "WB", automatic
    // exposure on "AE:on", an exposure value for table code c "EXP:c".
    static QString callText(const CaptureCall &c)
    {
        const QString prop = c.prop == ParamTunnel::whiteBalanceProperty() ? QStringLiteral("WB")
                                                                            : QString::number(c.prop);
        if (!c.isSet)
            return QStringLiteral("get:") + prop;
        if (c.prop == cv::CAP_PROP_AUTO_EXPOSURE && c.value == ParamTunnel::autoExposureOnValue())
            return QStringLiteral("AE:on");
        for (const ExposureEntry &e : ParamTunnel::exposureList()) {
            if (c.prop == cv::CAP_PROP_EXPOSURE && c.value == ParamTunnel::exposureControlValue(e.value))
                return QStringLiteral("EXP:%1").arg(e.value);
        }
        return QStringLiteral("%1:%2").arg(prop).arg(c.value, 0, 'g', 10);
    }

    // The platform's exposure write is one step: on V4L2 it switches
    // AUTO_EXPOSURE to manual (1) right before the EXPOSURE value.
    static QString traceOf(QVector<CaptureCall> calls)
    {
#ifndef _WIN32
        for (int i = calls.size() - 2; i >= 0; --i) {
            const CaptureCall &c = calls[i], &next = calls[i + 1];
            if (c.isSet && c.prop == cv::CAP_PROP_AUTO_EXPOSURE && c.value == 1.0 && next.isSet &&
                next.prop == cv::CAP_PROP_EXPOSURE)
                calls.remove(i);
        }
#endif
        QString text;
        for (int i = 0; i < calls.size(); ++i)
            text += (i ? gapText(calls[i].ns - calls[i - 1].ns) : QString()) + callText(calls[i]);
        return text;
    }

private:
    void record(bool isSet, int prop, double value) const
    {
        std::lock_guard<std::mutex> locker(m_lock);
        m_calls.append({isSet, prop, value, m_clock.nsecsElapsed(), QThread::currentThreadId()});
    }

    std::atomic<bool> m_open{true};
    QElapsedTimer m_clock;
    // Not a QMutex: ThreadSanitizer cannot follow an uninstrumented Qt.
    mutable std::mutex m_lock;
    mutable QVector<CaptureCall> m_calls;
    QVector<qint64> m_frameReadTimes;
    QHash<int, double> m_answers;
    std::function<void()> m_onSet;
};

class NoDevices : public DeviceSource
{
public:
    std::vector<DeviceRecord> list() override { return {}; }
};

// Puts values into an INI file as if a previous run had stored them.
inline void writeIni(const QString &path, const QVariantMap &values)
{
    QSettings ini(path, QSettings::IniFormat);
    for (auto it = values.begin(); it != values.end(); ++it)
        ini.setValue(it.key(), it.value());
}

// A recording camera link, a settings store in a fresh home folder, a tunnel.
struct TunnelFixture
{
    TunnelFixture()
    {
        qputenv("HOME", home.path().toLocal8Bit());
        auto recorder = std::make_unique<RecordingCapture>();
        capture = recorder.get();
        link = std::make_unique<CameraLink>(std::move(recorder), std::make_unique<NoDevices>());
        store = std::make_unique<SettingsStore>();
    }
    void writeIni(const QVariantMap &values) { ::writeIni(store->filePath(), values); }
    // The INI file once the store has written it out (the store is gone then).
    std::unique_ptr<QSettings> storedIni()
    {
        const QString path = store->filePath();
        store.reset();
        return std::make_unique<QSettings>(path, QSettings::IniFormat);
    }
    void checkStored(const QVariantMap &expected)
    {
        const auto ini = storedIni();
        for (auto it = expected.begin(); it != expected.end(); ++it)
            QCOMPARE(ini->value(it.key()).toString(), it.value().toString());
    }

    QTemporaryDir home;
    RecordingCapture *capture = nullptr;
    std::unique_ptr<CameraLink> link;
    std::unique_ptr<SettingsStore> store;
    ParamTunnel tunnel;
};

// One parameter write by name ("iso", "aperture", ...); false for an unknown name.
inline bool applyWrite(const QString &op, int v, ParamTunnel &t, CameraLink &c, SettingsStore &s)
{
    using Write = void (ParamTunnel::*)(int, CameraLink &, SettingsStore &);
    static const QHash<QString, Write> writes = {
        {"aec", &ParamTunnel::setAecMode},     {"aperture", &ParamTunnel::setAperture},
        {"exposure", &ParamTunnel::setExposureTime}, {"sce", &ParamTunnel::setSce},
        {"iso", &ParamTunnel::setIso},         {"ev", &ParamTunnel::setEv},
        {"afd", &ParamTunnel::setAfd},         {"awb", &ParamTunnel::setAwb},
        {"colortemp", &ParamTunnel::setColorTemperature}, {"warmness", &ParamTunnel::setWarmness},
        {"saturation", &ParamTunnel::setSaturation}, {"contrast", &ParamTunnel::setContrast},
        {"sharpness", &ParamTunnel::setSharpness}, {"mceR", &ParamTunnel::setMceR},
        {"mceG", &ParamTunnel::setMceG},       {"mceB", &ParamTunnel::setMceB}};
    if (op == QLatin1String("skin"))
        t.setSkinSmoothing(v != 0, c, s);
    else if (op == QLatin1String("bright"))
        t.setBrightMode(v != 0, c, s);
    else if (const Write w = writes.value(op))
        (t.*w)(v, c, s);
    else
        return false;
    return true;
}
