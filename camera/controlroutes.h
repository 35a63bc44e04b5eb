#pragma once

#include <QString>

#include <vector>

// A capture property that reaches no control of the open camera, and why.
struct UnreachableProperty
{
    int propId = 0;
    QString reason; // one log line
};

// Platform layer (controlroutes_linux.cpp, controlroutes_win.cpp). Runs once
// right after capture index `index` was opened, while nothing else uses the
// camera: gives the driver the control routes it lacks (on Linux the camera
// terminal's roll control, which uvcvideo maps to no V4L2 control by itself)
// and reports the capture properties that still reach no control.
std::vector<UnreachableProperty> prepareControlRoutes(int index);

// Linux: the V4L2 control that OpenCV's V4L2 backend sends capture property
// `propId` to; 0 for a property that is no control.
unsigned v4l2ControlOf(int propId);
