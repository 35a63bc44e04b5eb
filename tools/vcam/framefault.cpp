// Frames spoiled on the way, as a USB link with lost packets or a firmware
// under development delivers them (VEXLO_VCAM_FRAME_FAULT, FIFO `frame ...`),
// and the formats the camera offers (VEXLO_VCAM_FORMATS).
#include "vcam_internal.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace vcam {

namespace {

struct ModeName {
    FrameFault::Mode mode;
    const char *name;
};
const ModeName kModes[] = {
    {FrameFault::None, "none"},       {FrameFault::Trunc, "trunc"}, {FrameFault::Random, "random"},
    {FrameFault::Zero, "zero"},       {FrameFault::ZeroErr, "zeroerr"}, {FrameFault::Soi, "soi"},
    {FrameFault::BigDim, "bigdim"},   {FrameFault::OtherSize, "othersize"}, {FrameFault::Stall, "stall"},
    {FrameFault::ShortRead, "shortread"},
};

std::atomic<int> g_mode{FrameFault::None};
std::atomic<int> g_every{1};

// The start-of-frame segment of a JPEG: the offset of its height field, or 0.
size_t sofDimensions(const uint8_t *p, size_t n)
{
    for (size_t i = 2; i + 9 < n;) {
        if (p[i] != 0xFF) {
            ++i;
            continue;
        }
        const uint8_t m = p[i + 1];
        if (m >= 0xC0 && m <= 0xC2)
            return i + 5;
        if (m == 0xFF || m == 0xD8 || m == 0x01 || (m >= 0xD0 && m <= 0xD7)) {
            ++i;
            continue;
        }
        i += 2 + (size_t(p[i + 2]) << 8 | p[i + 3]);
    }
    return 0;
}

void putDimensions(uint8_t *p, size_t n, int w, int h)
{
    const size_t at = sofDimensions(p, n);
    if (!at)
        return;
    p[at] = uint8_t(h >> 8);
    p[at + 1] = uint8_t(h);
    p[at + 2] = uint8_t(w >> 8);
    p[at + 3] = uint8_t(w);
}

// Grows a JPEG of `n` bytes to `target` bytes with a comment segment after
// its start marker (the picture is unchanged); false if it does not fit.
bool growJpeg(uint8_t *p, uint32_t &n, uint32_t target, uint32_t cap)
{
    const uint32_t grow = target - n;
    if (target < n + 4 || target > cap || grow - 2 > 0xFFFF)
        return false;
    memmove(p + 2 + grow, p + 2, n - 2);
    p[2] = 0xFF;
    p[3] = 0xFE;
    p[4] = uint8_t((grow - 2) >> 8);
    p[5] = uint8_t(grow - 2);
    memset(p + 6, 0, grow - 4);
    n = target;
    return true;
}

// shortread: the size the pair's second frame is grown to, per camera (under
// the library's lock, as every DQBUF).
std::map<const Camera *, uint32_t> g_pairSize;

} // namespace

bool parseFrameFault(const char *spec, FrameFault &out)
{
    if (!spec)
        return false;
    while (*spec == ' ')
        ++spec;
    const char *colon = strchr(spec, ':');
    const size_t len = colon ? size_t(colon - spec) : strcspn(spec, " \n");
    long every = 1;
    if (colon) {
        char *end = nullptr;
        every = strtol(colon + 1, &end, 10);
        if (end == colon + 1 || every < 1)
            return false;
    }
    for (const ModeName &m : kModes) {
        if (strlen(m.name) == len && !strncmp(m.name, spec, len)) {
            out.mode = m.mode;
            out.every = int(every);
            return true;
        }
    }
    return false;
}

bool setFrameFault(const char *spec)
{
    FrameFault f;
    if (!parseFrameFault(spec, f))
        return false;
    g_every = f.every;
    g_mode = f.mode;
    traceLine("frame fault %s every %d", spec, f.every);
    return true;
}

FrameFault frameFault()
{
    return FrameFault{FrameFault::Mode(g_mode.load()), g_every.load()};
}

