#pragma once

// A capture object that records every set and get with a timestamp and the
// calling thread, and a fixture that puts it behind a CameraLink next to a
// settings store in a private home folder.

#include "camera/cameralink.h"
#include "camera/devicesource.h"
#include "settings/settingsstore.h"
#include "tunnel/paramtunnel.h"

#include <QElapsedTimer>
#include <QHash>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <QVector>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include <atomic>
#include <cmath>
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

    bool open(int, int) override
    {
        m_open = true;
        return true;
    }
    bool isOpened() const override { return m_open; }
    void release() override { m_open = false; }
    void setOpened(bool open) { m_open = open; }

    bool set(int prop, double value) override
    {
        {
            std::lock_guard<std::mutex> locker(m_lock);
            m_calls.append({true, prop, value, m_clock.nsecsElapsed(), QThread::currentThreadId()});
        }
        if (m_onSet)
            m_onSet(prop, value);
        return m_open;
    }

    double get(int prop) const override
    {
        std::lock_guard<std::mutex> locker(m_lock);
        m_calls.append({false, prop, 0, m_clock.nsecsElapsed(), QThread::currentThreadId()});
        return m_answers.value(prop, 0.0);
    }

    bool read(cv::OutputArray image) override
    {
        {
            std::lock_guard<std::mutex> locker(m_lock);
            m_frameReadTimes.append(m_clock.nsecsElapsed());
        }
        if (!m_open)
            return false;
        cv::Mat(8, 8, CV_8UC3, cv::Scalar(10, 20, 30)).copyTo(image);
        return true;
    }

    // What get(prop) answers; 0 for anything not given.
    void setAnswer(int prop, double value)
    {
        std::lock_guard<std::mutex> locker(m_lock);
        m_answers[prop] = value;
    }
    // Called after each set is recorded, on the calling thread.
    void setOnSet(std::function<void(int, double)> hook) { m_onSet = std::move(hook); }

    QVector<CaptureCall> calls() const
    {
        std::lock_guard<std::mutex> locker(m_lock);
        return m_calls;
    }
    void clear()
    {
        std::lock_guard<std::mutex> locker(m_lock);
        m_calls.clear();
        m_frameReadTimes.clear();
    }
    qint64 nowNs() const { return m_clock.nsecsElapsed(); }
    QVector<qint64> frameReadTimes() const
    {
        std::lock_guard<std::mutex> locker(m_lock);
        return m_frameReadTimes;
    }

    // The recorded traffic as text: "28:89" for a set, "get:10" for a get
    // (see setText for the platform names), separated by " " when the calls follow each other with no pause and by
    // " +100ms " (" +500ms ", ...) when a pause of that length lies between
    // them. Any other gap shows as " ?<ms>ms? " so that a mismatch tells what
    // happened.
    QString trace() const { return traceOf(calls()); }

    // Tolerances for a loaded machine: a pause lasts at least its length less
    // 5 ms and less than its length plus PauseSlackMs; calls with no pause
    // between them come less than NoPauseMs apart.
    static constexpr int NoPauseMs = 50;
    static constexpr int PauseSlackMs = 90;

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

    // The properties and values that differ between platforms get names: the
    // white-balance property "WB", AUTO_EXPOSURE's "on" value "AE:on", and
    // an EXPOSURE value that stands for a table code "EXP:<code>".
    static QString propText(int prop)
    {
        return prop == ParamTunnel::whiteBalanceProperty() ? QStringLiteral("WB") : QString::number(prop);
    }

    static QString setText(const CaptureCall &c)
    {
        if (c.prop == cv::CAP_PROP_AUTO_EXPOSURE && c.value == ParamTunnel::autoExposureOnValue())
            return QStringLiteral("AE:on");
        if (c.prop == cv::CAP_PROP_EXPOSURE) {
            for (const ExposureEntry &e : ParamTunnel::exposureList()) {
                if (c.value == ParamTunnel::exposureControlValue(e.value))
                    return QStringLiteral("EXP:%1").arg(e.value);
            }
        }
        return QStringLiteral("%1:%2").arg(propText(c.prop)).arg(c.value, 0, 'g', 10);
    }

    static QString traceOf(const QVector<CaptureCall> &calls)
    {
        QString text;
        for (int i = 0; i < calls.size(); ++i) {
            const CaptureCall &c = calls.at(i);
            if (i > 0)
                text += gapText(c.ns - calls.at(i - 1).ns);
            text += c.isSet ? setText(c) : QStringLiteral("get:%1").arg(propText(c.prop));
        }
        return text;
    }

private:
    std::atomic<bool> m_open{true};
    QElapsedTimer m_clock;
    // A std::mutex, not a QMutex: ThreadSanitizer cannot follow the waits of
    // an uninstrumented Qt.
    mutable std::mutex m_lock;
    mutable QVector<CaptureCall> m_calls;
    QVector<qint64> m_frameReadTimes;
    QHash<int, double> m_answers;
    std::function<void(int, double)> m_onSet;
};

class NoDevices : public DeviceSource
{
public:
    std::vector<DeviceRecord> list() override { return {}; }
};

// One camera link with a recording capture object, a settings store whose INI
// lives in a fresh home folder, and a tunnel.
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

    // Puts values into the INI file as if a previous run had stored them.
    void writeIni(const QVariantMap &values)
    {
        QSettings ini(store->filePath(), QSettings::IniFormat);
        for (auto it = values.begin(); it != values.end(); ++it)
            ini.setValue(it.key(), it.value());
        ini.sync();
    }

    // What the INI file holds under `key` once the store has written it out
    // (the store is gone afterwards).
    QVariant storedValue(const QString &key)
    {
        const QString path = store->filePath();
        store.reset();
        return QSettings(path, QSettings::IniFormat).value(key);
    }

    QTemporaryDir home;
    RecordingCapture *capture = nullptr;
    std::unique_ptr<CameraLink> link;
    std::unique_ptr<SettingsStore> store;
    ParamTunnel tunnel;
};
