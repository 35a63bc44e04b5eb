// Frame conversion: the optimised routine against the pixel formula, rows with
// padding, the rotations against Qt's own transform, and frames it refuses.
#include "camera/frameconvert.h"

#include <QTransform>
#include <QtTest>

#include <opencv2/core.hpp>

namespace {

cv::Mat randomFrame(int width, int height, int type = CV_8UC3)
{
    cv::Mat frame(height, width, type);
    cv::randu(frame, cv::Scalar::all(0), cv::Scalar::all(256));
    return frame;
}

// The formula of the capture thread, pixel by pixel.
QImage reference(const cv::Mat &frame)
{
    QImage image(frame.cols, frame.rows, QImage::Format_RGB32);
    for (int y = 0; y < frame.rows; ++y) {
        const uchar *src = frame.data + size_t(y) * frame.step[0];
        auto *dst = reinterpret_cast<quint32 *>(image.scanLine(y));
        for (int x = 0; x < frame.cols; ++x) {
            const uchar b = src[3 * x], g = src[3 * x + 1], r = src[3 * x + 2];
            dst[x] = 0xFFu << 24 | quint32(r) << 16 | quint32(g) << 8 | b;
        }
    }
    return image;
}

bool sameBits(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.format() != b.format())
        return false;
    for (int y = 0; y < a.height(); ++y) {
        if (memcmp(a.constScanLine(y), b.constScanLine(y), size_t(a.width()) * 4) != 0)
            return false;
    }
    return true;
}

} // namespace

class TestFrameConvert : public QObject
{
    Q_OBJECT

private slots:
    void bitExact_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("padding"); // extra pixels at the end of each source row
        QTest::newRow("1x1") << 1 << 1 << 0;
        QTest::newRow("odd 17x9") << 17 << 9 << 0;
        QTest::newRow("720p") << 1280 << 720 << 0;
        QTest::newRow("padded 31x7") << 31 << 7 << 5;
    }

    void bitExact()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, padding);
        const cv::Mat whole = randomFrame(width + padding + 2, height + 1);
        // A region of a bigger frame: rows are step[0] bytes apart, more than 3 x width.
        const cv::Mat frame = whole(cv::Rect(2, 1, width, height));
        QVERIFY(frame.step[0] > size_t(3 * width));

        const QImage image = frameToImage(frame, 0);
        QCOMPARE(image.format(), QImage::Format_RGB32);
        QVERIFY(sameBits(image, reference(frame)));
        const uchar *first = frame.ptr<uchar>(0);
        QCOMPARE(image.pixel(0, 0), 0xFF000000u | uint(first[2]) << 16 | uint(first[1]) << 8 | first[0]);
    }

    // Quarter and half turns give exactly Qt's smooth transform of the formula
    // image (clockwise on screen): the first source pixel lands in the corner.
    void rotation_data()
    {
        QTest::addColumn<int>("degrees");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("firstPixel");
        QTest::newRow("90") << 90 << 7 << 5 << QSize(5, 7) << QPoint(4, 0);
        QTest::newRow("180") << 180 << 7 << 5 << QSize(7, 5) << QPoint(6, 4);
        QTest::newRow("270") << 270 << 7 << 5 << QSize(5, 7) << QPoint(0, 6);
        QTest::newRow("90 1080p") << 90 << 1920 << 1080 << QSize(1080, 1920) << QPoint(1079, 0);
        QTest::newRow("270 odd") << 270 << 33 << 17 << QSize(17, 33) << QPoint(0, 32);
    }

    void rotation()
    {
        QFETCH(int, degrees);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(QSize, size);
        QFETCH(QPoint, firstPixel);

        const cv::Mat frame = randomFrame(width, height);
        const QImage image = frameToImage(frame, degrees);
        QCOMPARE(image.size(), size);
        QCOMPARE(image.format(), QImage::Format_RGB32);
        const QImage upright = reference(frame);
        QCOMPARE(image.pixel(firstPixel), upright.pixel(0, 0));

        // Bit for bit what Qt's smooth transform of the upright image gives.
        QTransform turn;
        turn.rotate(degrees);
        QVERIFY(sameBits(image, upright.transformed(turn, Qt::SmoothTransformation)));
    }

    void refused_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("dims");
        QTest::newRow("one channel") << int(CV_8UC1) << 2;
        QTest::newRow("four channels") << int(CV_8UC4) << 2;
        QTest::newRow("16-bit") << int(CV_16UC3) << 2;
        QTest::newRow("three dimensions") << int(CV_8UC3) << 3;
        QTest::newRow("empty") << int(CV_8UC3) << 0;
    }

    void refused()
    {
        QFETCH(int, type);
        QFETCH(int, dims);
        cv::Mat frame;
        if (dims == 2) {
            frame = cv::Mat(4, 6, type, cv::Scalar::all(7));
        } else if (dims == 3) {
            const int sizes[] = {2, 4, 6};
            frame = cv::Mat(3, sizes, type, cv::Scalar::all(7));
        }
        QVERIFY(frameToImage(frame, 0).isNull());
        QVERIFY(frameToImage(frame, 90).isNull());
    }
};

QTEST_GUILESS_MAIN(TestFrameConvert)
#include "tst_frameconvert.moc"
