#pragma once

#include <QImage>
#include <QObject>

// What shows the camera's frames: the preview items implement it, and the
// backend hands each new frame (turned, in QImage::Format_RGB32) to the item
// the window gives it. A null image clears the picture.
class FrameSink
{
public:
    virtual ~FrameSink() = default;
    virtual void setImage(const QImage &frame) = 0;
};

Q_DECLARE_INTERFACE(FrameSink, "com.vexlo.FrameSink")
