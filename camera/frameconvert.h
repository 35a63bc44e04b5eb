#pragma once

#include <QImage>

namespace cv {
class Mat;
}

// Turns a 2-D, 8-bit, 3-channel BGR frame into an opaque RGB32 image, turned
// clockwise by `rotation` degrees (0, 90, 180 or 270). Any other frame gives a
// null image.
QImage frameToImage(const cv::Mat &frame, int rotation);
