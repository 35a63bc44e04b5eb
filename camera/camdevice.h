#pragma once

#include <QString>

// One listed camera: its display name and the capture index that opens it.
struct CamDevice
{
    QString name;
    int id = 0;
};
