#include "camera/cameralink.h"

#include "camera/cameralog.h"

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include <cerrno>
#include <chrono>

// The control calls of the link: each one timed and examined, failed and slow
// ones handed to the thread's recorder, and a stalled camera told.

namespace {

thread_local ControlRecorder *threadRecorder = nullptr;

long long steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

namespace {

// Runs one control call and examines it: the errno it leaves (OpenCV clears
// errno before its ioctl and reports failure only through the result), how
// long it took, and whether it failed.
template <typename Call>
void examined(std::atomic<long long> &started, std::atomic<bool> &stalled, bool counted, ControlCall call,
              Call run)
{
    const long long start = steadyMs();
    started = start;
    errno = 0;
    call.failed = !run();
    call.error = errno;
    started = 0;
    call.ms = steadyMs() - start;
    if (!call.write && call.error != 0)
        call.failed = true; // a failed read gives a value, not a result
    if (!call.failed)
        call.error = 0;
    const bool late = call.ms > ControlRecorder::SlowCallMs || call.error == ETIMEDOUT;
    if (late)
        stalled = true;
    else if (!call.failed)
        stalled = false;
    if (counted && (call.failed || late)) {
        if (ControlRecorder *recorder = ControlRecorder::current())
            recorder->add(call);
    }
}

} // namespace

bool CameraLink::controlSet(int propId, double value)
{
    bool ok = false;
    ControlCall call;
    call.propId = propId;
    call.value = value;
    const bool counted = m_capture->isOpened() && reachesLocked(propId);
    examined(m_callStartedMs, m_lastCallStalled, counted, call, [&] {
        try {
            ok = m_capture->set(propId, value);
        } catch (const cv::Exception &e) {
            qCDebug(lcCamera, "##### set error = %s", e.what());
            ok = false;
        }
        return ok;
    });
    return ok;
}

double CameraLink::controlGet(int propId)
{
    double v = 0.0;
    ControlCall call;
    call.propId = propId;
    call.write = false;
    const bool counted = m_capture->isOpened() && reachesLocked(propId);
    examined(m_callStartedMs, m_lastCallStalled, counted, call, [&] {
        try {
            v = m_capture->get(propId);
            return true;
        } catch (const cv::Exception &e) {
            qCDebug(lcCamera, "##### get error = %s", e.what());
            return false;
        }
    });
    return v;
}

bool CameraLink::controlStalled() const
{
    const long long started = m_callStartedMs;
    return m_lastCallStalled || (started != 0 && steadyMs() - started > ControlRecorder::SlowCallMs);
}

ControlRecorder::ControlRecorder()
    : m_previous(threadRecorder)
{
    threadRecorder = this;
}

ControlRecorder::~ControlRecorder()
{
    threadRecorder = m_previous;
}

ControlRecorder *ControlRecorder::current()
{
    return threadRecorder;
}

bool CameraLink::reaches(int propId) const
{
    std::lock_guard<std::mutex> state(m_stateLock);
    return reachesLocked(propId);
}

bool CameraLink::reachesLocked(int propId) const
{
    for (const UnreachableProperty &u : m_unreachable) {
        if (u.propId == propId)
            return false;
    }
    return true;
}
