#pragma once

#include <QString>

#include <memory>
#include <vector>

// What the enumeration needs from the platform about one video-input device,
// in the order in which the capture library numbers cameras.
struct DeviceRecord
{
    // False when the device's properties could not be read at all: it is
    // skipped and takes no capture index.
    bool readable = true;
    // Display name; empty when the device has none (it takes an index but is
    // not listed).
    QString name;
    // Device path; a USB camera's holds "usb" or "USB".
    QString path;
    // False for a node that cannot capture video (a UVC camera's metadata
    // node): it takes an index but is not listed.
    bool videoCapture = true;
};

// Platform source of device records (V4L2 on Linux, DirectShow on Windows).
class DeviceSource
{
public:
    virtual ~DeviceSource() = default;
    virtual std::vector<DeviceRecord> list() = 0;
};

std::unique_ptr<DeviceSource> createPlatformDeviceSource();
