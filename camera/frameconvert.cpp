#include "camera/frameconvert.h"

#include <QTransform>
#include <QtEndian>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <atomic>
#include <climits>
#include <cstring>
#include <new>
#include <vector>

#ifdef VEXLO_HAVE_TURBOJPEG
#include <turbojpeg.h>
#endif

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

bool isTurn(int rotation)
{
    return rotation == 90 || rotation == 180 || rotation == 270;
}

// The smooth transform of a quarter or half turn moves pixels without
// resampling; cv::rotate moves them the same way. It is used because Qt's
// quarter turn of a freshly written 1080p image costs tens of milliseconds.
QImage turned(const cv::Mat &upright, int rotation)
{
    const bool quarter = rotation != 180;
    QImage image(quarter ? upright.rows : upright.cols, quarter ? upright.cols : upright.rows,
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

// A per-thread buffer for the upright picture of a turned frame, reused from
// frame to frame.
cv::Mat &uprightScratch(int rows, int cols)
{
    thread_local cv::Mat upright;
    upright.create(rows, cols, CV_8UC4);
    return upright;
}

#ifdef VEXLO_HAVE_TURBOJPEG
// One decompressor per thread (the capture thread and the snapshot's).
class JpegDecoder
{
public:
    JpegDecoder()
        : m_handle(tjInitDecompress())
    {
    }
    ~JpegDecoder()
    {
        if (m_handle)
            tjDestroy(m_handle);
    }
    JpegDecoder(const JpegDecoder &) = delete;
    JpegDecoder &operator=(const JpegDecoder &) = delete;

    // Decodes into `target` (32 bits per pixel, the frame's size or one of its
    // reductions: the decoder scales to fit), opaque, in the byte order of
    // QImage::Format_RGB32. The decode stops at the first warning, which counts
    // as failure (a frame cut short or with corrupt data decodes with a
    // warning, partly grey or garbled), with one exception: bytes between the
    // image data and the end marker. Many USB cameras pad every frame that way;
    // the picture is whole by the time the end marker is looked for, so
    // dropping those frames would leave such a camera without a picture.
    //
    // OpenCV 4.6 hands a raw MJPG frame over 1 to 3 bytes short when its size
    // is a multiple of 4 and the frame before it was that size less 1 to 3
    // bytes: the image header it reuses keeps the earlier width. A frame that
    // runs out of data is decoded once more with its end marker put back; if
    // more than the marker was lost, that decode stops at its warning too.
    bool decode(const unsigned char *data, std::size_t size, cv::Mat &target)
    {
        if (decodeOnce(data, size, target))
            return true;
        if (tjGetErrorCode(m_handle) != TJERR_WARNING
            || !std::strstr(tjGetErrorStr2(m_handle), "Premature end of JPEG file") || size < 2)
            return false;
        m_mended.assign(data, data + size);
        m_mended.push_back(0xFF); // after a lone 0xFF left of the marker, a fill byte
        m_mended.push_back(0xD9);
        return decodeOnce(m_mended.data(), m_mended.size(), target);
    }

private:
    bool decodeOnce(const unsigned char *data, std::size_t size, cv::Mat &target)
    {
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
        const int format = TJPF_BGRX;
#else
        const int format = TJPF_XRGB;
#endif
        // Otherwise accurate DCT and smooth chroma upsampling, as libjpeg
        // decodes by default and so as OpenCV does.
        if (tjDecompress2(m_handle, data, static_cast<unsigned long>(size), target.data, target.cols,
                          int(target.step[0]), target.rows, format, TJFLAG_STOPONWARNING)
            == 0)
            return true;
        return tjGetErrorCode(m_handle) == TJERR_WARNING
               && std::strstr(tjGetErrorStr2(m_handle), "extraneous bytes before marker 0xd9");
    }

    tjhandle m_handle;
    std::vector<unsigned char> m_mended;
};

// The images a thread's decodes go into, reused once no one holds them any
// more: a fresh 8 MB image per 1080p frame costs as much in page faults as the
// decode itself. An image still held elsewhere is never written; the pool then
// lets go of it and takes a new one.
class ImagePool
{
public:
    QImage *take(int width, int height)
    {
        for (QImage &image : m_images) {
            if (image.width() == width && image.height() == height && image.isDetached()) {
                // Pairs with the release of the last other holder's reference.
                std::atomic_thread_fence(std::memory_order_acquire);
                return &image;
            }
        }
        QImage &slot = m_images[m_next];
        m_next = (m_next + 1) % Size;
        slot = QImage(width, height, QImage::Format_RGB32);
        return slot.isNull() ? nullptr : &slot;
    }

private:
    static constexpr int Size = 4;
    QImage m_images[Size];
    int m_next = 0;
};

// Decodes at `reduced`, the frame's size or one of its reductions (the decoder
// picks the reduction whose picture fits it exactly).
QImage decodeTurbo(const unsigned char *data, std::size_t size, int rotation, QSize reduced)
{
    thread_local JpegDecoder decoder;
    const int width = reduced.width();
    const int height = reduced.height();
    if (isTurn(rotation)) {
        cv::Mat &upright = uprightScratch(height, width);
        return decoder.decode(data, size, upright) ? turned(upright, rotation) : QImage();
    }
    thread_local ImagePool pool;
    QImage *image = pool.take(width, height);
    if (!image) // out of memory
        return QImage();
    cv::Mat target = pixelsOf(*image);
    return decoder.decode(data, size, target) ? *image : QImage();
}
#endif

} // namespace

QImage frameToImage(const cv::Mat &frame, int rotation)
{
    if (frame.empty() || frame.dims != 2 || frame.channels() != 3 || frame.depth() != CV_8U)
        return QImage();

    if (isTurn(rotation)) {
        cv::Mat &upright = uprightScratch(frame.rows, frame.cols);
        convertPixels(frame, upright);
        return turned(upright, rotation);
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

const char *frameVerdictName(FrameVerdict v)
{
    static const char *const names[FrameVerdictCount] = {"good", "read failed", "empty", "undecodable",
                                                         "wrong size"};
    return names[int(v)];
}

bool jpegHeaderSize(const unsigned char *p, std::size_t n, QSize *claimed)
{
    if (!p || n < 4 || p[0] != 0xFF || p[1] != 0xD8)
        return false;
    for (std::size_t i = 2; i + 9 < n;) {
        if (p[i] != 0xFF)
            return false;
        const unsigned char m = p[i + 1];
        if (m == 0xFF) { // fill byte
            ++i;
            continue;
        }
        // Start of frame: baseline, extended or progressive Huffman coding.
        if (m >= 0xC0 && m <= 0xC2) {
            *claimed = QSize(p[i + 7] << 8 | p[i + 8], p[i + 5] << 8 | p[i + 6]);
            return !claimed->isEmpty();
        }
        if (m == 0xD8 || m == 0xD9 || m == 0xDA || m == 0x01 || (m >= 0xD0 && m <= 0xD7))
            return false; // image data or the end before any frame header
        i += 2 + (std::size_t(p[i + 2]) << 8 | p[i + 3]);
    }
    return false;
}

int jpegReduction(QSize frame, QSize shown)
{
    int reduction = 1;
    while (reduction < 8 && !shown.isEmpty()) {
        const QSize next = jpegReducedSize(frame, reduction * 2);
        if (next.width() < shown.width() || next.height() < shown.height())
            break;
        reduction *= 2;
    }
    return reduction;
}

QSize jpegReducedSize(QSize frame, int reduction)
{
    return QSize((frame.width() + reduction - 1) / reduction, (frame.height() + reduction - 1) / reduction);
}

QImage jpegToImage(const unsigned char *data, std::size_t size, int rotation, QSize expected,
                   FrameVerdict *verdict, QSize shown)
{
    FrameVerdict scratch;
    FrameVerdict &v = verdict ? *verdict : scratch;
    v = FrameVerdict::Undecodable;
    QSize claimed;
    if (size > std::size_t(INT_MAX) || !jpegHeaderSize(data, size, &claimed))
        return QImage();
    // A broken frame may claim any size: only the size the stream was set to
    // is ever allocated.
    if (claimed != expected) {
        v = FrameVerdict::WrongSize;
        return QImage();
    }
    const bool quarter = rotation % 180 != 0;
    const int reduction = jpegReduction(expected, quarter ? shown.transposed() : shown);
    const QSize reduced = jpegReducedSize(expected, reduction);
    QImage image;
    try {
#ifdef VEXLO_HAVE_TURBOJPEG
        image = decodeTurbo(data, size, rotation, reduced);
#else
        const int flags[] = {cv::IMREAD_COLOR, cv::IMREAD_REDUCED_COLOR_2, cv::IMREAD_REDUCED_COLOR_4,
                             cv::IMREAD_REDUCED_COLOR_8};
        const cv::Mat compressed(1, int(size), CV_8UC1, const_cast<unsigned char *>(data));
        image = frameToImage(cv::imdecode(compressed, flags[reduction == 8 ? 3 : reduction / 2]), rotation);
#endif
    } catch (const cv::Exception &) {
    } catch (const std::bad_alloc &) {
    }
    if (!image.isNull() && image.size() == (quarter ? reduced.transposed() : reduced))
        v = FrameVerdict::Good;
    else
        image = QImage();
    return image;
}