bool frameStalls(uint32_t sequence)
{
    const FrameFault f = frameFault();
    return f.mode == FrameFault::Stall && sequence % uint32_t(f.every) == 0;
}

bool spoilFrame(const Camera &c, long count, uint8_t *data, uint32_t &bytesused, uint32_t &flags)
{
    const FrameFault f = frameFault();
    const bool jpeg = c.fourcc == V4L2_PIX_FMT_MJPEG;
    if (f.mode == FrameFault::ShortRead && jpeg) {
        // A pair: the first frame 2 or 3 bytes short of a multiple of 4, the
        // second that multiple of 4. OpenCV 4.6 hands the second over with
        // the first one's length, so without its last 2 or 3 bytes.
        const long every = std::max(f.every, 2);
        if (count % every == every - 1) {
            const uint32_t pair = (bytesused + 4 + 1024 + 3) / 4 * 4;
            g_pairSize[&c] = pair;
            growJpeg(data, bytesused, pair - 2 - uint32_t(count / every % 2), c.sizeimage());
            return false;
        }
        const auto it = g_pairSize.find(&c);
        if (count % every != 0 || it == g_pairSize.end())
            return false;
        const uint32_t pair = it->second;
        g_pairSize.erase(it);
        return growJpeg(data, bytesused, pair, c.sizeimage());
    }
    if (f.mode == FrameFault::None || f.mode == FrameFault::Stall || count % f.every != 0)
        return false;
    switch (f.mode) {
    case FrameFault::Trunc:
        bytesused = bytesused / 2 + 1;
        break;
    case FrameFault::Random: {
        uint32_t x = uint32_t(count) * 2654435761u + 1;
        for (uint32_t i = 0; i < bytesused; ++i) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            data[i] = uint8_t(x);
        }
        break;
    }
    case FrameFault::ZeroErr:
        flags |= V4L2_BUF_FLAG_ERROR;
        bytesused = 0;
        break;
    case FrameFault::Zero:
        bytesused = 0;
        break;
    case FrameFault::Soi:
        data[0] = 0xFF;
        data[1] = 0xD8;
        bytesused = 2;
        break;
    case FrameFault::BigDim:
        if (!jpeg)
            return false;
        putDimensions(data, bytesused, 30000, 30000);
        break;
    case FrameFault::OtherSize:
        if (!jpeg)
            return false;
        putDimensions(data, bytesused, c.width / 2, c.height / 2);
        break;
    default:
        return false;
    }
    return true;
}

namespace {
std::vector<Format> offeredFormats(const std::string &which)
{
    const Format yuyv{V4L2_PIX_FMT_YUYV, "YUYV 4:2:2", 0, {{640, 480, 30}, {1280, 720, 10}, {1920, 1080, 5}}};
    const Format mjpg{V4L2_PIX_FMT_MJPEG, "Motion-JPEG", V4L2_FMT_FLAG_COMPRESSED,
                      {{640, 480, 30}, {1280, 720, 30}, {1920, 1080, 30}}};
    if (which == "yuyv")
        return {yuyv};
    if (which == "yuyv640")
        return {{yuyv.fourcc, yuyv.desc, yuyv.flags, {{640, 480, 30}}}};
    if (which == "mjpg640")
        return {{mjpg.fourcc, mjpg.desc, mjpg.flags, {{640, 480, 30}}}};
    return {yuyv, mjpg};
}
} // namespace

// Read again when VEXLO_VCAM_FORMATS changes, so that a test process can
// change it between opens; every variant stays alive.
const std::vector<Format> &formats()
{
    static std::mutex lock;
    static std::map<std::string, std::vector<Format>> offered;
    const char *which = getenv("VEXLO_VCAM_FORMATS");
    const std::string key = which ? which : "";
    std::lock_guard<std::mutex> l(lock);
    auto it = offered.find(key);
    if (it == offered.end())
        it = offered.emplace(key, offeredFormats(key)).first;
    return it->second;
}

} // namespace vcam
