#pragma once

// A capture object for the camera tests: opens the indices it is told to,
// delivers generated frames, records every property write and checks how the
// program's threads use it.

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

class FakeCapture : public cv::VideoCapture
{
public:
    using cv::VideoCapture::open;

    // Configuration (set before the threads start, or atomics).
    std::set<int> presentIndices{0, 1};
    std::atomic<bool> throwOnOpen{false};
    std::atomic<bool> throwOnRelease{false};
    std::atomic<bool> throwOnRead{false};
    std::atomic<int> throwOnProp{-1};
    std::atomic<int> readDelayMs{0};
    // The pixel format the camera takes (MJPG by default; 0 for none).
    double acceptedFourcc = double('M' | 'J' << 8 | 'P' << 16 | 'G' << 24);
    int frameType = CV_8UC3;
    int frameWidth = 32;
    int frameHeight = 24;

    // What the threads did wrong; all must stay 0.
    mutable std::atomic<int> overlapsWithLifecycle{0}; // read/set/get during open/release or vice versa
    std::atomic<int> readsWhileClosed{0};
    std::atomic<int> concurrentReads{0};
    std::atomic<int> interleavedTransactions{0};

    // Counters.
    std::atomic<int> opens{0};
    std::atomic<int> releases{0};
    std::atomic<int> reads{0};
    mutable std::atomic<int> isOpenedCalls{0};

    bool open(int index, int apiPreference) override
    {
        Lifecycle guard(*this);
        ++opens;
        lastApi = apiPreference;
        if (throwOnOpen)
            throw cv::Exception(cv::Error::StsError, "fake open failure", "open", __FILE__, __LINE__);
        m_open = false;
        m_open = presentIndices.count(index) > 0;
        return m_open;
    }

    bool isOpened() const override
    {
        ++isOpenedCalls;
        return m_open;
    }

    void release() override
    {
        Lifecycle guard(*this);
        ++releases;
        if (throwOnRelease)
            throw cv::Exception(cv::Error::StsError, "fake release failure", "release", __FILE__, __LINE__);
        m_open = false;
    }

    bool read(cv::OutputArray image) override
    {
        Use use(*this);
        if (++m_reading > 1)
            ++concurrentReads;
        struct Done {
            std::atomic<int> &n;
            ~Done() { --n; }
        } done{m_reading};
        ++reads;
        if (!m_open) {
            ++readsWhileClosed;
            image.release();
            return false;
        }
        if (throwOnRead)
            throw cv::Exception(cv::Error::StsError, "fake read failure", "read", __FILE__, __LINE__);
        if (readDelayMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(readDelayMs.load()));
        image.create(frameHeight, frameWidth, frameType);
        image.getMat().setTo(cv::Scalar(1, 2, 3, 4));
        return true;
    }

    bool set(int propId, double value) override
    {
        Use use(*this);
        if (propId == throwOnProp)
            throw cv::Exception(cv::Error::StsError, "fake property failure", "set", __FILE__, __LINE__);
        if (propId == cv::CAP_PROP_FOCUS)
            trackTransaction(int(value));
        std::lock_guard<std::mutex> lock(m_callsLock);
        m_calls.emplace_back(propId, value);
        return m_open && (propId != cv::CAP_PROP_FOURCC || value == acceptedFourcc);
    }

    double get(int propId) const override
    {
        Use use(*this);
        return m_open ? double(propId) : 0.0;
    }

    std::vector<std::pair<int, double>> calls() const
    {
        std::lock_guard<std::mutex> lock(m_callsLock);
        return m_calls;
    }
    void clearCalls()
    {
        std::lock_guard<std::mutex> lock(m_callsLock);
        m_calls.clear();
    }

    std::atomic<int> lastApi{-1};

private:
    // Marks an open or release; no read, set or get may run meanwhile.
    struct Lifecycle {
        FakeCapture &c;
        explicit Lifecycle(FakeCapture &c) : c(c)
        {
            if (c.m_users > 0 || c.m_lifecycle.exchange(true))
                ++c.overlapsWithLifecycle;
        }
        ~Lifecycle() { c.m_lifecycle = false; }
    };
    struct Use {
        const FakeCapture &c;
        explicit Use(const FakeCapture &c) : c(c)
        {
            ++c.m_users;
            if (c.m_lifecycle)
                ++c.overlapsWithLifecycle;
        }
        ~Use() { --c.m_users; }
    };

    // Focus 89 opens a transaction and focus 0 closes it; another thread's
    // transaction must not start in between.
    void trackTransaction(int focus)
    {
        const std::thread::id self = std::this_thread::get_id();
        std::lock_guard<std::mutex> lock(m_callsLock);
        if (focus == 89) {
            if (m_inTransaction && m_transactionOwner != self)
                ++interleavedTransactions;
            m_inTransaction = true;
            m_transactionOwner = self;
        } else if (focus == 0) {
            if (m_inTransaction && m_transactionOwner != self)
                ++interleavedTransactions;
            m_inTransaction = false;
        }
    }

    std::atomic<bool> m_open{false};
    std::atomic<bool> m_lifecycle{false};
    mutable std::atomic<int> m_users{0};
    std::atomic<int> m_reading{0};
    mutable std::mutex m_callsLock;
    std::vector<std::pair<int, double>> m_calls;
    bool m_inTransaction = false;
    std::thread::id m_transactionOwner;
};
