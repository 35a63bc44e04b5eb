#pragma once

// The shared fake camera: a USB world the tests plug and unplug, a capture object that
// opens only listed nodes, delivers numbered frames at a set rate, answers gets from a
// table, traces every set, get and tunnel pause, and counts misuse (each count must stay 0).

#include "app/debuglog.h"
#include "camera/cameralink.h"
#include "camera/devicesource.h"
#include "settings/settingsstore.h"
#include "tunnel/paramtunnel.h"

#include <QtTest>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

const double Mjpg = double('M' | 'J' << 8 | 'P' << 16 | 'G' << 24);
const std::vector<int> Preview1080{3, 1920, 4, 1080, 5, 30};
const std::vector<int> Preview720{3, 1280, 4, 720, 5, 30};
const std::vector<int> SmallPreview{3, 32, 4, 24, 5, 30};

struct FakeWorld
{
    // Where to throw a cv::Exception: one of these, or a property id for set.
    enum Op { None = -1, Open = -2, Release = -3, Read = -4 };

    // std::mutex and atomics: visible to ThreadSanitizer.
    mutable std::mutex lock;
    std::vector<DeviceRecord> nodes; // position = capture index
    std::vector<int> opens;          // capture index of every successful open
    QStringList calls;               // "prop:value", "get:prop", "p<ms>", marks
    QHash<int, double> answers;      // what get gives; 0 for the rest
    std::function<void()> onSet;     // after each recorded set, on its thread
    std::atomic<int> refusedProp{-1}, refusedErrno{0}; // a set the camera refuses, with this errno
    int width = 1920, height = 1080;
    double acceptedFourcc = Mjpg;    // 0: a camera without MJPG
    std::atomic<int> fps{30};        // 0: frames as fast as they are read
    std::atomic<bool> produceFrames{true}, occupied{false}, open{false};
    std::atomic<bool> stallFrames{false}; // a read waits (without failing) while set
    std::atomic<int> stalledReads{0};
    std::atomic<int> throwAt{None}, lastApi{-1};
    std::atomic<int> framesRead{0}, releases{0}, isOpenedCalls{0}, readsInTransaction{0};
    // Misuse: use during an open or release or an open or release inside a transaction;
    // a read while closed; two reads at once; another thread's set or get in a transaction.
    std::atomic<int> overlaps{0}, readsWhileClosed{0}, concurrentReads{0}, interleaved{0};

    // A USB camera at capture index `id`; free indexes before it are nameless nodes.
    void plug(int id, const QString &name = QStringLiteral("Cam A"))
    {
        std::lock_guard<std::mutex> l(lock);
        nodes.resize(std::max(nodes.size(), size_t(id) + 1));
        nodes[size_t(id)] = DeviceRecord{true, name, QStringLiteral("usb-0000:00:14.0-%1").arg(id), true};
    }
    void refuse(int prop, int error) { refusedProp = error ? prop : -1, refusedErrno = error; }
    void unplug(int id) { std::lock_guard<std::mutex> l(lock); nodes[size_t(id)] = DeviceRecord{}; }
    std::vector<int> takeOpens() { std::lock_guard<std::mutex> l(lock); return std::exchange(opens, {}); }
    void record(const QString &call) { std::lock_guard<std::mutex> l(lock); calls << call; }
    // The traffic since the last take, joined by spaces, e.g. "28:89 p100 14:13 28:0".
    QString takeTrace()
    {
        std::lock_guard<std::mutex> l(lock);
        return std::exchange(calls, {}).join(QLatin1Char(' '));
    }
    void fail(int op) const
    {
        if (throwAt == op)
            throw cv::Exception(cv::Error::StsError, "fake failure", "fake", __FILE__, __LINE__);
    }

    // Names that hide the platform: "WB" white balance, "AE:on" automatic exposure,
    // "EXP:c" the exposure of table code c (on V4L2 with the switch to manual before it).
    static QString callText(int prop, double value)
    {
        if (prop == cv::CAP_PROP_AUTO_EXPOSURE && value == ParamTunnel::autoExposureOnValue())
            return QStringLiteral("AE:on");
        for (int i = 0; i < Params::count(Params::ExposureTime); ++i) {
            const int code = Params::storedAt(Params::ExposureTime, i);
            if (prop == cv::CAP_PROP_EXPOSURE && value == ParamTunnel::exposureControlValue(code))
                return QStringLiteral("EXP:%1").arg(code);
        }
        return (prop == ParamTunnel::whiteBalanceProperty() ? QStringLiteral("WB") : QString::number(prop))
            + QLatin1Char(':') + QString::number(value, 'g', 10);
    }

