#include "stats/statsworker.h"

StatsWorker::StatsWorker(QObject *parent)
    : QThread(parent)
{
    qRegisterMetaType<FrameStats::Result>();
    setObjectName(QStringLiteral("StatsThread"));
}

StatsWorker::~StatsWorker()
{
    stop();
}

void StatsWorker::post(Job job)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_waiting = std::move(job);
        m_hasJob = true;
    }
    ++m_posted;
    m_wake.notify_one();
    if (!isRunning())
        start(QThread::LowPriority);
}

void StatsWorker::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stop = true;
    }
    m_wake.notify_one();
    wait();
    std::lock_guard<std::mutex> lock(m_lock);
    m_stop = false;
    m_waiting = Job();
    m_hasJob = false;
}

void StatsWorker::run()
{
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(m_lock);
            m_wake.wait(lock, [this] { return m_hasJob || m_stop; });
            if (m_stop)
                return;
            job = std::move(m_waiting);
            m_waiting = Job();
            m_hasJob = false;
        }
        const FrameStats::Result live = FrameStats::measure(job.frame, job.region);
        job.frame = QImage(); // let the decoder have its image back
        if (job.referenceKey != m_referenceKey) {
            m_referenceKey = job.referenceKey;
            m_reference = job.referenceKey ? FrameStats::measure(job.reference, job.referenceRegion)
                                           : FrameStats::Result();
        }
        emit measured(live, m_reference, m_referenceKey);
    }
}
