#pragma once

// A pretend USB world: a device list that tests plug and unplug, a capture object
// that opens only listed cameras, makes numbered frames at a set rate and records
// every property write.

#include "backend/devicewatcher.h"
#include "backend/qmldata.h"
#include "camera/cameralink.h"
#include "camera/devicesource.h"

#include <QtTest>
#include <QtWidgets>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

struct SetCall { int prop; double value; };

struct FakeWorld
{
    mutable std::mutex lock; // std::mutex: visible to ThreadSanitizer
    std::vector<DeviceRecord> nodes; // position = capture index
    std::vector<SetCall> calls;
    std::vector<int> opens;          // capture index of every successful open
    std::atomic<int> fps{30};
    std::atomic<bool> produceFrames{true};
    std::atomic<bool> occupied{false}; // another program holds the camera: open fails
    std::atomic<int> framesRead{0};
    int width = 1920, height = 1080;

    // A USB camera at capture index `id`; free indexes before it are nameless nodes.
    void plug(int id, const QString &name)
    {
        std::lock_guard<std::mutex> l(lock);
        nodes.resize(std::max(nodes.size(), size_t(id) + 1));
        nodes[size_t(id)] = DeviceRecord{true, name, QStringLiteral("usb-0000:00:14.0-%1").arg(id), true};
    }
    void unplug(int id) { std::lock_guard<std::mutex> l(lock); nodes[size_t(id)] = DeviceRecord{}; }
    std::vector<SetCall> takeCalls() { std::lock_guard<std::mutex> l(lock); return std::exchange(calls, {}); }
    std::vector<int> takeOpens() { std::lock_guard<std::mutex> l(lock); return std::exchange(opens, {}); }
};

// Position of the first write of `value` to `prop`, or -1.
inline int indexOf(const std::vector<SetCall> &calls, int prop, double value)
{
    auto it = std::find_if(calls.begin(), calls.end(),
                           [&](const SetCall &c) { return c.prop == prop && c.value == value; });
    return it == calls.end() ? -1 : int(it - calls.begin());
}

// How many times the tuning was stored in the camera (focus 249).
inline int storeCount(const std::vector<SetCall> &calls)
{
    return int(std::count_if(calls.begin(), calls.end(),
                             [](const SetCall &c) { return c.prop == cv::CAP_PROP_FOCUS && c.value == 249; }));
}

class FakeDeviceSource : public DeviceSource
{
public:
    explicit FakeDeviceSource(std::shared_ptr<FakeWorld> w) : world(std::move(w)) {}
    std::vector<DeviceRecord> list() override { std::lock_guard<std::mutex> l(world->lock); return world->nodes; }
    std::shared_ptr<FakeWorld> world;
};

class FakeCapture : public cv::VideoCapture
{
public:
    explicit FakeCapture(std::shared_ptr<FakeWorld> w) : world(std::move(w)) {}
    using cv::VideoCapture::open;
    bool open(int index, int) override
    {
        std::lock_guard<std::mutex> l(world->lock);
        if (index < 0 || index >= int(world->nodes.size()) || world->nodes[size_t(index)].name.isEmpty()
            || world->occupied)
            return false;
        world->opens.push_back(index);
        return opened = true;
    }
    bool isOpened() const override { return opened; }
    void release() override { opened = false; }
    bool read(cv::OutputArray out) override
    {
        if (!opened)
            return false;
        // The capture thread and the GUI thread (snapshot) read side by side.
        const auto period = std::chrono::microseconds(1000000 / std::max(1, world->fps.load()));
        std::chrono::steady_clock::time_point due;
        {
            std::lock_guard<std::mutex> l(paceLock);
            due = last + period;
            last = std::max(due, std::chrono::steady_clock::now());
        }
        std::this_thread::sleep_until(due);
        if (!world->produceFrames) {
            out.release();
            return false;
        }
        cv::Mat frame;
        {
            std::lock_guard<std::mutex> l(world->lock);
            frame = cv::Mat(world->height, world->width, CV_8UC3, cv::Scalar(10, 20, 30));
        }
        // The frame number in the first pixel (blue, green bytes).
        const int n = ++world->framesRead;
        frame.at<cv::Vec3b>(0, 0) = cv::Vec3b(uchar(n & 0xff), uchar((n >> 8) & 0xff), 0);
        frame.copyTo(out);
        return true;
    }
    bool set(int prop, double value) override
    {
        std::lock_guard<std::mutex> l(world->lock);
        world->calls.push_back(SetCall{prop, value});
        if (prop == cv::CAP_PROP_FRAME_WIDTH)
            world->width = int(value);
        if (prop == cv::CAP_PROP_FRAME_HEIGHT)
            world->height = int(value);
        return opened;
    }
    double get(int prop) const override
    {
        std::lock_guard<std::mutex> l(world->lock);
        return prop == cv::CAP_PROP_FRAME_WIDTH ? world->width : prop == cv::CAP_PROP_FRAME_HEIGHT ? world->height : 0;
    }