    // The thread inside a transaction, if any.
    std::atomic<std::thread::id> owner{std::thread::id()};
    std::atomic<int> users{0}, reading{0};
    std::atomic<bool> inLifecycle{false};
    bool inOthersTransaction() const { return owner.load() != std::thread::id() && owner.load() != std::this_thread::get_id(); }
};

class FakeCapture : public cv::VideoCapture
{
public:
    explicit FakeCapture(std::shared_ptr<FakeWorld> w) : world(std::move(w)) {}
    using cv::VideoCapture::open;

    bool open(int index, int api) override
    {
        Use use(*world, true);
        world->lastApi = api;
        world->fail(FakeWorld::Open);
        std::lock_guard<std::mutex> l(world->lock);
        if (index < 0 || index >= int(world->nodes.size()) || world->nodes[size_t(index)].name.isEmpty()
            || world->occupied)
            return false;
        world->opens.push_back(index);
        return world->open = true;
    }
    bool isOpened() const override { return ++world->isOpenedCalls, world->open; }
    void release() override
    {
        Use use(*world, true);
        ++world->releases;
        world->fail(FakeWorld::Release);
        world->open = false;
    }
    bool read(cv::OutputArray out) override
    {
        if (world->stallFrames) {
            ++world->stalledReads;
            while (world->stallFrames)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            --world->stalledReads;
        }
        Use use(*world, false);
        world->concurrentReads += ++world->reading > 1;
        world->readsInTransaction += world->inOthersTransaction();
        const bool ok = world->open && world->produceFrames;
        world->readsWhileClosed += !world->open;
        if (ok) {
            pace();
            std::lock_guard<std::mutex> l(world->lock);
            cv::Mat frame(world->height, world->width, CV_8UC3, cv::Scalar(10, 20, 30));
            const int n = ++world->framesRead;
            frame.at<cv::Vec3b>(0, 0) = cv::Vec3b(uchar(n & 0xff), uchar((n >> 8) & 0xff), 0); // frame number
            frame.copyTo(out);
        }
        --world->reading;
        world->fail(FakeWorld::Read);
        return ok;
    }
    // The capture link grabs and retrieves apart.
    bool grab() override { return read(grabbed); }
    bool retrieve(cv::OutputArray out, int) override
    {
        grabbed.copyTo(out);
        return !grabbed.empty();
    }
    bool set(int prop, double value) override
    {
        {
            Use use(*world, false);
            world->fail(prop);
            std::lock_guard<std::mutex> l(world->lock);
            world->interleaved += world->inOthersTransaction();
            if (prop == cv::CAP_PROP_FOCUS)
                world->owner = value == 0 ? std::thread::id() : std::this_thread::get_id();
            if (prop == cv::CAP_PROP_FRAME_WIDTH)
                world->width = int(value);
            if (prop == cv::CAP_PROP_FRAME_HEIGHT)
                world->height = int(value);
#ifndef _WIN32
            if (prop == cv::CAP_PROP_EXPOSURE && world->calls.endsWith(QStringLiteral("21:1")))
                world->calls.removeLast();
#endif
            world->calls << FakeWorld::callText(prop, value);
        }
        if (world->onSet)
            world->onSet();
        if (prop == world->refusedProp) {
            errno = world->refusedErrno;
            return false;
        }
        return world->open && (prop != cv::CAP_PROP_FOURCC || value == world->acceptedFourcc);
    }
    double get(int prop) const override
    {
        Use use(*world, false);
        std::lock_guard<std::mutex> l(world->lock);
        world->interleaved += world->inOthersTransaction();
        world->calls << QStringLiteral("get:%1").arg(prop == ParamTunnel::whiteBalanceProperty() ? QStringLiteral("WB")
                                                                                                 : QString::number(prop));
        if (prop == cv::CAP_PROP_FRAME_WIDTH || prop == cv::CAP_PROP_FRAME_HEIGHT)
            return prop == cv::CAP_PROP_FRAME_WIDTH ? world->width : world->height;
        return world->answers.value(prop, 0.0);
    }

