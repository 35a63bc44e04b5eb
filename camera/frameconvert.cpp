#include "camera/frameconvert.h"

#include <QTransform>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

QImage frameToImage(const cv::Mat &frame, int rotation)
{
    if (frame.dims != 2 || frame.channels() != 3 || frame.depth() != CV_8U || frame.empty())
        return QImage();

    QImage image(frame.cols, frame.rows, QImage::Format_RGB32);
    // Convert straight into the image's own buffer: BGR to BGRA with alpha 255
    // is exactly 0xFF << 24 | r << 16 | g << 8 | b on a little-endian machine.
    cv::Mat target(frame.rows, frame.cols, CV_8UC4, image.bits(), size_t(image.bytesPerLine()));
    cv::cvtColor(frame, target, cv::COLOR_BGR2BGRA);

    if (rotation > 0) {
        QTransform turn;
        turn.rotate(rotation);
        return image.transformed(turn, Qt::SmoothTransformation);
    }
    return image;
}
