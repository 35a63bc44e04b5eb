// Helpers shared by the virtual camera's tests: they drive the camera the
// way the program does, through cv::VideoCapture on the V4L2 backend.
#pragma once

#include "vcam_control.h"

#include <opencv2/videoio.hpp>

#include <QThread>

namespace vcamtest {

constexpr int kOpen = 89, kClose = 0, kStore = 249;

inline bool openCamera(cv::VideoCapture &cap, int index = 0)
{
    return cap.open(index, cv::CAP_V4L2);
}

inline void beginTransaction(cv::VideoCapture &cap)
{
    cap.set(cv::CAP_PROP_FOCUS, kOpen);
    QThread::msleep(100);
}

inline void endTransaction(cv::VideoCapture &cap) { cap.set(cv::CAP_PROP_FOCUS, kClose); }

// One tunnelled write as the program makes it: open, settle, write, close.
inline bool tunnelWrite(cv::VideoCapture &cap, int prop, double value)
{
    beginTransaction(cap);
    const bool ok = cap.set(prop, value);
    endTransaction(cap);
    return ok;
}

// Gain from the camera's 8-bit white-balance gain code.
inline double decodeGain(int code)
{
    const int t = code - 128, m = t & 31, e = (t >> 5) & 7;
    return (m * 0.03125 + 1.0) * double(1 << e) / 8.0;
}

} // namespace vcamtest
