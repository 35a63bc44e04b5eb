#include "camera/frameconvert.h"

#include <QTransform>
#include <QtEndian>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace {

// Writes 0xFF << 24 | r << 16 | g << 8 | b for every pixel of `frame` into
// `target`, a 32-bit-per-pixel buffer of the frame's size.
void convertPixels(const cv::Mat &frame, cv::Mat &target)
{
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    // BGR to BGRA with alpha 255 stores the bytes b, g, r, 0xFF, which is that
    // 32-bit value on a little-endian machine. The frame's row step is honoured.
    cv::cvtColor(frame, target, cv::COLOR_BGR2BGRA);
#else
    for (int y = 0; y < frame.rows; ++y) {
        const uchar *src = frame.ptr<uchar>(y);
        auto *dst = target.ptr<quint32>(y);
        for (int x = 0; x < frame.cols; ++x, src += 3)
            dst[x] = 0xFF000000u | quint32(src[2]) << 16 | quint32(src[1]) << 8 | src[0];
    }
#endif
}

// A view of the image's own pixels.
cv::Mat pixelsOf(QImage &image)
{
    return cv::Mat(image.height(), image.width(), CV_8UC4, image.bits(), size_t(image.bytesPerLine()));
}

} // namespace

QImage frameToImage(const cv::Mat &frame, int rotation)
{
    if (frame.empty() || frame.dims != 2 || frame.channels() != 3 || frame.depth() != CV_8U)
        return QImage();

    if (rotation == 90 || rotation == 180 || rotation == 270) {
        // The smooth transform of a quarter or half turn moves pixels without
        // resampling; cv::rotate moves them the same way. It is used because
        // Qt's quarter turn of a freshly written 1080p image costs tens of
        // milliseconds. The upright image goes to a per-thread scratch buffer
        // that is reused from frame to frame.
        thread_local cv::Mat upright;
        upright.create(frame.rows, frame.cols, CV_8UC4);
        convertPixels(frame, upright);
        const bool quarter = rotation != 180;
        QImage image(quarter ? frame.rows : frame.cols, quarter ? frame.cols : frame.rows,
                     QImage::Format_RGB32);
        if (image.isNull()) // out of memory
            return QImage();
        cv::Mat target = pixelsOf(image);
        cv::rotate(upright, target,
                   rotation == 90    ? cv::ROTATE_90_CLOCKWISE
                   : rotation == 180 ? cv::ROTATE_180
                                     : cv::ROTATE_90_COUNTERCLOCKWISE);
        return image;
    }

    QImage image(frame.cols, frame.rows, QImage::Format_RGB32);
    if (image.isNull()) // out of memory
        return QImage();
    cv::Mat target = pixelsOf(image);
    convertPixels(frame, target);
    if (rotation > 0) {
        QTransform turn;
        turn.rotate(rotation);
        return image.transformed(turn, Qt::SmoothTransformation);
    }
    return image;
}
