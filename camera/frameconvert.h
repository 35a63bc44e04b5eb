#pragma once

#include <QImage>
#include <QSize>

#include <cstddef>

namespace cv {
class Mat;
}

// Turns a 2-D, 8-bit, 3-channel BGR frame into an opaque RGB32 image, turned
// clockwise by `rotation` degrees (0, 90, 180 or 270). Any other frame gives a
// null image.
QImage frameToImage(const cv::Mat &frame, int rotation);

// What became of one frame read from the camera.
enum class FrameVerdict {
    Good,
    ReadFailed,  // no frame at all: the device is gone, or nothing came in time
    Empty,       // the driver handed over a buffer without data (bytesused 0, error flag)
    Undecodable, // no JPEG header, or the data does not decode cleanly
    WrongSize,   // the header claims another size than the stream was set to
};
constexpr int FrameVerdictCount = 5;
const char *frameVerdictName(FrameVerdict v);

// The size a JPEG's start-of-frame header claims, read without decoding or
// allocating; false when there is none.
bool jpegHeaderSize(const unsigned char *data, std::size_t size, QSize *claimed);

// Decodes one Motion-JPEG frame (the camera's compressed buffer) straight into
// an opaque RGB32 image turned by `rotation`, the same pixels as OpenCV's
// decode followed by frameToImage. Only a frame whose header claims `expected`
// is decoded; any other, and data that does not decode cleanly, gives a null
// image and the reason in `verdict`. Without libjpeg-turbo OpenCV decodes
// (after the same size check).
QImage jpegToImage(const unsigned char *data, std::size_t size, int rotation, QSize expected,
                   FrameVerdict *verdict = nullptr);
