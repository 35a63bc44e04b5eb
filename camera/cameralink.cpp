#include "camera/cameralink.h"

#include "camera/cameralog.h"
#include "camera/devicesource.h"
#include "camera/frameconvert.h"

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include <cerrno>
#include <chrono>

namespace {
#ifdef _WIN32
const int CaptureApi = cv::CAP_ANY;
#else
// Debian's OpenCV tries GStreamer first for a camera index, and GStreamer passes
// only brightness, contrast, saturation and hue: every register write would be
// lost. Open through V4L2 directly.
const int CaptureApi = cv::CAP_V4L2;

// The four-character code of Motion-JPEG, as cv::VideoWriter::fourcc builds it.
constexpr int fourcc(char a, char b, char c, char d)
{
    return int(unsigned(a) | unsigned(b) << 8 | unsigned(c) << 16 | unsigned(d) << 24);
}
const int MjpgFourcc = fourcc('M', 'J', 'P', 'G');
#endif

// The capture object of a session on this thread, if any: a thread that holds
// a session already holds the life gate shared and must not take it again (a
// waiting close would keep it out and deadlock).
thread_local const CameraLink *sessionHolder = nullptr;

// OpenCV's message ends with a line break; the log keeps one line per message.
QString exceptionText(const cv::Exception &e)
{
    QString text = QString::fromLocal8Bit(e.what());
    while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r')))
        text.chop(1);
    return text;
}
} // namespace

// Shared use of the capture object for one call; does nothing more when this
// thread's session already holds the gate.
class CameraLink::SharedUse
{
public:
    explicit SharedUse(const CameraLink &link)
        : m_link(link)
        , m_taken(sessionHolder != &link)
    {
        if (m_taken)
            m_link.m_lifeGate.lockShared();
    }
    ~SharedUse()
    {
        if (m_taken)
            m_link.m_lifeGate.unlockShared();
    }
    SharedUse(const SharedUse &) = delete;
    SharedUse &operator=(const SharedUse &) = delete;

private:
    const CameraLink &m_link;
    const bool m_taken;
};

void CameraLink::Gate::lockShared()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_owned && m_waitingOwners == 0; });
    ++m_users;
}

void CameraLink::Gate::unlockShared()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (--m_users == 0)
        m_changed.notify_all();
}

void CameraLink::Gate::lock()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    ++m_waitingOwners;
    m_changed.wait(lock, [this] { return !m_owned && m_users == 0; });
    --m_waitingOwners;
    m_owned = true;
}

void CameraLink::Gate::unlock()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_owned = false;
    m_changed.notify_all();
}

CameraLink::CameraLink(std::unique_ptr<cv::VideoCapture> capture,
                       std::unique_ptr<DeviceSource> deviceSource, Routes routes)
    : m_routeControls(routes == Routes::Always || !capture)
    , m_capture(capture ? std::move(capture) : std::make_unique<cv::VideoCapture>())
    , m_deviceSource(deviceSource ? std::move(deviceSource) : createPlatformDeviceSource())
{
}

CameraLink::~CameraLink()
{
    std::lock_guard<Gate> life(m_lifeGate);
    try {
        if (m_capture->isOpened())
            m_capture->release();
    } catch (const cv::Exception &e) {
        qCDebug(lcCamera, "##### close error = %s", e.what());
    }
}

bool CameraLink::camOpen(int id, const std::vector<int> &size)
{
    if (id < 0)
        return false;
    if (sessionHolder == this) {
        qCWarning(lcCamera, "camOpen refused inside a capture session");
        return false;
    }
    {
        std::lock_guard<Gate> life(m_lifeGate);
        closeLocked();
        bool opened = false;
        try {
            opened = m_capture->open(id, CaptureApi);
        } catch (const cv::Exception &e) {
            qCWarning(lcCamera).noquote() << QStringLiteral("camOpen failed : %1").arg(exceptionText(e));
            return false;
        }
        if (!opened)
            return false;
        StreamFormat format;
        try {
#ifndef _WIN32
            // A camera of this family offers 1920x1080 as YUYV at only 5 fps but
            // as MJPG at 30 fps, and OpenCV's V4L2 backend picks the first format
            // of its own list that the camera takes, YUYV before MJPG. So ask for
            // MJPG before the size. A camera without MJPG refuses the format and
            // the backend falls back to its own list: the camera still opens, and
            // the result of this call, like those below, is not examined.
            m_capture->set(cv::CAP_PROP_FOURCC, double(MjpgFourcc));
#endif
            if (size.size() >= 6) {
                m_capture->set(cv::CAP_PROP_FRAME_WIDTH, double(size[1]));
                m_capture->set(cv::CAP_PROP_FRAME_HEIGHT, double(size[3]));
                m_capture->set(cv::CAP_PROP_FPS, double(size[5]));
            }
            // What the camera agreed to; a camera without the asked size or
            // format gives another (the frames are checked against it).
            format.fourcc = int(m_capture->get(cv::CAP_PROP_FOURCC));
            format.width = int(m_capture->get(cv::CAP_PROP_FRAME_WIDTH));
            format.height = int(m_capture->get(cv::CAP_PROP_FRAME_HEIGHT));
            format.fps = int(m_capture->get(cv::CAP_PROP_FPS) + 0.5);
#ifndef _WIN32
            // Motion-JPEG frames are handed over compressed and decoded once,
            // straight into the image (see grabFrame); OpenCV would decode to
            // BGR and the image would be a second pass. Other formats keep
            // OpenCV's conversion.
            if (format.fourcc == MjpgFourcc)
                m_capture->set(cv::CAP_PROP_CONVERT_RGB, 0.0);
#endif
        } catch (const cv::Exception &e) {
            qCWarning(lcCamera).noquote() << QStringLiteral("camOpen failed : %1").arg(exceptionText(e));
        }
        m_deviceLock = std::make_unique<DeviceLock>(lockKeyOf(id));
        std::vector<UnreachableProperty> unreachable;
        if (m_routeControls) {
            unreachable = prepareControlRoutes(id);
            for (const UnreachableProperty &u : unreachable) {
                qCWarning(lcCamera).noquote() << u.reason;
            }
        }
        publish(m_capture->isOpened(), format, std::move(unreachable));
    }
    m_lastCallStalled = false; // a camera opened afresh has not stalled yet
    {
        std::lock_guard<std::mutex> wait(m_openWaitLock);
        ++m_openCount;
        m_openChanged.notify_all();
    }
    return true;
}

