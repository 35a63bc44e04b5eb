#include "backend/devicewatcher.h"

#include "backend/backendlog.h"

#include <QSocketNotifier>

#include <cstring>
#include <libudev.h>

namespace {

// Watches udev for video4linux nodes that appear or disappear. The monitor
// listens to udev's own broadcasts (not the kernel's), so a node is announced
// once udev has created it and set its permissions.
class UdevDeviceWatcher : public DeviceWatcher
{
public:
    UdevDeviceWatcher()
    {
        m_udev = udev_new();
        if (m_udev)
            m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
        if (!m_monitor || udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "video4linux", nullptr) < 0
            || udev_monitor_enable_receiving(m_monitor) < 0) {
            // Without udev (a container, a chroot) there are no notices: the
            // cameras found at start-up are used, and Retry in the prompts
            // enumerates again.
            qCWarning(lcBackend, "device watcher: udev monitor not available");
            release();
            return;
        }
        const int fd = udev_monitor_get_fd(m_monitor);
        m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &UdevDeviceWatcher::drain);
    }

    ~UdevDeviceWatcher() override
    {
        delete m_notifier;
        m_notifier = nullptr;
        release();
    }

private:
    // The monitor's socket is non-blocking: read every pending notice.
    void drain()
    {
        while (udev_device *dev = udev_monitor_receive_device(m_monitor)) {
            const char *action = udev_device_get_action(dev);
            const bool nodeSetChanged =
                action && (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0);
            udev_device_unref(dev);
            if (nodeSetChanged)
                emit devicesChanged();
        }
    }

    void release()
    {
        if (m_monitor)
            udev_monitor_unref(m_monitor);
        if (m_udev)
            udev_unref(m_udev);
        m_monitor = nullptr;
        m_udev = nullptr;
    }

    udev *m_udev = nullptr;
    udev_monitor *m_monitor = nullptr;
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace

std::unique_ptr<DeviceWatcher> createPlatformDeviceWatcher()
{
    return std::make_unique<UdevDeviceWatcher>();
}

bool isDeviceChangeMessage(void *)
{
    return false;
}
