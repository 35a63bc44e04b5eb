// The test picture: colour bars, a grey ramp, a skin-tone patch, a
// sharpness target and a register read-out, processed the way the tuning
// registers ask, plus a band with a moving marker and a frame counter.
//
// The static part is rendered and encoded only when the registers or the
// format change. For MJPG the frame is encoded with one restart interval per
// MCU row, so each frame only re-encodes the rows of the moving band and
// splices them between the cached rows.
#include "vcam_internal.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <cstring>

namespace vcam {

namespace {

int align16(int v) { return (v + 15) / 16 * 16; }

struct Geometry {
    int w, h;
    int bandY, bandH;
    cv::Rect skin, target, text;
};

Geometry geometry(int w, int h)
{
    Geometry g{w, h, 0, 0, {}, {}, {}};
    g.bandH = std::max(32, align16(h * 6 / 100));
    g.bandY = (h * 84 / 100) / 16 * 16;
    const int top = h * 58 / 100;
    const int bottom = g.bandY - h / 60;
    g.skin = cv::Rect(w / 40, top + h / 60, w / 4, bottom - top - h / 30);
    g.target = cv::Rect(w * 3 / 10, top + h / 60, w / 5, bottom - top - h / 30);
    g.text = cv::Rect(w * 53 / 100, top + h / 60, w * 45 / 100, bottom - top - h / 30);
    return g;
}

cv::Mat drawBase(const Geometry &g)
{
    const int w = g.w, h = g.h;
    cv::Mat img(h, w, CV_8UC3, cv::Scalar(48, 48, 48));
    // 75% colour bars
    const cv::Scalar bars[8] = {{191, 191, 191}, {0, 191, 191}, {191, 191, 0}, {0, 191, 0},
                                {191, 0, 191},   {0, 0, 191},   {191, 0, 0},   {16, 16, 16}};
    const int barsH = h * 42 / 100;
    for (int i = 0; i < 8; ++i)
        cv::rectangle(img, cv::Rect(i * w / 8, 0, (i + 1) * w / 8 - i * w / 8, barsH), bars[i],
                      cv::FILLED);
    // grey ramp, 16 steps
    const int rampY = barsH, rampH = h * 14 / 100;
    for (int i = 0; i < 16; ++i) {
        const int v = i * 255 / 15;
        cv::rectangle(img, cv::Rect(i * w / 16, rampY, (i + 1) * w / 16 - i * w / 16, rampH),
                      cv::Scalar(v, v, v), cv::FILLED);
    }
    // skin-tone patch with a fine texture that skin smoothing removes
    cv::rectangle(img, g.skin, cv::Scalar(118, 150, 205), cv::FILLED);
    cv::Mat skin = img(g.skin);
    for (int y = 0; y < skin.rows; ++y) {
        auto *p = skin.ptr<cv::Vec3b>(y);
        for (int x = 0; x < skin.cols; ++x) {
            const int n = int((unsigned(x * 7919 + y * 104729) * 2654435761u) >> 28) - 8; // -8..7
            for (int c = 0; c < 3; ++c)
                p[x][c] = cv::saturate_cast<uchar>(p[x][c] + 2 * n);
        }
    }
    cv::ellipse(img, cv::Point(g.skin.x + g.skin.width / 2, g.skin.y + g.skin.height / 2),
                cv::Size(g.skin.width / 5, g.skin.height / 3), 0, 0, 360, cv::Scalar(96, 128, 190),
                std::max(1, h / 240));
    // sharpness target: line pairs of decreasing width
    cv::rectangle(img, g.target, cv::Scalar(200, 200, 200), cv::FILLED);
    int x = g.target.x + 2;
    for (int pitch = std::max(2, w / 160); x < g.target.br().x - 2 && pitch >= 1; pitch = pitch * 3 / 4) {
        for (int k = 0; k < 4 && x + pitch < g.target.br().x; ++k, x += 2 * pitch)
            cv::rectangle(img, cv::Rect(x, g.target.y, pitch, g.target.height), cv::Scalar(20, 20, 20),
                          cv::FILLED);
        if (pitch == 1)
            break;
    }
    return img;
}

void process(cv::Mat &img, const Geometry &g, const SceneParams &p, bool overlay)
{
    const auto &r = p.regs;
    const double ev = r[VCAM_REG_BRIGHTNESS];
    const int iso = r[VCAM_REG_GAIN];
    const double wb = r[VCAM_REG_WB_TEMPERATURE];
    const double warm = r[VCAM_REG_HUE] / 100.0;
    const bool bright = r[VCAM_REG_GAMMA] & 0x40;
    const bool smooth = r[VCAM_REG_GAMMA] & 0x80;
    const double contrast = 0.5 + r[VCAM_REG_CONTRAST] / 10.0;
    auto mce = [](int code) { return 1.0 + (std::clamp(code, -128, 128) + 128) / 512.0; };
    const double exposure = std::pow(2.0, ev / 3.0) * (iso > 0 ? 1.0 + 0.03 * iso : 1.0);
    double gain[3] = {mce(r[VCAM_REG_TILT]), mce(r[VCAM_REG_PAN]), mce(r[VCAM_REG_ROLL])}; // B, G, R
    if (wb > 0) {
        gain[2] *= std::pow(wb / 5000.0, 0.6);
        gain[0] *= std::pow(5000.0 / wb, 0.6);
    }
    gain[2] *= 1.0 + 0.02 * warm;
    gain[0] *= 1.0 - 0.02 * warm;

    cv::Mat lut(1, 256, CV_8UC3);
    for (int i = 0; i < 256; ++i)
        for (int c = 0; c < 3; ++c) {
            double v = std::pow(i / 255.0, 2.2) * exposure * gain[c];
            v = std::pow(std::clamp(v, 0.0, 1.0), 1.0 / 2.2);
            if (bright)
                v = std::pow(v, 0.75);
            v = 0.5 + (v - 0.5) * contrast;
            lut.at<cv::Vec3b>(i)[c] = cv::saturate_cast<uchar>(v * 255.0);
        }
    cv::LUT(img, lut, img);

    auto saturate = [](cv::Mat roi, double f) {
        if (std::abs(f - 1.0) < 1e-6)
            return;
        cv::Mat grey, grey3;
        cv::cvtColor(roi, grey, cv::COLOR_BGR2GRAY);
        cv::cvtColor(grey, grey3, cv::COLOR_GRAY2BGR);
        cv::addWeighted(roi, f, grey3, 1.0 - f, 0.0, roi);
    };
    saturate(img, r[VCAM_REG_SATURATION] / 5.0);
    // skin colour enhancement on the skin patch
    saturate(img(g.skin), 0.58 + r[VCAM_REG_ZOOM] / 100.0 * 0.06);
    if (smooth) {
        const int k = std::max(3, (g.h / 90) | 1);
        cv::GaussianBlur(img(g.skin), img(g.skin), cv::Size(k, k), 0);
    }
    const double sharp = (r[VCAM_REG_SHARPNESS] - 12) / 12.0;
    if (std::abs(sharp) > 1e-6) {
        cv::Mat blur;
        cv::GaussianBlur(img, blur, cv::Size(0, 0), std::max(1.0, g.h / 480.0));
        // sharp > 0: unsharp mask; sharp < 0: blend towards the blurred picture
        cv::addWeighted(img, 1.0 + sharp, blur, -sharp, 0.0, img);
    }
    if (r[VCAM_REG_BACKLIGHT] == 3) { // anti-flicker off: mains banding
        for (int y = 0; y < img.rows; ++y) {
            const double f = 1.0 + 0.08 * std::sin(y * 2.0 * M_PI / (img.rows / 6.0));
            img.row(y).convertTo(img.row(y), -1, f);
        }
    }
    if (!overlay)
        return;
    cv::rectangle(img, g.text, cv::Scalar(0, 0, 0), cv::FILLED);
    const char *flicker[4] = {"auto", "50Hz", "60Hz", "off"};
    char lines[5][96];
    snprintf(lines[0], sizeof lines[0], "EV %+.1f  ISO idx %d  flicker %s", ev / 3.0, iso,
             flicker[std::clamp(r[VCAM_REG_BACKLIGHT], 0, 3)]);
    if (wb > 0)
        snprintf(lines[1], sizeof lines[1], "WB %dK  warmness %+d", int(wb), int(std::lround(warm)));
    else
        snprintf(lines[1], sizeof lines[1], "WB auto  warmness %+d", int(std::lround(warm)));
    snprintf(lines[2], sizeof lines[2], "sat %d  con %d  sharp %d  SCE %d", r[VCAM_REG_SATURATION],
             r[VCAM_REG_CONTRAST], r[VCAM_REG_SHARPNESS], r[VCAM_REG_ZOOM]);
    snprintf(lines[3], sizeof lines[3], "MCE R %.3f G %.3f B %.3f", mce(r[VCAM_REG_ROLL]),
             mce(r[VCAM_REG_PAN]), mce(r[VCAM_REG_TILT]));
    snprintf(lines[4], sizeof lines[4], "bright %s  skin smooth %s", bright ? "on" : "off",
             smooth ? "on" : "off");
    const double scale = g.h / 1080.0 * 1.05;
    const int thick = std::max(1, g.h / 540);
    for (int i = 0; i < 5; ++i)
        cv::putText(img, lines[i],
                    cv::Point(g.text.x + g.w / 100, g.text.y + (i + 1) * g.text.height / 6),
                    cv::FONT_HERSHEY_SIMPLEX, scale, cv::Scalar(255, 255, 255), thick, cv::LINE_AA);
}

void drawBand(cv::Mat &band, const Geometry &g, uint32_t seq, int64_t tsNs)
{
    const int mark = band.rows * 3 / 4;
    const int span = g.w / 2 - mark;
    const int pos = int((seq * unsigned(std::max(2, g.w / 240))) % unsigned(2 * span));
    const int x = pos < span ? pos : 2 * span - pos;
    cv::rectangle(band, cv::Rect(x + band.rows / 8, band.rows / 8, mark, mark), cv::Scalar(0, 220, 255),
                  cv::FILLED);
    char text[64];
    snprintf(text, sizeof text, "frame %06u  %.3f s", seq, double(tsNs) / 1e9);
    cv::putText(band, text, cv::Point(g.w / 2 + g.w / 50, band.rows * 3 / 4), cv::FONT_HERSHEY_SIMPLEX,
                band.rows / 48.0, cv::Scalar(255, 255, 255), std::max(1, band.rows / 24), cv::LINE_AA);
}

// BT.601 limited range, as the receiving side's YUYV decoders expect.
void toYuyv(const cv::Mat &bgr, uint8_t *dst, size_t stride)
{
    for (int y = 0; y < bgr.rows; ++y) {
        const uint8_t *s = bgr.ptr<uint8_t>(y);
        uint8_t *d = dst + y * stride;
        for (int x = 0; x + 1 < bgr.cols; x += 2, s += 6, d += 4) {
            const int b0 = s[0], g0 = s[1], r0 = s[2], b1 = s[3], g1 = s[4], r1 = s[5];
            const int br = (b0 + b1) / 2, gr = (g0 + g1) / 2, rr = (r0 + r1) / 2;
            d[0] = uint8_t(((66 * r0 + 129 * g0 + 25 * b0 + 128) >> 8) + 16);
            d[1] = uint8_t(((-38 * rr - 74 * gr + 112 * br + 128) >> 8) + 128);
            d[2] = uint8_t(((66 * r1 + 129 * g1 + 25 * b1 + 128) >> 8) + 16);
            d[3] = uint8_t(((112 * rr - 94 * gr - 18 * br + 128) >> 8) + 128);
        }
    }
}

// A baseline JPEG split at its restart markers.
struct SplitJpeg {
    std::vector<uint8_t> header; // SOI .. end of the SOS header
    std::vector<std::vector<uint8_t>> segments;
    int mcuRows = 0;   // lines per MCU row
    int interval = 0;  // restart interval in MCUs
    int mcusPerRow = 0;
};

bool splitJpeg(const std::vector<uint8_t> &j, SplitJpeg &out)
{
    size_t i = 2;
    if (j.size() < 4 || j[0] != 0xFF || j[1] != 0xD8)
        return false;
    int width = 0, vmax = 0, hmax = 0;
    while (i + 4 <= j.size()) {
        if (j[i] != 0xFF)
            return false;
        const uint8_t m = j[i + 1];
        const size_t len = size_t(j[i + 2]) << 8 | j[i + 3];
        if (m == 0xC0 || m == 0xC1) {
            width = j[i + 7] << 8 | j[i + 8];
            const int n = j[i + 9];
            for (int c = 0; c < n; ++c) {
                const uint8_t s = j[i + 11 + 3 * c];
                hmax = std::max(hmax, s >> 4);
                vmax = std::max(vmax, s & 15);
            }
        } else if (m == 0xDD) {
            out.interval = j[i + 4] << 8 | j[i + 5];
        }
        i += 2 + len;
        if (m == 0xDA)
            break;
    }
    if (!width || !vmax || !hmax || !out.interval || i >= j.size())
        return false;
    out.mcuRows = 8 * vmax;
    out.mcusPerRow = (width + 8 * hmax - 1) / (8 * hmax);
    out.header.assign(j.begin(), j.begin() + long(i));
    out.segments.clear();
    size_t start = i;
    for (size_t k = i; k + 1 < j.size(); ++k) {
        if (j[k] != 0xFF)
            continue;
        const uint8_t m = j[k + 1];
        if ((m >= 0xD0 && m <= 0xD7) || m == 0xD9) {
            out.segments.emplace_back(j.begin() + long(start), j.begin() + long(k));
            start = k + 2;
            ++k;
            if (m == 0xD9)
                return true;
        }
    }
    return false;
}

const std::vector<int> &jpegParams(int w)
{
    static std::vector<int> p;
    p = {cv::IMWRITE_JPEG_QUALITY, 80, cv::IMWRITE_JPEG_RST_INTERVAL, w / 16};
    return p;
}

} // namespace

struct Scene::Impl {
    uint32_t fourcc = 0;
    int w = 0, h = 0;
    bool valid = false;
    SceneParams params;
    Geometry g{};
    cv::Mat base, processed;
    SplitJpeg jpeg;
    bool spliceable = false;
    std::vector<uint8_t> yuyv;
    std::vector<uint8_t> scratch;
};

Scene::Scene() : d(new Impl) {}
Scene::~Scene() = default;

double Scene::meanLuma(const SceneParams &p)
{
    static const Geometry g = geometry(192, 108);
    static const cv::Mat base = drawBase(g);
    cv::Mat img = base.clone();
    process(img, g, p, false);
    cv::Mat grey;
    cv::cvtColor(img, grey, cv::COLOR_BGR2GRAY);
    return cv::mean(grey)[0];
}

size_t Scene::render(uint32_t fourcc, int w, int h, const SceneParams &p, uint32_t seq, int64_t tsNs,
                     uint8_t *dst, size_t cap)
{
    Impl &s = *d;
    if (s.w != w || s.h != h) {
        s.g = geometry(w, h);
        s.base = drawBase(s.g);
        s.w = w;
        s.h = h;
        s.valid = false;
    }
    if (!s.valid || s.fourcc != fourcc || !(s.params == p)) {
        s.processed = s.base.clone();
        process(s.processed, s.g, p, true);
        s.params = p;
        s.fourcc = fourcc;
        if (fourcc == V4L2_PIX_FMT_MJPEG) {
            std::vector<uint8_t> full;
            cv::imencode(".jpg", s.processed, full, jpegParams(w));
            s.spliceable = splitJpeg(full, s.jpeg) && s.jpeg.interval == s.jpeg.mcusPerRow &&
                           s.g.bandY % s.jpeg.mcuRows == 0 && s.g.bandH % s.jpeg.mcuRows == 0;
        } else {
            s.yuyv.resize(size_t(w) * h * 2);
            toYuyv(s.processed, s.yuyv.data(), size_t(w) * 2);
        }
        s.valid = true;
    }
    cv::Mat band = s.processed.rowRange(s.g.bandY, s.g.bandY + s.g.bandH).clone();
    drawBand(band, s.g, seq, tsNs);

    if (fourcc == V4L2_PIX_FMT_YUYV) {
        const size_t n = size_t(w) * h * 2;
        if (cap < n)
            return 0;
        memcpy(dst, s.yuyv.data(), n);
        toYuyv(band, dst + size_t(s.g.bandY) * w * 2, size_t(w) * 2);
        return n;
    }

    std::vector<uint8_t> &out = s.scratch;
    if (!s.spliceable) { // fall back to encoding the whole frame
        cv::Mat frame = s.processed.clone();
        band.copyTo(frame.rowRange(s.g.bandY, s.g.bandY + s.g.bandH));
        cv::imencode(".jpg", frame, out, jpegParams(w));
    } else {
        std::vector<uint8_t> enc;
        cv::imencode(".jpg", band, enc, jpegParams(w));
        SplitJpeg bj;
        if (!splitJpeg(enc, bj))
            return 0;
        const size_t first = size_t(s.g.bandY / s.jpeg.mcuRows);
        out.assign(s.jpeg.header.begin(), s.jpeg.header.end());
        const size_t nseg = s.jpeg.segments.size();
        for (size_t i = 0; i < nseg; ++i) {
            const auto &seg = (i >= first && i - first < bj.segments.size()) ? bj.segments[i - first]
                                                                               : s.jpeg.segments[i];
            out.insert(out.end(), seg.begin(), seg.end());
            out.push_back(0xFF);
            out.push_back(i + 1 < nseg ? uint8_t(0xD0 + i % 8) : 0xD9);
        }
    }
    // One fill byte before the end marker, as some cameras send: a frame that
    // reaches the program a few bytes short (see `shortread`) then loses no
    // image data.
    if (out.size() >= 2)
        out.insert(out.end() - 1, 0xFF);
    if (out.size() > cap)
        return 0;
    memcpy(dst, out.data(), out.size());
    return out.size();
}

} // namespace vcam