void CameraLink::camClose()
{
    if (sessionHolder == this) {
        qCWarning(lcCamera, "camClose refused inside a capture session");
        return;
    }
    std::lock_guard<Gate> life(m_lifeGate);
    closeLocked();
}

// The USB path of capture index `id`: from the last enumeration, else (the
// platform's capture object) from the device source; "index-N" when neither
// knows it.
QString CameraLink::lockKeyOf(int id)
{
    for (const CamDevice &d : devices()) {
        if (d.id == id && !d.path.isEmpty())
            return d.path;
    }
    if (m_routeControls) {
        const std::vector<DeviceRecord> records = m_deviceSource->list();
        int index = 0;
        for (const DeviceRecord &r : records) {
            if (!r.readable)
                continue;
            if (index++ == id && !r.path.isEmpty())
                return r.path;
        }
    }
    return QStringLiteral("index-") + QString::number(id);
}

void CameraLink::closeLocked()
{
    m_deviceLock.reset();
    if (!m_capture->isOpened()) {
        publish(false, StreamFormat(), {});
        qCDebug(lcCamera, "not open");
        return;
    }
    try {
        m_capture->release();
    } catch (const cv::Exception &e) {
        qCWarning(lcCamera).noquote() << QStringLiteral("camClose failed : %1").arg(exceptionText(e));
    }
    publish(m_capture->isOpened(), StreamFormat(), {});
}

void CameraLink::publish(bool opened, const StreamFormat &format, std::vector<UnreachableProperty> unreachable)
{
    std::lock_guard<std::mutex> state(m_stateLock);
    m_opened = opened;
    m_format = format;
    m_unreachable = std::move(unreachable);
}

bool CameraLink::isOpened() const
{
    std::lock_guard<std::mutex> state(m_stateLock);
    return m_opened;
}

bool CameraLink::set(int propId, double value)
{
    SharedUse use(*this);
    return controlSet(propId, value);
}

double CameraLink::get(int propId)
{
    SharedUse use(*this);
    return controlGet(propId);
}

cv::VideoCapture *CameraLink::videoCapture()
{
    return m_capture.get();
}

QImage CameraLink::grabFrame(FrameVerdict *verdict, QSize shown, QSize *frameSize)
{
    FrameVerdict scratch;
    FrameVerdict &v = verdict ? *verdict : scratch;
    v = FrameVerdict::ReadFailed;
    cv::Mat frame;
    QSize expected;
    {
        SharedUse use(*this);
        if (!m_capture->isOpened())
            return QImage();
        expected = QSize(m_format.width, m_format.height);
        std::lock_guard<std::mutex> reading(m_frameLock);
        try {
            // Grab and retrieve apart: a grab that fails means no frame came
            // (the device is gone, or stalls); a buffer without data grabs but
            // retrieves nothing.
            if (!m_capture->grab())
                return QImage();
            m_capture->retrieve(frame);
        } catch (const cv::Exception &e) {
            qCDebug(lcCamera, "##### read error = %s", e.what());
            return QImage();
        }
    }
    v = FrameVerdict::Empty;
    if (frame.empty())
        return QImage();
    // A compressed frame is one row of bytes; a converted one has three channels.
    const int rotation = m_rotation;
    QImage image;
    if (frame.rows == 1 && frame.type() == CV_8UC1) {
        image = jpegToImage(frame.data, frame.total(), rotation, expected, &v, shown);
    } else {
        image = frameToImage(frame, rotation);
        v = image.isNull() ? FrameVerdict::Undecodable : FrameVerdict::Good;
        expected = QSize(frame.cols, frame.rows);
    }
    if (frameSize)
        *frameSize = rotation % 180 ? expected.transposed() : expected;
    return image;
}