    std::shared_ptr<FakeWorld> world;

private:
    cv::Mat grabbed;
    // Frames come at most `fps` a second, whichever thread reads.
    void pace()
    {
        if (world->fps <= 0)
            return;
        std::chrono::steady_clock::time_point due;
        {
            std::lock_guard<std::mutex> l(paceLock);
            due = last + std::chrono::microseconds(1000000 / world->fps);
            last = std::max(due, std::chrono::steady_clock::now());
        }
        std::this_thread::sleep_until(due);
    }
    // Marks an open or release (lifecycle) or a read, set or get (use).
    struct Use {
        FakeWorld &w;
        const bool lifecycle;
        Use(FakeWorld &w, bool lifecycle) : w(w), lifecycle(lifecycle)
        {
            if (!lifecycle)
                ++w.users;
            w.overlaps += lifecycle ? w.users > 0 || w.owner.load() != std::thread::id() || w.inLifecycle.exchange(true)
                                    : w.inLifecycle.load();
        }
        ~Use() { lifecycle ? void(w.inLifecycle = false) : void(--w.users); }
    };
    std::mutex paceLock;
    std::chrono::steady_clock::time_point last = std::chrono::steady_clock::now();
};

class FakeDeviceSource : public DeviceSource
{
public:
    explicit FakeDeviceSource(std::shared_ptr<FakeWorld> w) : world(std::move(w)) {}
    std::vector<DeviceRecord> list() override { std::lock_guard<std::mutex> l(world->lock); return world->nodes; }
    std::shared_ptr<FakeWorld> world;
};

inline std::unique_ptr<CameraLink> makeFakeLink(const std::shared_ptr<FakeWorld> &world)
{
    return std::make_unique<CameraLink>(std::make_unique<FakeCapture>(world), std::make_unique<FakeDeviceSource>(world));
}

// A fake world with cameras at indexes 0 and 1 and a link on it.
struct Rig
{
    std::shared_ptr<FakeWorld> world = std::make_shared<FakeWorld>();
    std::unique_ptr<CameraLink> link = makeFakeLink(world);
    Rig() { world->plug(0), world->plug(1); }
};

// Points HOME at a temporary folder with a Vexlo folder (and the debug log on if `log`).
class TempHome
{
public:
    explicit TempHome(bool log = false)
    {
        qputenv("HOME", dir.path().toLocal8Bit());
        QDir(dir.path()).mkpath(QStringLiteral("Vexlo"));
        if (log)
            setLogEnabled(true);
    }
    ~TempHome() { setLogEnabled(false); }
    QString path() const { return dir.path(); }
    void clearLog() const { QFile::remove(logPath()); }
    // The logged messages without their time stamps.
    QStringList logMessages() const
    {
        QFile file(logPath());
        file.open(QIODevice::ReadOnly | QIODevice::Text);
        QStringList lines = QTextStream(&file).readAll().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        return lines.replaceInStrings(QRegularExpression(QStringLiteral("^\\[[^]]*\\]:")), QString());
    }

private:
    QString logPath() const { return dir.path() + QStringLiteral("/Vexlo/debugLog.txt"); }
    QTemporaryDir dir;
};

// Puts values into an INI file as if a previous run had stored them.
inline void writeIni(const QString &path, const QVariantMap &values)
{
    QSettings ini(path, QSettings::IniFormat);
    for (auto it = values.begin(); it != values.end(); ++it)
        ini.setValue(it.key(), it.value());
}

// Every tuning key away from its default.
inline QVariantMap tunedSettings()
{
    return {{"aec_Mod", 1}, {"aperture_value", 320}, {"exposure_time", -5}, {"skin_smoothing", true},
            {"bright_mode", false}, {"iso_value", 7}, {"ev_value", -2}, {"afd_value", 1}, {"awb_value", 6},
            {"color_temperature", 45}, {"warmness_value", -3}, {"saturation_value", 2}, {"contrast_value", 8},
            {"sharpness_value", 30}, {"uvc_mce_r", 10}, {"uvc_mce_g", -20}, {"uvc_mce_b", 128}, {"sce_value", 1500}};
}

// An open fake camera, a store in a fresh home, a tunnel whose pauses go into the trace.
struct TunnelFixture : Rig
{
    explicit TunnelFixture(ParamTunnel::Pause pause = {})
        : tunnel(pause ? pause : ParamTunnel::Pause([w = world](unsigned long ms) { w->record(QStringLiteral("p%1").arg(ms)); }))
    {
        QTest::ignoreMessage(QtDebugMsg, "not open");
        link->camOpen(0, {});
        world->takeTrace();
    }
    void writeIni(const QVariantMap &values) { ::writeIni(store->filePath(), values); }
    void checkStored(const QVariantMap &expected)
    {
        const QString path = store->filePath();
        store.reset(); // written out
        const QSettings ini(path, QSettings::IniFormat);
        for (auto it = expected.begin(); it != expected.end(); ++it)
            QCOMPARE(ini.value(it.key()).toString(), it.value().toString());
    }

    TempHome home;
    std::unique_ptr<SettingsStore> store = std::make_unique<SettingsStore>();
    ParamTunnel tunnel;
};
