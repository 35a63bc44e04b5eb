#include "backend/devicewatcher.h"

DeviceWatcher::DeviceWatcher(QObject *parent)
    : QObject(parent)
{
}

DeviceWatcher::~DeviceWatcher() = default;
