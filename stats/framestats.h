#pragma once

#include <QImage>
#include <QMetaType>
#include <QRectF>
#include <QVector>

#include <array>

// Measurements of one frame: histograms and clipped shares over the whole
// picture, and mean, noise and sharpness inside a region.
//
// Channels are indexed Red, Green, Blue, Luma (BT.601 weights, as OpenCV's
// grey conversion). The whole-picture figures come from a grid of at most
// `GridSamples` pixels (every n-th pixel of every n-th row); the region's from
// at most `RegionSamples` pixels, taken the same way when it is larger. The
// frame may reach us already scaled down by the decoder: the grid does not
// mind, but the sharpness figure (a gradient per pixel) depends on the scale,
// so only figures of frames of one size compare.
namespace FrameStats {

enum Channel { Red, Green, Blue, Luma, ChannelCount };

const int Bins = 256;
// Levels at or below ClipLow, and at or above ClipHigh, count as clipped.
const int ClipLow = 2;
const int ClipHigh = 253;
const int GridSamples = 160 * 1024;
const int RegionSamples = 512 * 512;

struct Region
{
    bool valid = false;
    int samples = 0;
    std::array<double, ChannelCount> mean{};
    std::array<double, ChannelCount> stddev{};
    double rOverG = 0; // grey balance: 1 for a neutral grey
    double bOverG = 0;
    double sharpness = 0; // mean of gx² + gy² (Sobel 3x3) over the luma
};

struct Result
{
    bool valid = false;
    QSize frameSize;
    int samples = 0;
    // Channel c's count of level v at [c * Bins + v].
    QVector<int> histogram;
    std::array<double, ChannelCount> clippedLow{}; // shares 0..1
    std::array<double, ChannelCount> clippedHigh{};
    Region region;
};

// Measures an RGB32 (or ARGB32) frame; `region` is in fractions (0..1) of
// the frame's width and height, an empty one measures no region. Other
// formats are converted first.
Result measure(const QImage &frame, const QRectF &region);

// A rectangle in fractions of the camera's own picture, seen in the picture
// turned clockwise by `rotation` degrees (0, 90, 180, 270), and back.
QRectF turnRect(const QRectF &rect, int rotation);
QRectF unturnRect(const QRectF &rect, int rotation);

} // namespace FrameStats

Q_DECLARE_METATYPE(FrameStats::Result)