    std::shared_ptr<FakeWorld> world;
    std::atomic<bool> opened{false};
    std::mutex paceLock;
    std::chrono::steady_clock::time_point last = std::chrono::steady_clock::now();
};

// A backend on the fake world; `watcher` stays owned by the backend.
struct FakeRig
{
    std::shared_ptr<FakeWorld> world = std::make_shared<FakeWorld>();
    DeviceWatcher *watcher = nullptr;

    QmlData *makeBackend()
    {
        auto link = std::make_unique<CameraLink>(std::make_unique<FakeCapture>(world),
                                                 std::make_unique<FakeDeviceSource>(world));
        auto w = std::make_unique<DeviceWatcher>();
        watcher = w.get();
        return new QmlData(std::move(link), std::move(w));
    }
    void deviceChange() { emit watcher->devicesChanged(); }
};

// Runs `action` on the next message box that becomes the active modal widget,
// polling from the event loop of whatever prompt is up. The returned timer
// stops by itself once it has acted or after `timeoutMs`.
inline QPointer<QTimer> onNextBox(std::function<void(QMessageBox *)> action, int timeoutMs = 10000)
{
    auto *timer = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [timer, clock, action, timeoutMs] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        const bool found = box && box->isVisible();
        if (found || clock->elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
        }
        if (found)
            action(box);
    });
    timer->start(20);
    return timer;
}

inline void click(QMessageBox *box, QMessageBox::StandardButton which)
{
    QAbstractButton *b = box->button(which);
    QVERIFY(b);
    b->click();
}

// Points HOME at a fresh folder with an INI holding `values` (before any
// SettingsStore is built).
inline void useHome(const QString &home, const QVariantMap &values = {})
{
    qputenv("HOME", home.toLocal8Bit());
    QDir(home).mkpath(QStringLiteral("Vexlo"));
    QSettings ini(home + QStringLiteral("/Vexlo/config.ini"), QSettings::IniFormat);
    ini.clear();
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        ini.setValue(it.key(), it.value());
}

inline QVariant storedValue(const QString &home, const QString &key)
{
    return QSettings(home + QStringLiteral("/Vexlo/config.ini"), QSettings::IniFormat).value(key);
}

// The fixture of the in-process backend tests: a fresh HOME, world and backend.
struct RigHarness
{
    QTemporaryDir home;
    std::unique_ptr<FakeRig> rig;
    std::unique_ptr<QmlData> backend;

    // A backend on an INI holding `ini`, with camera "Cam A" at index 0 if `plugged`.
    QmlData *make(const QVariantMap &ini = {}, bool plugged = true)
    {
        useHome(home.path(), ini);
        rig = std::make_unique<FakeRig>();
        if (plugged)
            rig->world->plug(0, QStringLiteral("Cam A"));
        backend.reset(rig->makeBackend());
        return backend.get();
    }
    // Finds the cameras and loads the tuning; `capture` also opens (true if it did).
    bool bringUp(bool capture)
    {
        if (backend->getCamDevs() <= 0)
            return false;
        backend->initCameraParams();
        return capture && backend->startCaptureTimer();
    }
    void finish() { backend.reset(); rig.reset(); }
};
