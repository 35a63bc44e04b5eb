#pragma once

#include <QString>

// One listed camera: its display name, the capture index that opens it and
// the device path that tells the same camera apart when the indexes shift.
struct CamDevice
{
    QString name;
    int id = 0;
    QString path;
};
