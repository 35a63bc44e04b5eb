#include "camera/controlroutes.h"
#include "camera/xioctl_linux.h"

#include <QByteArray>

#include <opencv2/videoio.hpp>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/uvcvideo.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// The V4L2 control that OpenCV's V4L2 backend sends each capture property of
// this program to (cap_v4l.cpp, unchanged values).
struct PropertyControl
{
    int propId;
    quint32 cid;
};
const PropertyControl Controls[] = {
    {cv::CAP_PROP_BRIGHTNESS, V4L2_CID_BRIGHTNESS},
    {cv::CAP_PROP_CONTRAST, V4L2_CID_CONTRAST},
    {cv::CAP_PROP_SATURATION, V4L2_CID_SATURATION},
    {cv::CAP_PROP_HUE, V4L2_CID_HUE},
    {cv::CAP_PROP_GAIN, V4L2_CID_GAIN},
    {cv::CAP_PROP_EXPOSURE, V4L2_CID_EXPOSURE_ABSOLUTE},
    {cv::CAP_PROP_SHARPNESS, V4L2_CID_SHARPNESS},
    {cv::CAP_PROP_AUTO_EXPOSURE, V4L2_CID_EXPOSURE_AUTO},
    {cv::CAP_PROP_GAMMA, V4L2_CID_GAMMA},
    {cv::CAP_PROP_ZOOM, V4L2_CID_ZOOM_ABSOLUTE},
    {cv::CAP_PROP_FOCUS, V4L2_CID_FOCUS_ABSOLUTE},
    {cv::CAP_PROP_BACKLIGHT, V4L2_CID_BACKLIGHT_COMPENSATION},
    {cv::CAP_PROP_PAN, V4L2_CID_PAN_ABSOLUTE},
    {cv::CAP_PROP_TILT, V4L2_CID_TILT_ABSOLUTE},
    {cv::CAP_PROP_ROLL, V4L2_CID_ROTATE},
    {cv::CAP_PROP_IRIS, V4L2_CID_IRIS_ABSOLUTE},
    {cv::CAP_PROP_WB_TEMPERATURE, V4L2_CID_WHITE_BALANCE_TEMPERATURE},
};

// The UVC camera terminal's entity GUID and its roll control
// (CT_ROLL_ABSOLUTE_CONTROL: wAbsoluteRoll, a signed 16-bit number).
const __u8 CameraTerminalGuid[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
const __u8 RollAbsoluteSelector = 0x0f;

bool hasControl(int fd, quint32 cid)
{
    v4l2_queryctrl q{};
    q.id = cid;
    return xioctl(fd, VIDIOC_QUERYCTRL, &q) == 0 && !(q.flags & V4L2_CTRL_FLAG_DISABLED);
}

// uvcvideo maps no V4L2 control to the camera terminal's roll, so OpenCV's
// ROLL (V4L2_CID_ROTATE) reaches nothing. Ask the driver for that mapping: it
// belongs to the device, whichever descriptor added it, and lasts until the
// camera is unplugged (EEXIST: added before). Returns the refusal, or empty.
QString mapRoll(int fd)
{
    uvc_xu_control_mapping m{};
    m.id = V4L2_CID_ROTATE;
    std::strncpy(reinterpret_cast<char *>(m.name), "Roll, Absolute", sizeof m.name - 1);
    std::memcpy(m.entity, CameraTerminalGuid, sizeof m.entity);
    m.selector = RollAbsoluteSelector;
    m.size = 16;
    m.offset = 0;
    m.v4l2_type = V4L2_CTRL_TYPE_INTEGER;
    m.data_type = UVC_CTRL_DATA_TYPE_SIGNED;
    if (xioctl(fd, UVCIOC_CTRL_MAP, &m) == 0 || errno == EEXIST)
        return QString();
    const int error = errno;
    QString why = QString::fromLocal8Bit(std::strerror(error));
    if (error == ENOENT)
        why += QStringLiteral(" (the driver maps controls of extension units only)");
    return QStringLiteral("ROLL reaches no control: the camera driver refused to map the camera's "
                          "roll control to V4L2_CID_ROTATE (UVCIOC_CTRL_MAP: %1)")
        .arg(why);
}

} // namespace

unsigned v4l2ControlOf(int propId)
{
    for (const PropertyControl &c : Controls) {
        if (c.propId == propId)
            return c.cid;
    }
    return 0;
}

std::vector<UnreachableProperty> prepareControlRoutes(int index)
{
    // A second descriptor on the node that the capture object has open.
    const QByteArray node = QByteArrayLiteral("/dev/video") + QByteArray::number(index);
    const int fd = ::open(node.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    QString rollRefused;
    if (!hasControl(fd, V4L2_CID_ROTATE))
        rollRefused = mapRoll(fd);
    std::vector<UnreachableProperty> unreachable;
    for (const PropertyControl &c : Controls) {
        if (hasControl(fd, c.cid))
            continue;
        QString reason = c.propId == cv::CAP_PROP_ROLL && !rollRefused.isEmpty()
                             ? rollRefused
                             : QStringLiteral("capture property %1 reaches no control: the camera has no "
                                              "V4L2 control 0x%2")
                                   .arg(c.propId)
                                   .arg(c.cid, 8, 16, QLatin1Char('0'));
        unreachable.push_back({c.propId, reason});
    }
    ::close(fd);
    return unreachable;
}
