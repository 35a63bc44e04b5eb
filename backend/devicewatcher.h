#pragma once

#include <QObject>

#include <memory>

// Source of device-change notices: emits devicesChanged() once for every
// change in the set of video device nodes. The backend re-enumerates the
// cameras on each notice, so an extra notice costs only an enumeration.
class DeviceWatcher : public QObject
{
    Q_OBJECT
public:
    explicit DeviceWatcher(QObject *parent = nullptr);
    ~DeviceWatcher() override;

signals:
    void devicesChanged();
};

// The platform's watcher. On Windows the native WM_DEVICECHANGE message seen by
// the backend's event filter does the job, so the watcher stays silent there.
std::unique_ptr<DeviceWatcher> createPlatformDeviceWatcher();

// Whether a native event the application saw says that the set of devices
// changed (Windows' WM_DEVICECHANGE; never elsewhere, where the watcher tells).
bool isDeviceChangeMessage(void *message);
