#include "camera/controlcapture.h"

#include "camera/controlroutes.h"
#include "camera/xioctl_linux.h"

#include <QByteArray>

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

class ControlCapture : public cv::VideoCapture
{
public:
    ~ControlCapture() override { release(); }

    using cv::VideoCapture::open;
    bool open(int index, int) override
    {
        release();
        const QByteArray node = QByteArrayLiteral("/dev/video") + QByteArray::number(index);
        m_fd = ::open(node.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0)
            return false;
        v4l2_capability cap{};
        const __u32 caps = xioctl(m_fd, VIDIOC_QUERYCAP, &cap) == 0
                               ? ((cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities)
                               : 0;
        if (!(caps & V4L2_CAP_VIDEO_CAPTURE)) {
            release();
            return false;
        }
        return true;
    }
    bool isOpened() const override { return m_fd >= 0; }
    void release() override
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    bool grab() override { return false; }
    bool retrieve(cv::OutputArray, int) override { return false; }
    bool read(cv::OutputArray) override { return false; }

    bool set(int propId, double value) override
    {
        v4l2_control c{};
        c.id = queried(propId);
        if (!c.id)
            return false;
        c.value = int(std::lrint(value)); // as cvRound
        return xioctl(m_fd, VIDIOC_S_CTRL, &c) == 0;
    }
    double get(int propId) const override
    {
        v4l2_control c{};
        c.id = queried(propId);
        if (!c.id || xioctl(m_fd, VIDIOC_G_CTRL, &c) != 0)
            return -1;
        return c.value;
    }

private:
    // The property's control, once the driver has answered QUERYCTRL for it.
    unsigned queried(int propId) const
    {
        v4l2_queryctrl q{};
        q.id = v4l2ControlOf(propId);
        if (m_fd < 0 || !q.id || xioctl(m_fd, VIDIOC_QUERYCTRL, &q) != 0)
            return 0;
        return q.id;
    }

    int m_fd = -1;
};

} // namespace

std::unique_ptr<cv::VideoCapture> makeControlCapture()
{
    return std::make_unique<ControlCapture>();
}
