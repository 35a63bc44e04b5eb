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

// The decoder's cheap reductions: 1 (none), 2, 4 or 8, the largest whose
// picture (each side of `frame` divided and rounded up, as libjpeg does) still
// covers `shown` in both directions. An empty `shown` asks for the full size.
int jpegReduction(QSize frame, QSize shown);
QSize jpegReducedSize(QSize frame, int reduction);

// Decodes one Motion-JPEG frame (the camera's compressed buffer) straight into
// an opaque RGB32 image turned by `rotation`, the same pixels as OpenCV's
// decode followed by frameToImage. Only a frame whose header claims `expected`
// is decoded; any other, and data that does not decode cleanly, gives a null
// image and the reason in `verdict`. Without libjpeg-turbo OpenCV decodes
// (after the same size check).
//
// `shown` (after the turn) is the size the picture is shown at, when it is
// shown scaled down: the frame is then decoded no larger than needed for it
// (jpegReduction), which costs a fraction of a full decode; the image is
// smaller than `expected` then. Empty: full size, as the snapshot and the
// pixel-for-pixel view need.
QImage jpegToImage(const unsigned char *data, std::size_t size, int rotation, QSize expected,
                   FrameVerdict *verdict = nullptr, QSize shown = QSize());
