#include "camera/frameconvert.h"

#include <QTransform>
#include <QtEndian>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace {

// Writes 0xFF << 24 | r << 16 | g << 8 | b for every pixel of `frame` into
// `image`, which has the frame's size.
void convertPixels(const cv::Mat &frame, QImage &image)
{
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    // BGR to BGRA with alpha 255 stores the bytes b, g, r, 0xFF, which is that
    // 32-bit value on a little-endian machine. Convert straight into the
    // image's own buffer, honouring the frame's row step.
    cv::Mat target(frame.rows, frame.cols, CV_8UC4, image.bits(), size_t(image.bytesPerLine()));
    cv::cvtColor(frame, target, cv::COLOR_BGR2BGRA);
#else
    for (int y = 0; y < frame.rows; ++y) {
        const uchar *src = frame.ptr<uchar>(y);
        auto *dst = reinterpret_cast<quint32 *>(image.scanLine(y));
        for (int x = 0; x < frame.cols; ++x, src += 3)
            dst[x] = 0xFF000000u | quint32(src[2]) << 16 | quint32(src[1]) << 8 | src[0];
    }
#endif
}

} // namespace

QImage frameToImage(const cv::Mat &frame, int rotation)
{
    if (frame.empty() || frame.dims != 2 || frame.channels() != 3 || frame.depth() != CV_8U)
        return QImage();

    QImage image(frame.cols, frame.rows, QImage::Format_RGB32);
    if (image.isNull()) // out of memory
        return QImage();
    convertPixels(frame, image);

    if (rotation > 0) {
        // For 90, 180 and 270 degrees Qt recognises the exact rotation and
        // moves the pixels without resampling.
        QTransform turn;
        turn.rotate(rotation);
        return image.transformed(turn, Qt::SmoothTransformation);
    }
    return image;
}
