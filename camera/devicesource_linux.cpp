#include "camera/devicesource.h"

#include "camera/cameralog.h"

#include <QString>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// OpenCV's V4L2 backend opens capture index N as /dev/videoN, so every number
// keeps its place: a missing node or one that cannot capture video is reported
// without a name (it takes its index but is not listed).
class V4l2DeviceSource : public DeviceSource
{
public:
    std::vector<DeviceRecord> list() override
    {
        std::vector<DeviceRecord> records;
        for (int n = 0; n < MaxNodes; ++n)
            records.push_back(probe(n));
        return records;
    }

private:
    static constexpr int MaxNodes = 64;

    static DeviceRecord probe(int n)
    {
        DeviceRecord r;
        const QByteArray node = QByteArray("/dev/video") + QByteArray::number(n);
        const int fd = ::open(node.constData(), O_RDWR | O_NONBLOCK);
        if (fd < 0) {
            // Otherwise a camera the user may not open looks like no camera.
            if (errno == EACCES) {
                const QString line = QStringLiteral("no permission for %1; add the user to the group that owns it")
                                         .arg(QString::fromLatin1(node));
                qCWarning(lcCamera).noquote() << line;
            }
            return r;
        }
        v4l2_capability cap;
        std::memset(&cap, 0, sizeof cap);
        int rc;
        do {
            rc = ::ioctl(fd, VIDIOC_QUERYCAP, &cap);
        } while (rc < 0 && errno == EINTR);
        ::close(fd);
        if (rc < 0)
            return r;
        const __u32 caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
        r.name = QString::fromUtf8(reinterpret_cast<const char *>(cap.card),
                                   int(strnlen(reinterpret_cast<const char *>(cap.card), sizeof cap.card)));
        r.path = QString::fromUtf8(reinterpret_cast<const char *>(cap.bus_info),
                                   int(strnlen(reinterpret_cast<const char *>(cap.bus_info), sizeof cap.bus_info)));
        r.videoCapture = (caps & V4L2_CAP_VIDEO_CAPTURE) != 0;
        return r;
    }
};

} // namespace

std::unique_ptr<DeviceSource> createPlatformDeviceSource()
{
    return std::make_unique<V4l2DeviceSource>();
}
