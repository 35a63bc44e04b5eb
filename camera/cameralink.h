#pragma once

#include "camera/camdevice.h"
#include "camera/controlroutes.h"
#include "camera/devicelock.h"
#include "camera/devicesource.h"
#include "camera/frameconvert.h"

#include <QImage>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace cv {
class VideoCapture;
}

// The one object that owns the camera: the capture object, the list of cameras
// of the last enumeration and the display rotation applied to every frame.
//
// Locking scheme of the shared capture object
// -------------------------------------------
// Who owns what. The one camera-control worker (tunnel/cameracontrol.h) owns
// the capture object's life and its controls: it opens and closes the camera
// and runs every control call (single writes, the debug read-back, the store
// command, sync, priming and restore), one operation at a time in the order
// asked, so no transaction or read-back ever waits for another, and an open or
// close asked during a slow control call waits on the worker, not on the GUI
// thread. The capture thread keeps the stream (frame reads). The GUI thread
// only asks: it hands opens, closes and control operations to the worker,
// learns their results from its queued signal, and otherwise calls only what
// never waits for the camera: isOpened, streamFormat and reaches (the state
// the last open or close left, under `stateLock`), the rotation, the device
// list and controlStalled. (Once the worker has stopped, at the end, the
// backend closes the camera itself.)
//
//  1. `lifeGate` (shared/exclusive, writers first). Every read, set and get
//     holds it shared; open, close and release hold it exclusively. The object
//     is never opened, closed or released under a user, while reads, sets and
//     gets run side by side: frames keep coming while a register transaction
//     runs. A waiting open or close keeps new users out, so it cannot starve;
//     it does wait for a control call that the camera is slow to answer, and
//     for a frame read in progress.
//  2. `sessionLock` (recursive mutex). Held for a whole register transaction,
//     from the opening focus write to the closing one, and for a whole debug
//     read-back, through a CaptureSession. With every control call on the
//     worker it is never contended in the program; it stays as the guarantee
//     for any other caller (tests, tools). A thread may nest sessions.
//  3. `frameLock` (mutex). Held around each frame read, so that the capture
//     thread and any other reader never read the capture object at the same
//     time (OpenCV's capture backends keep per-frame state that is not
//     thread-safe).
//  4. `stateLock` (mutex). Guards what open and close leave for others to
//     read without the life gate: whether the camera is open, the negotiated
//     format and the properties without a control. Written at the end of an
//     open or close, under the exclusive life gate as well, so that holders of
//     the gate read them without it; held only to copy them, never across a
//     call to the camera.
//
//  5. The camera's DeviceLock (devicelock.h), across programs. The outermost
//     session of a thread on an open camera holds it after the life gate, so
//     that vexlo-tune and the window never interleave their transactions; it
//     is keyed by the USB path of the device opened (from the enumeration).
//
// Order: sessionLock, then lifeGate, then the device lock, then frameLock or
// stateLock; never the other way round.
// A session holds lifeGate shared for its whole life, so a close or reopen
// requested meanwhile waits until the transaction has ended. A thread that
// holds a session may call set, get, isOpened and grabFrame again (they see
// the session and do not lock twice), but camOpen and camClose refuse to run
// inside a session, which would deadlock.
//
// Every control call (set, get) is examined: one that fails or takes longer
// than ControlRecorder::SlowCallMs is handed to the ControlRecorder of its
// thread, if there is one, and the link remembers whether the camera answers
// (`controlStalled`), which any thread may ask without waiting.
//
// Every use of the capture object goes through CameraLink's methods or a
// CaptureSession; `videoCapture()` is for code that holds a session.
//
// The locks are standard-library primitives rather than Qt's: ThreadSanitizer
// sees them, whereas the system's Qt is not instrumented.
class CameraLink
{
public:
    // Tests hand in a capture object and a device source of their own; by
    // default the platform's are used. Only the platform's capture object has
    // its controls routed and checked at open (see controlroutes.h), unless
    // the caller asks for it: a capture object of its own on the real device.
    enum class Routes { PlatformCaptureOnly, Always };
    explicit CameraLink(std::unique_ptr<cv::VideoCapture> capture = nullptr,
                        std::unique_ptr<DeviceSource> deviceSource = nullptr,
                        Routes routes = Routes::PlatformCaptureOnly);
    ~CameraLink();

    CameraLink(const CameraLink &) = delete;
    CameraLink &operator=(const CameraLink &) = delete;

    // Opens capture index `id` and applies the preview size, given as
    // (3, width, 4, height, 5, fps). A negative id leaves everything as it is.
    // Both wait for the users of the capture object (see above): in the
    // program they run on the camera-control worker.
    bool camOpen(int id, const std::vector<int> &size);
    void camClose();
    // Whether the last open or close left the camera open. Never waits.
    bool isOpened() const;

    // Single property calls, each under the shared lock (no session). An OpenCV
    // exception is caught: set gives false, get gives 0.
    bool set(int propId, double value);
    double get(int propId);

    // True while a control call has been running for longer than
    // ControlRecorder::SlowCallMs, or the last one finished took that long or
    // timed out; false again once a call is answered in time. Never waits.
    bool controlStalled() const;

    // The raw capture object, for code that holds a CaptureSession.
    cv::VideoCapture *videoCapture();

    // False when the open camera has no control behind capture property
    // `propId` (found at open; true while closed or when unknown). Never waits.
    bool reaches(int propId) const;

    int enumerateDevices();
    std::vector<CamDevice> devices() const;
    int deviceIdAt(int n) const;

    void setRotation(int degrees);
    int rotation() const;

