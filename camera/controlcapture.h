#pragma once

#include <opencv2/videoio.hpp>

#include <memory>

// Linux: a capture object that reaches the camera's controls and nothing else.
// It opens /dev/videoN without asking for a format or buffers, so it works
// beside a program that streams the same camera (uvcvideo lets only the
// streaming handle change those). set and get behave as OpenCV's V4L2
// backend's: QUERYCTRL, then S_CTRL or G_CTRL with the rounded value; false
// or -1 when either fails, with errno left as the driver gave it. It
// delivers no frames.
std::unique_ptr<cv::VideoCapture> makeControlCapture();
