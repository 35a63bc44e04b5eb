#pragma once

#include <QImage>

#include <cstddef>

namespace cv {
class Mat;
}

// Turns a 2-D, 8-bit, 3-channel BGR frame into an opaque RGB32 image, turned
// clockwise by `rotation` degrees (0, 90, 180 or 270). Any other frame gives a
// null image.
QImage frameToImage(const cv::Mat &frame, int rotation);

// Decodes one Motion-JPEG frame (the camera's compressed buffer) straight into
// an opaque RGB32 image turned by `rotation`: the same pixels as OpenCV's
// decode followed by frameToImage, without the intermediate BGR frame. Data
// that does not decode cleanly, and any frame at all when the program is built
// without libjpeg-turbo, goes through OpenCV's decoder and frameToImage; what
// neither can decode gives a null image.
QImage jpegToImage(const unsigned char *data, std::size_t size, int rotation);