    // Reads one frame and converts it to a rotated RGB32 image; null when there
    // is none, with the reason in `verdict` (ReadFailed also when the camera
    // is closed).
    // `shown` (after the turn), when not empty, lets a compressed frame decode
    // smaller, no smaller than that (see jpegToImage); `frameSize` then gets
    // the frame's own size after the turn.
    QImage grabFrame(FrameVerdict *verdict = nullptr, QSize shown = QSize(), QSize *frameSize = nullptr);

    // What the open camera actually delivers, as negotiated at open (another
    // size or format than asked when the camera does not offer that one).
    // Never waits.
    struct StreamFormat
    {
        int width = 0;
        int height = 0;
        int fourcc = 0; // four-character code, 0 when unknown
        int fps = 0;
    };
    StreamFormat streamFormat() const;

    // Blocks until the camera is open, `wakeWaiters` is called or `ms` have
    // passed; returns whether the camera is open.
    bool waitUntilOpen(unsigned long ms);
    // Counts successful opens, so that a reader can tell a fresh open from the
    // one whose read failed.
    unsigned openCount() const;
    // Blocks until the camera has been opened since `openCount()` gave `seen`,
    // `wakeWaiters` is called or `ms` have passed.
    void waitForReopen(unsigned seen, unsigned long ms);
    void wakeWaiters();

private:
    friend class CaptureSession;
    class SharedUse;

    // Shared/exclusive lock in which a waiting exclusive locker keeps new shared
    // lockers out.
    class Gate
    {
    public:
        void lockShared();
        void unlockShared();
        void lock();
        void unlock();

    private:
        std::mutex m_mutex;
        std::condition_variable m_changed;
        int m_users = 0;
        int m_waitingOwners = 0;
        bool m_owned = false;
    };

    void closeLocked();
    QString lockKeyOf(int id);
    // Under the exclusive life gate: what the open or close leaves.
    void publish(bool opened, const StreamFormat &format, std::vector<UnreachableProperty> unreachable);
    bool reachesLocked(int propId) const;
    // A set or get on the capture object, examined (see ControlRecorder).
    bool controlSet(int propId, double value);
    double controlGet(int propId);

    const bool m_routeControls; // before the capture object, which is moved in
    std::unique_ptr<cv::VideoCapture> m_capture;
    std::unique_ptr<DeviceSource> m_deviceSource;
    // Written under the exclusive life gate and the state lock; read under either.
    mutable std::mutex m_stateLock;
    bool m_opened = false;
    std::vector<UnreachableProperty> m_unreachable;
    StreamFormat m_format;
    // Made by an open, dropped by a close, under the exclusive life gate.
    std::unique_ptr<DeviceLock> m_deviceLock;
    std::atomic<int> m_rotation{0};
    std::atomic<unsigned> m_openCount{0};
    // Start of the running control call (steady clock, ms; 0: none), and
    // whether the last one finished late or timed out.
    std::atomic<long long> m_callStartedMs{0};
    std::atomic<bool> m_lastCallStalled{false};
    mutable std::mutex m_devicesLock;
    std::vector<CamDevice> m_devices;

    mutable Gate m_lifeGate;
    std::recursive_mutex m_sessionLock;
    std::mutex m_frameLock;
    std::mutex m_openWaitLock;
    std::condition_variable m_openChanged;
};

// One control call that failed (`error`: its errno, or 0 when the driver gave
// none) or took longer than ControlRecorder::SlowCallMs.
struct ControlCall
{
    int propId = 0;
    bool write = true;
    double value = 0; // the value written
    int error = 0;
    bool failed = false;
    long long ms = 0;
};

// Collects the failed and slow control calls of its thread while it lives.
// Calls to a closed camera and to properties that reach no control of the
// open camera (reported at open) are not counted.
class ControlRecorder
{
public:
    static const int SlowCallMs = 1000;

    ControlRecorder();
    ~ControlRecorder();
    ControlRecorder(const ControlRecorder &) = delete;
    ControlRecorder &operator=(const ControlRecorder &) = delete;

    const std::vector<ControlCall> &calls() const { return m_calls; }
    void add(const ControlCall &call) { m_calls.push_back(call); }
    // The recorder of the calling thread, if any.
    static ControlRecorder *current();

private:
    ControlRecorder *m_previous;
    std::vector<ControlCall> m_calls;
};

// A register transaction or a debug read-back: holds the session lock and the
// shared life lock for its whole life (see the locking scheme above).
class CaptureSession
{
public:
    explicit CaptureSession(CameraLink &link);
    // Only if no other thread's session, and no other program's transaction
    // on the camera, runs at this moment; check `isValid()`.
    CaptureSession(CameraLink &link, std::try_to_lock_t);
    // Waits at most `wait` for another program's transaction on the camera
    // (see DeviceLock); check `isValid()`.
    CaptureSession(CameraLink &link, std::chrono::milliseconds wait);
    ~CaptureSession();

    CaptureSession(const CaptureSession &) = delete;
    CaptureSession &operator=(const CaptureSession &) = delete;

    bool isValid() const { return m_valid; }
    bool isOpened() const;
    // Like CameraLink's: an OpenCV exception gives false or 0.
    bool set(int propId, double value);
    double get(int propId);
    bool reaches(int propId) const;

private:
    // Takes the rest after the session lock; waits `waitMs` for the device
    // lock (negative: as long as it takes). False, holding nothing, when it
    // could not be had.
    bool enter(int waitMs);

    CameraLink &m_link;
    const CameraLink *m_previousHolder = nullptr;
    bool m_valid = false;
    bool m_sharedTaken = false;
    DeviceLock *m_deviceLocked = nullptr;
};