CameraLink::StreamFormat CameraLink::streamFormat() const
{
    std::lock_guard<std::mutex> state(m_stateLock);
    return m_format;
}

int CameraLink::enumerateDevices()
{
    const std::vector<DeviceRecord> records = m_deviceSource->list();
    std::vector<CamDevice> found;
    int index = 0;
    for (const DeviceRecord &r : records) {
        if (!r.readable)
            continue;
        if (!r.name.isEmpty()) {
            qCInfo(lcCamera).noquote() << QStringLiteral("device %1: %2 name = %3").arg(index).arg(r.path, r.name);
            const bool usb = r.path.contains(QLatin1String("usb")) || r.path.contains(QLatin1String("USB"));
            if (usb && r.videoCapture)
                found.push_back(CamDevice{r.name, index, r.path});
        }
        ++index;
    }
    std::lock_guard<std::mutex> lock(m_devicesLock);
    m_devices = std::move(found);
    return int(m_devices.size());
}

std::vector<CamDevice> CameraLink::devices() const
{
    std::lock_guard<std::mutex> lock(m_devicesLock);
    return m_devices;
}

int CameraLink::deviceIdAt(int n) const
{
    std::lock_guard<std::mutex> lock(m_devicesLock);
    if (n < 0 || m_devices.empty() || n >= int(m_devices.size()))
        return 0;
    return m_devices[size_t(n)].id;
}

void CameraLink::setRotation(int degrees)
{
    m_rotation = (degrees == 90 || degrees == 180 || degrees == 270) ? degrees : 0;
}

int CameraLink::rotation() const
{
    return m_rotation;
}

bool CameraLink::waitUntilOpen(unsigned long ms)
{
    // Asks the capture object itself: the caller reads frames next.
    const auto open = [this] {
        SharedUse use(*this);
        return m_capture->isOpened();
    };
    std::unique_lock<std::mutex> wait(m_openWaitLock);
    if (open())
        return true;
    m_openChanged.wait_for(wait, std::chrono::milliseconds(ms));
    return open();
}

unsigned CameraLink::openCount() const
{
    return m_openCount;
}

void CameraLink::waitForReopen(unsigned seen, unsigned long ms)
{
    std::unique_lock<std::mutex> wait(m_openWaitLock);
    if (m_openCount == seen)
        m_openChanged.wait_for(wait, std::chrono::milliseconds(ms));
}

void CameraLink::wakeWaiters()
{
    std::lock_guard<std::mutex> wait(m_openWaitLock);
    m_openChanged.notify_all();
}

CaptureSession::CaptureSession(CameraLink &link)
    : m_link(link)
{
    m_link.m_sessionLock.lock();
    enter(-1);
}

CaptureSession::CaptureSession(CameraLink &link, std::try_to_lock_t)
    : m_link(link)
{
    if (m_link.m_sessionLock.try_lock() && !enter(0))
        m_link.m_sessionLock.unlock();
}

CaptureSession::CaptureSession(CameraLink &link, std::chrono::milliseconds wait)
    : m_link(link)
{
    m_link.m_sessionLock.lock();
    if (!enter(int(wait.count())))
        m_link.m_sessionLock.unlock();
}

bool CaptureSession::enter(int waitMs)
{
    m_previousHolder = sessionHolder;
    // A nested session on this thread already holds the gate and the device lock.
    m_sharedTaken = m_previousHolder != &m_link;
    if (m_sharedTaken) {
        m_link.m_lifeGate.lockShared();
        DeviceLock *device = m_link.m_deviceLock.get();
        if (device && !device->lock(waitMs)) {
            if (waitMs >= 0) {
                m_link.m_lifeGate.unlockShared();
                return false;
            }
            device = nullptr; // the lock file broke: go on without it
        }
        m_deviceLocked = device;
        sessionHolder = &m_link;
    }
    m_valid = true;
    return true;
}

CaptureSession::~CaptureSession()
{
    if (!m_valid)
        return;
    if (m_deviceLocked)
        m_deviceLocked->unlock();
    if (m_sharedTaken) {
        sessionHolder = m_previousHolder;
        m_link.m_lifeGate.unlockShared();
    }
    m_link.m_sessionLock.unlock();
}

bool CaptureSession::isOpened() const
{
    return m_valid && m_link.m_capture->isOpened();
}

bool CaptureSession::set(int propId, double value)
{
    return m_valid && m_link.controlSet(propId, value);
}

bool CaptureSession::reaches(int propId) const
{
    return !m_valid || m_link.reachesLocked(propId);
}

double CaptureSession::get(int propId)
{
    return m_valid ? m_link.controlGet(propId) : 0.0;
}
