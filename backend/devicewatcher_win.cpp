#include "backend/devicewatcher.h"

// Device changes reach the backend as WM_DEVICECHANGE through its native event
// filter; nothing to watch here.
std::unique_ptr<DeviceWatcher> createPlatformDeviceWatcher()
{
    return std::make_unique<DeviceWatcher>();
}
