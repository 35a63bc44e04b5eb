#pragma once

#include "camera/camdevice.h"

#include <QImage>
#include <QMutex>
#include <QReadWriteLock>
#include <QWaitCondition>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace cv {
class VideoCapture;
}
class DeviceSource;

// The one object that owns the camera: the capture object, the list of cameras
// of the last enumeration and the display rotation applied to every frame.
//
// Locking scheme of the shared capture object
// -------------------------------------------
// The capture object is used by four threads: the capture thread (frame reads),
// the GUI thread (open and close, single tunnelled writes, the debug read-back,
// the snapshot) and the sync and store worker threads (bulk transactions).
//
//  1. `lifeLock` (read/write, recursive). Every read, set and get holds it for
//     reading; open, close and release hold it for writing. The object is never
//     opened, closed or released under a reader, while reads, sets and gets run
//     side by side: frames keep coming while a register transaction runs.
//  2. `sessionLock` (mutex). Held for a whole register transaction, from the
//     opening focus write to the closing one, and for a whole debug read-back,
//     through a CaptureSession. No two transactions, and no transaction and
//     read-back, ever interleave, whichever threads they come from.
//
// Order: sessionLock before lifeLock, never the other way round. A session holds
// lifeLock for reading during its whole life, so a close or reopen requested
// meanwhile waits until the transaction has ended (at most the length of a full
// sync, about 1.7 s). Every use of the capture object goes through CameraLink's
// methods or a CaptureSession; `videoCapture()` is for code that holds a session.
class CameraLink
{
public:
    // Tests hand in a capture object and a device source of their own; by
    // default the platform's are used.
    explicit CameraLink(std::unique_ptr<cv::VideoCapture> capture = nullptr,
                        std::unique_ptr<DeviceSource> deviceSource = nullptr);
    ~CameraLink();

    CameraLink(const CameraLink &) = delete;
    CameraLink &operator=(const CameraLink &) = delete;

    // Opens capture index `id` and applies the preview size, given as
    // (3, width, 4, height, 5, fps). A negative id leaves everything as it is.
    bool camOpen(int id, const std::vector<int> &size);
    void camClose();
    bool isOpened() const;

    // Single property calls, each under the shared lock (no session).
    bool set(int propId, double value);
    double get(int propId);

    // The raw capture object, for code that holds a CaptureSession.
    cv::VideoCapture *videoCapture();

    int enumerateDevices();
    std::vector<CamDevice> devices() const;
    int deviceIdAt(int n) const;

    void setRotation(int degrees);
    int rotation() const;

    // Reads one frame and converts it to a rotated RGB32 image; null when there
    // is none.
    QImage grabFrame();

    // Blocks until the camera is open, `wakeWaiters` is called or `ms` have
    // passed; returns whether the camera is open.
    bool waitUntilOpen(unsigned long ms);
    void wakeWaiters();

private:
    friend class CaptureSession;

    void closeLocked();

    std::unique_ptr<cv::VideoCapture> m_capture;
    std::unique_ptr<DeviceSource> m_deviceSource;
    std::atomic<int> m_rotation{0};
    mutable QMutex m_devicesLock;
    std::vector<CamDevice> m_devices;

    mutable QReadWriteLock m_lifeLock{QReadWriteLock::Recursive};
    QMutex m_sessionLock;
    QMutex m_openWaitLock;
    QWaitCondition m_openChanged;
};

// A register transaction or a debug read-back: holds the session lock and the
// shared life lock for its whole life (see the locking scheme above).
class CaptureSession
{
public:
    explicit CaptureSession(CameraLink &link);
    // Only if no other session runs at this moment; check `isValid()`.
    CaptureSession(CameraLink &link, std::try_to_lock_t);
    ~CaptureSession();

    CaptureSession(const CaptureSession &) = delete;
    CaptureSession &operator=(const CaptureSession &) = delete;

    bool isValid() const { return m_valid; }
    bool isOpened() const;
    bool set(int propId, double value);
    double get(int propId);

private:
    CameraLink &m_link;
    bool m_valid = false;
};
