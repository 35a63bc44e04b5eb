#include "camera/capturethread.h"

#include "camera/cameralink.h"

namespace {
// How long the loop sleeps at most, with the camera closed, before it looks at
// the stop request again; opening the camera or a stop request wake it sooner.
const unsigned long IdleWaitMs = 50;
} // namespace

CaptureThread::CaptureThread(CameraLink *camera)
    : camera(camera)
{
}

CaptureThread::~CaptureThread()
{
    stop();
}

void CaptureThread::requestStop()
{
    m_stopRequested = true;
    camera->wakeWaiters();
}

void CaptureThread::stop()
{
    requestStop();
    if (QThread::currentThread() == this)
        return;
    wait();
    (void)m_runEnded.load(std::memory_order_acquire);
    m_stopRequested = false;
}

QImage CaptureThread::takeNewestFrame()
{
    return m_mailbox.take();
}

void CaptureThread::run()
{
    // The open whose read failure has been announced, if any.
    bool announced = false;
    unsigned failedOpen = 0;
    while (!m_stopRequested) {
        if (!camera->waitUntilOpen(IdleWaitMs))
            continue;
        if (m_stopRequested)
            break;
        const unsigned open = camera->openCount();
        bool failed = false;
        const QImage image = camera->grabFrame(&failed);
        if (failed) {
            if (!announced || failedOpen != open) {
                announced = true;
                failedOpen = open;
                emit readFailed();
            }
            camera->waitForReopen(open, FailedReadPauseMs);
            continue;
        }
        announced = false;
        if (image.width() > 0 && m_mailbox.put(image))
            emit onGetFrame(image);
        QThread::msleep(1);
    }
    m_runEnded.store(true, std::memory_order_release);
}
