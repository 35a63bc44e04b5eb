#include "camera/cameralink.h"

#include "app/debuglog.h"
#include "camera/devicesource.h"
#include "camera/frameconvert.h"

#include <QDebug>
#include <QMutexLocker>
#include <QReadLocker>
#include <QWriteLocker>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

namespace {
#ifdef _WIN32
const int CaptureApi = cv::CAP_ANY;
#else
// Debian's OpenCV tries GStreamer first for a camera index, and GStreamer passes
// only brightness, contrast, saturation and hue: every register write would be
// lost. Open through V4L2 directly.
const int CaptureApi = cv::CAP_V4L2;
#endif
} // namespace

CameraLink::CameraLink(std::unique_ptr<cv::VideoCapture> capture,
                       std::unique_ptr<DeviceSource> deviceSource)
    : m_capture(capture ? std::move(capture) : std::make_unique<cv::VideoCapture>())
    , m_deviceSource(deviceSource ? std::move(deviceSource) : createPlatformDeviceSource())
{
}

CameraLink::~CameraLink()
{
    QWriteLocker life(&m_lifeLock);
    try {
        if (m_capture->isOpened())
            m_capture->release();
    } catch (const cv::Exception &e) {
        qDebug("##### close error = %s", e.what());
    }
}

bool CameraLink::camOpen(int id, const std::vector<int> &size)
{
    if (id < 0)
        return false;
    bool opened = false;
    {
        QWriteLocker life(&m_lifeLock);
        closeLocked();
        try {
            opened = m_capture->open(id, CaptureApi);
        } catch (const cv::Exception &e) {
            qDebug("##### error = %s", e.what());
            logToFile(QStringLiteral("camOpen failed : %1").arg(QString::fromLocal8Bit(e.what())));
            return false;
        }
        if (!opened)
            return false;
        try {
            if (size.size() >= 6) {
                m_capture->set(cv::CAP_PROP_FRAME_WIDTH, double(size[1]));
                m_capture->set(cv::CAP_PROP_FRAME_HEIGHT, double(size[3]));
                m_capture->set(cv::CAP_PROP_FPS, double(size[5]));
            }
        } catch (const cv::Exception &e) {
            qDebug("##### error = %s", e.what());
            logToFile(QStringLiteral("camOpen failed : %1").arg(QString::fromLocal8Bit(e.what())));
        }
    }
    {
        QMutexLocker wait(&m_openWaitLock);
        m_openChanged.wakeAll();
    }
    return true;
}

void CameraLink::camClose()
{
    QWriteLocker life(&m_lifeLock);
    closeLocked();
}

void CameraLink::closeLocked()
{
    if (!m_capture->isOpened()) {
        qDebug("not open");
        return;
    }
    try {
        m_capture->release();
    } catch (const cv::Exception &e) {
        qDebug("##### close error = %s", e.what());
        logToFile(QStringLiteral("camClose failed : %1").arg(QString::fromLocal8Bit(e.what())));
    }
}

bool CameraLink::isOpened() const
{
    QReadLocker life(&m_lifeLock);
    return m_capture->isOpened();
}

bool CameraLink::set(int propId, double value)
{
    QReadLocker life(&m_lifeLock);
    return m_capture->set(propId, value);
}

double CameraLink::get(int propId)
{
    QReadLocker life(&m_lifeLock);
    return m_capture->get(propId);
}

cv::VideoCapture *CameraLink::videoCapture()
{
    return m_capture.get();
}

QImage CameraLink::grabFrame()
{
    cv::Mat frame;
    {
        QReadLocker life(&m_lifeLock);
        if (!m_capture->isOpened())
            return QImage();
        m_capture->read(frame);
    }
    return frameToImage(frame, m_rotation);
}

int CameraLink::enumerateDevices()
{
    std::vector<DeviceRecord> records = m_deviceSource->list();
    std::vector<CamDevice> found;
    int index = 0;
    for (const DeviceRecord &r : records) {
        if (!r.readable)
            continue;
        if (!r.name.isEmpty()) {
            logToFile(QStringLiteral("device %1: %2 name = %3").arg(index).arg(r.path, r.name));
            const bool usb = r.path.contains(QLatin1String("usb")) || r.path.contains(QLatin1String("USB"));
            if (usb && r.videoCapture)
                found.push_back(CamDevice{r.name, index, r.path});
        }
        ++index;
    }
    QMutexLocker locker(&m_devicesLock);
    m_devices = std::move(found);
    return int(m_devices.size());
}

std::vector<CamDevice> CameraLink::devices() const
{
    QMutexLocker locker(&m_devicesLock);
    return m_devices;
}

int CameraLink::deviceIdAt(int n) const
{
    QMutexLocker locker(&m_devicesLock);
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
    QMutexLocker wait(&m_openWaitLock);
    if (isOpened())
        return true;
    m_openChanged.wait(&m_openWaitLock, ms);
    return isOpened();
}

void CameraLink::wakeWaiters()
{
    QMutexLocker wait(&m_openWaitLock);
    m_openChanged.wakeAll();
}

CaptureSession::CaptureSession(CameraLink &link)
    : m_link(link)
    , m_valid(true)
{
    m_link.m_sessionLock.lock();
    m_link.m_lifeLock.lockForRead();
}

CaptureSession::CaptureSession(CameraLink &link, std::try_to_lock_t)
    : m_link(link)
{
    if (m_link.m_sessionLock.tryLock()) {
        m_link.m_lifeLock.lockForRead();
        m_valid = true;
    }
}

CaptureSession::~CaptureSession()
{
    if (!m_valid)
        return;
    m_link.m_lifeLock.unlock();
    m_link.m_sessionLock.unlock();
}

bool CaptureSession::isOpened() const
{
    return m_valid && m_link.m_capture->isOpened();
}

bool CaptureSession::set(int propId, double value)
{
    return m_valid && m_link.m_capture->set(propId, value);
}

double CaptureSession::get(int propId)
{
    return m_valid ? m_link.m_capture->get(propId) : 0.0;
}
