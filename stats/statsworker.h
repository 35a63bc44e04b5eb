#pragma once

#include "stats/framestats.h"

#include <QImage>
#include <QRectF>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>

// Measures frames on a thread of its own, one at a time. `post` hands over a
// frame and returns at once; a frame posted while the thread is still busy
// replaces the one waiting, so at most one frame waits and none piles up.
// Each result comes back through `measured` (queued to the receiver's thread).
//
// A job may carry a reference frame; its result is kept and reused for as long
// as the jobs carry the same `referenceKey`.
class StatsWorker : public QThread
{
    Q_OBJECT

public:
    struct Job
    {
        QImage frame;
        QRectF region; // fractions of `frame`
        QImage reference;
        QRectF referenceRegion;
        quint64 referenceKey = 0; // 0: no reference
    };

    explicit StatsWorker(QObject *parent = nullptr);
    // Stops and joins the thread.
    ~StatsWorker() override;

    // Starts the thread on first use.
    void post(Job job);
    void stop();
    // Jobs posted since construction.
    int postedCount() const { return m_posted; }

signals:
    void measured(const FrameStats::Result &live, const FrameStats::Result &reference, quint64 referenceKey);

protected:
    void run() override;

private:
    std::mutex m_lock;
    std::condition_variable m_wake;
    Job m_waiting;
    bool m_hasJob = false;
    bool m_stop = false;
    std::atomic<int> m_posted{0};
    // Only the thread touches these.
    quint64 m_referenceKey = 0;
    FrameStats::Result m_reference;
};
