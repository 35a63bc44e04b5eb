#pragma once

#include "camera/cameralink.h"

#include <QString>

// What the preview-size row shows for the stream the camera delivers: the
// chosen entry's name when the camera delivers what it asks for (`asked` as
// (3, width, 4, height, 5, fps)), otherwise what arrives, with the entry's
// name, e.g. "640×480 YUYV (asked 1080P 30FPS)". A frame rate is named only
// when it differs from the asked one.
QString describeStream(const CameraLink::StreamFormat &got, const std::vector<int> &asked, const QString &askedName);
