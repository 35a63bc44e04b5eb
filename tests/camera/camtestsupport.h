#pragma once

// Shared by the camera tests: a temporary home with the debug log on, and a
// camera link on a fake capture object and a fake device source.
#include "app/debuglog.h"
#include "camera/cameralink.h"
#include "camera/devicesource.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>

#include <opencv2/videoio.hpp>

#include <mutex>
#include <thread>

using Calls = std::vector<std::pair<int, double>>;
const double Mjpg = double('M' | 'J' << 8 | 'P' << 16 | 'G' << 24);
const std::vector<int> Preview1080{3, 1920, 4, 1080, 5, 30};
const std::vector<int> Preview720{3, 1280, 4, 720, 5, 30};

// Points HOME at a temporary folder and turns the debug log on; create it first.
class TempHomeWithLog
{
public:
    TempHomeWithLog()
    {
        qputenv("HOME", m_home.path().toLocal8Bit());
        QDir(m_home.path()).mkpath(QStringLiteral("Vexlo"));
        setLogEnabled(true);
    }
    ~TempHomeWithLog() { setLogEnabled(false); }
    void clearLog() const { QFile::remove(m_log); }
    // The logged messages without their time stamps.
    QStringList logMessages() const
    {
        QFile file(m_log);
        file.open(QIODevice::ReadOnly | QIODevice::Text);
        QStringList lines = QTextStream(&file).readAll().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        return lines.replaceInStrings(QRegularExpression(QStringLiteral("^\\[[^]]*\\]:")), QString());
    }

private:
    QTemporaryDir m_home;
    const QString m_log = m_home.path() + QStringLiteral("/Vexlo/debugLog.txt");
};

// Opens indices 0 and 1, delivers 32x24 frames, records property writes and
// counts misuse (must stay 0): use during an open or release, an open or
// release inside a transaction (focus 89 ... 0), a read while closed, two reads
// at once, two threads' transactions interleaved.
class FakeCapture : public cv::VideoCapture
{
public:
    // Where to throw: one of these or a property id for set.
    enum Op { None = -1, Open = -2, Release = -3, Read = -4 };
    using cv::VideoCapture::open;

    std::atomic<int> throwAt{None}, readDelayMs{0};
    double acceptedFourcc = Mjpg; // 0: a camera without MJPG
    mutable std::atomic<int> overlaps{0}, isOpenedCalls{0};
    std::atomic<int> readsWhileClosed{0}, concurrentReads{0}, interleaved{0};
    std::atomic<int> opens{0}, releases{0}, reads{0}, readsInTransaction{0}, lastApi{-1};

    bool open(int index, int api) override
    {
        Guard lifecycle(*this, true);
        ++opens;
        lastApi = api;
        fail(Open);
        return m_open = index == 0 || index == 1;
    }
    bool isOpened() const override
    {
        ++isOpenedCalls;
        return m_open;
    }
    void release() override
    {
        Guard lifecycle(*this, true);
        ++releases;
        fail(Release);
        m_open = false;
    }
    bool read(cv::OutputArray image) override
    {
        Guard use(*this, false);
        concurrentReads += ++m_reading > 1;
        ++reads;
        readsInTransaction += inOthersTransaction();
        const bool open = m_open;
        readsWhileClosed += !open;
        if (open) {
            std::this_thread::sleep_for(std::chrono::milliseconds(readDelayMs.load()));
            image.create(24, 32, CV_8UC3);
            image.getMat().setTo(cv::Scalar(1, 2, 3));
        }
        --m_reading;
        fail(Read);
        return open;
    }
    bool set(int propId, double value) override
    {
        Guard use(*this, false);
        fail(propId);
        std::lock_guard<std::mutex> lock(m_callsLock);
        if (propId == cv::CAP_PROP_FOCUS && (value == 89 || value == 0)) {
            interleaved += inOthersTransaction();
            m_owner = value == 89 ? std::this_thread::get_id() : std::thread::id();
        }
        m_calls.emplace_back(propId, value);
        return m_open && (propId != cv::CAP_PROP_FOURCC || value == acceptedFourcc);
    }
    double get(int propId) const override
    {
        Guard use(*this, false);
        return m_open ? double(propId) : 0.0;
    }
    Calls takeCalls()
    {
        std::lock_guard<std::mutex> lock(m_callsLock);
        return std::exchange(m_calls, {});
    }

private:
    bool inOthersTransaction() const
    {
        return m_owner.load() != std::thread::id() && m_owner.load() != std::this_thread::get_id();
    }
    void fail(int op) const
    {
        if (throwAt == op)
            throw cv::Exception(cv::Error::StsError, "fake failure", "fake", __FILE__, __LINE__);
    }
    // Marks an open or release (lifecycle) or a read, set or get (use).
    struct Guard {
        const FakeCapture &c;
        const bool lifecycle;
        Guard(const FakeCapture &c, bool lifecycle) : c(c), lifecycle(lifecycle)
        {
            if (!lifecycle)
                ++c.m_users;
            c.overlaps += lifecycle ? c.m_users > 0 || c.m_owner.load() != std::thread::id() || c.m_lifecycle.exchange(true)
                                    : c.m_lifecycle.load();
        }
        ~Guard() { lifecycle ? void(c.m_lifecycle = false) : void(--c.m_users); }
    };

    std::atomic<bool> m_open{false};
    mutable std::atomic<bool> m_lifecycle{false};
    mutable std::atomic<int> m_users{0};
    std::atomic<int> m_reading{0};
    std::mutex m_callsLock;
    Calls m_calls;
    std::atomic<std::thread::id> m_owner{std::thread::id()};
};

class FakeDeviceSource : public DeviceSource
{
public:
    std::vector<DeviceRecord> records;
    std::vector<DeviceRecord> list() override { return records; }
};

// The link owns both fakes.
struct Rig {
    FakeCapture *fake = new FakeCapture;
    FakeDeviceSource *devices = new FakeDeviceSource;
    CameraLink link{std::unique_ptr<cv::VideoCapture>(fake), std::unique_ptr<DeviceSource>(devices)};
};
