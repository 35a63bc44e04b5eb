#include "camera/capturethread.h"

#include "camera/cameralink.h"
#include "camera/cameralog.h"


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

long CaptureThread::badFrames(FrameVerdict kind) const
{
    return m_badFrames[int(kind)];
}

void CaptureThread::countBadFrame(FrameVerdict kind)
{
    ++m_badFrames[int(kind)];
    if (m_lastBadLog.isValid() && m_lastBadLog.elapsed() < 1000)
        return;
    m_lastBadLog.start();
    QString counts;
    long total = 0;
    for (int k = int(FrameVerdict::Empty); k < FrameVerdictCount; ++k) {
        counts += QStringLiteral(", %1 %2").arg(QLatin1String(frameVerdictName(FrameVerdict(k)))).arg(m_badFrames[k]);
        total += m_badFrames[k];
    }
    const QString line = QStringLiteral("bad frames skipped: %1 (+%2)%3").arg(total).arg(total - m_loggedBad).arg(counts);
    m_loggedBad = total;
    qCInfo(lcCamera).noquote() << line;
}

QImage CaptureThread::takeNewestFrame(QSize *frameSize)
{
    return m_mailbox.take(frameSize);
}

void CaptureThread::setShownSize(QSize shown)
{
    const QSize s = shown.isValid() ? shown : QSize(0, 0);
    m_shown.store(quint64(quint32(s.width())) << 32 | quint32(s.height()), std::memory_order_relaxed);
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
        FrameVerdict verdict = FrameVerdict::Good;
        const quint64 packed = m_shown.load(std::memory_order_relaxed);
        const QSize shown(int(packed >> 32), int(packed & 0xffffffffu));
        QSize frameSize;
        const QImage image = camera->grabFrame(&verdict, shown, &frameSize);
        if (verdict == FrameVerdict::ReadFailed && camera->isOpened()) {
            if (!announced || failedOpen != open) {
                announced = true;
                failedOpen = open;
                emit readFailed();
            }
            camera->waitForReopen(open, FailedReadPauseMs);
            continue;
        }
        announced = false;
        if (verdict != FrameVerdict::Good && verdict != FrameVerdict::ReadFailed)
            countBadFrame(verdict);
        if (image.width() > 0 && m_mailbox.put(image, frameSize))
            emit onGetFrame(image);
        QThread::msleep(1);
    }
    m_runEnded.store(true, std::memory_order_release);
}
