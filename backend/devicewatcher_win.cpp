#include "backend/devicewatcher.h"

#include <qt_windows.h>
#include <dbt.h>

// Device changes reach the backend as WM_DEVICECHANGE through its native event
// filter; nothing to watch here.
std::unique_ptr<DeviceWatcher> createPlatformDeviceWatcher()
{
    return std::make_unique<DeviceWatcher>();
}

bool isDeviceChangeMessage(void *message)
{
    const MSG *msg = static_cast<const MSG *>(message);
    return msg && msg->message == WM_DEVICECHANGE && msg->wParam == DBT_DEVNODES_CHANGED;
}
