#include "stats/framestats.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>

namespace FrameStats {

namespace {

// Byte of each colour within a 32-bit pixel in memory.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
const int ByteOf[3] = {2, 1, 0}; // R, G, B of B G R A
#else
const int ByteOf[3] = {1, 2, 3}; // R, G, B of A R G B
#endif

// Every n-th pixel of every n-th row of `pixels`, n chosen so that at most
// `limit` remain; the pixels themselves when they are few enough.
cv::Mat thinned(const cv::Mat &pixels, int limit)
{
    const double area = double(pixels.cols) * pixels.rows;
    if (area <= limit)
        return pixels;
    const int step = int(std::ceil(std::sqrt(area / limit)));
    cv::Mat grid;
    cv::resize(pixels, grid, cv::Size((pixels.cols + step - 1) / step, (pixels.rows + step - 1) / step), 0, 0,
               cv::INTER_NEAREST);
    return grid;
}

cv::Mat lumaOf(const cv::Mat &bgrx)
{
    cv::Mat grey;
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    cv::cvtColor(bgrx, grey, cv::COLOR_BGRA2GRAY);
#else
    // A R G B in memory: take R, G, B first.
    cv::Mat rgb(bgrx.size(), CV_8UC3);
    const int fromTo[] = {1, 0, 2, 1, 3, 2};
    cv::mixChannels(&bgrx, 1, &rgb, 1, fromTo, 3);
    cv::cvtColor(rgb, grey, cv::COLOR_RGB2GRAY);
#endif
    return grey;
}

Region measureRegion(const cv::Mat &pixels)
{
    Region region;
    const cv::Mat sub = thinned(pixels, RegionSamples);
    region.samples = sub.cols * sub.rows;
    cv::Scalar mean, stddev;
    cv::meanStdDev(sub, mean, stddev);
    for (int c = 0; c < 3; ++c) {
        region.mean[size_t(c)] = mean[ByteOf[c]];
        region.stddev[size_t(c)] = stddev[ByteOf[c]];
    }
    const cv::Mat luma = lumaOf(sub);
    cv::meanStdDev(luma, mean, stddev);
    region.mean[Luma] = mean[0];
    region.stddev[Luma] = stddev[0];
    const double g = region.mean[Green];
    region.rOverG = g > 0 ? region.mean[Red] / g : 0;
    region.bOverG = g > 0 ? region.mean[Blue] / g : 0;
    cv::Mat gx, gy;
    cv::Sobel(luma, gx, CV_32F, 1, 0, 3);
    cv::Sobel(luma, gy, CV_32F, 0, 1, 3);
    region.sharpness = cv::mean(gx.mul(gx) + gy.mul(gy))[0];
    region.valid = true;
    return region;
}

} // namespace

Result measure(const QImage &input, const QRectF &region)
{
    Result result;
    if (input.isNull())
        return result;
    QImage frame = input;
    if (frame.format() != QImage::Format_RGB32 && frame.format() != QImage::Format_ARGB32)
        frame = frame.convertToFormat(QImage::Format_RGB32);
    const cv::Mat pixels(frame.height(), frame.width(), CV_8UC4, const_cast<uchar *>(frame.constBits()),
                         size_t(frame.bytesPerLine()));
    result.frameSize = frame.size();

    const cv::Mat grid = thinned(pixels, GridSamples);
    const cv::Mat luma = lumaOf(grid);
    result.samples = grid.cols * grid.rows;
    result.histogram.resize(ChannelCount * Bins);
    const int bins = Bins;
    const float range[] = {0.f, 256.f};
    const float *ranges[] = {range};
    for (int c = 0; c < ChannelCount; ++c) {
        const cv::Mat &source = c == Luma ? luma : grid;
        const int channel = c == Luma ? 0 : ByteOf[c];
        cv::Mat hist;
        cv::calcHist(&source, 1, &channel, cv::Mat(), hist, 1, &bins, ranges);
        int low = 0, high = 0;
        for (int v = 0; v < Bins; ++v) {
            const int n = cvRound(hist.at<float>(v));
            result.histogram[c * Bins + v] = n;
            if (v <= ClipLow)
                low += n;
            else if (v >= ClipHigh)
                high += n;
        }
        result.clippedLow[size_t(c)] = double(low) / result.samples;
        result.clippedHigh[size_t(c)] = double(high) / result.samples;
    }

    const QRect box = QRectF(region.x() * frame.width(), region.y() * frame.height(),
                             region.width() * frame.width(), region.height() * frame.height())
                          .toAlignedRect()
                          .intersected(frame.rect());
    if (!region.isEmpty() && !box.isEmpty())
        result.region = measureRegion(pixels(cv::Rect(box.x(), box.y(), box.width(), box.height())));
    result.valid = true;
    return result;
}

QRectF turnRect(const QRectF &rect, int rotation)
{
    // A point of the upright picture, seen in the picture turned clockwise.
    auto turn = [rotation](const QPointF &p) {
        switch (rotation) {
        case 90:
            return QPointF(1 - p.y(), p.x());
        case 180:
            return QPointF(1 - p.x(), 1 - p.y());
        case 270:
            return QPointF(p.y(), 1 - p.x());
        default:
            return p;
        }
    };
    return QRectF(turn(rect.topLeft()), turn(rect.bottomRight())).normalized();
}

QRectF unturnRect(const QRectF &rect, int rotation)
{
    return turnRect(rect, (360 - rotation) % 360);
}

} // namespace FrameStats
