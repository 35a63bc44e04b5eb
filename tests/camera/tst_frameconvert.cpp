// Frame conversion: the optimised routine bit for bit against the pixel formula
// and Qt's own rotation, on rows with padding, and the frames it refuses.
#include "camera/frameconvert.h"

#include <QTransform>
#include <QtTest>

#include <opencv2/core.hpp>

namespace {

// 0xFF << 24 | r << 16 | g << 8 | b, pixel by pixel.
QImage reference(const cv::Mat &frame)
{
    QImage image(frame.cols, frame.rows, QImage::Format_RGB32);
    for (int y = 0; y < frame.rows; ++y) {
        const uchar *src = frame.ptr<uchar>(y);
        auto *dst = reinterpret_cast<quint32 *>(image.scanLine(y));
        for (int x = 0; x < frame.cols; ++x, src += 3)
            dst[x] = 0xFFu << 24 | quint32(src[2]) << 16 | quint32(src[1]) << 8 | src[0];
    }
    return image;
}

// QImage's == ignores the alpha byte of RGB32 images; this keeps it.
QImage allBits(QImage image)
{
    image.reinterpretAsFormat(QImage::Format_ARGB32);
    return image;
}

} // namespace

class TestFrameConvert : public QObject
{
    Q_OBJECT

private slots:
    // Turns are clockwise on screen: the first source pixel lands in `corner`.
    void bitExact_data()
    {
        QTest::addColumn<int>("degrees");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<QPoint>("corner");
        QTest::newRow("1x1") << 0 << 1 << 1 << QPoint(0, 0);
        QTest::newRow("odd 17x9") << 0 << 17 << 9 << QPoint(0, 0);
        QTest::newRow("720p") << 0 << 1280 << 720 << QPoint(0, 0);
        QTest::newRow("90") << 90 << 7 << 5 << QPoint(4, 0);
        QTest::newRow("180") << 180 << 7 << 5 << QPoint(6, 4);
        QTest::newRow("270 odd") << 270 << 33 << 17 << QPoint(0, 32);
        QTest::newRow("90 1080p") << 90 << 1920 << 1080 << QPoint(1079, 0);
    }

    void bitExact()
    {
        QFETCH(int, degrees);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(QPoint, corner);
        // A region of a bigger frame: rows are more than 3 x width bytes apart.
        cv::Mat whole(height + 1, width + 7, CV_8UC3);
        cv::randu(whole, cv::Scalar::all(0), cv::Scalar::all(256));
        const cv::Mat frame = whole(cv::Rect(2, 1, width, height));

        const QImage image = frameToImage(frame, degrees);
        QCOMPARE(image.format(), QImage::Format_RGB32);
        const uchar *first = frame.ptr<uchar>(0);
        QCOMPARE(image.pixel(corner), 0xFF000000u | uint(first[2]) << 16 | uint(first[1]) << 8 | first[0]);
        const QImage upright = reference(frame);
        QCOMPARE(allBits(image), allBits(upright.transformed(QTransform().rotate(degrees), Qt::SmoothTransformation)));
    }

    // Anything but a 2-D 8-bit three-channel frame gives a null image.
    void refused()
    {
        const int sizes[] = {2, 4, 6};
        const cv::Mat frames[] = {cv::Mat(4, 6, CV_8UC1), cv::Mat(4, 6, CV_8UC4), cv::Mat(4, 6, CV_16UC3),
                                  cv::Mat(3, sizes, CV_8UC3), cv::Mat()};
        for (const cv::Mat &frame : frames) {
            QVERIFY(frameToImage(frame, 0).isNull());
            QVERIFY(frameToImage(frame, 90).isNull());
        }
    }
};

QTEST_GUILESS_MAIN(TestFrameConvert)
#include "tst_frameconvert.moc"
