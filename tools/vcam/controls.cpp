// The camera's controls: the UVC control set, uvcvideo's view of it and the
// tuning firmware behind it, with the protocol checker.
#include "vcam_internal.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <time.h>

namespace vcam {

int64_t nowNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// --- UVC control set --------------------------------------------------------

namespace {
constexpr int N = -1;
// name, fields, uvcvideo AUTO_UPDATE, debug read-back, registers, min, max, res, def
const UvcInfo kUvc[U_COUNT] = {
    {"PU_BRIGHTNESS", 1, false, true, {VCAM_REG_BRIGHTNESS, N}, {-64, 0}, {64, 0}, {1, 0}, {0, 0}},
    {"PU_CONTRAST", 1, false, true, {VCAM_REG_CONTRAST, N}, {0, 0}, {100, 0}, {1, 0}, {5, 0}},
    {"PU_HUE", 1, true, false, {VCAM_REG_HUE, N}, {-18000, 0}, {18000, 0}, {100, 0}, {0, 0}},
    {"PU_SATURATION", 1, false, true, {VCAM_REG_SATURATION, N}, {0, 0}, {100, 0}, {1, 0}, {5, 0}},
    {"PU_SHARPNESS", 1, false, true, {VCAM_REG_SHARPNESS, N}, {0, 0}, {100, 0}, {1, 0}, {12, 0}},
    {"PU_GAMMA", 1, false, false, {VCAM_REG_GAMMA, N}, {0, 0}, {500, 0}, {1, 0}, {0, 0}},
    {"PU_WHITE_BALANCE_TEMPERATURE", 1, true, true, {VCAM_REG_WB_TEMPERATURE, N}, {0, 0}, {10000, 0}, {1, 0}, {0, 0}},
    {"PU_WHITE_BALANCE_COMPONENT", 2, true, false, {N, N}, {0, 0}, {8191, 8191}, {1, 1}, {4096, 4096}},
    {"PU_BACKLIGHT_COMPENSATION", 1, false, false, {VCAM_REG_BACKLIGHT, N}, {0, 0}, {3, 0}, {1, 0}, {0, 0}},
    {"PU_GAIN", 1, false, true, {VCAM_REG_GAIN, N}, {0, 0}, {100, 0}, {1, 0}, {0, 0}},
    {"CT_AE_MODE", 1, false, false, {N, N}, {0, 0}, {0, 0}, {kAeSupported, 0}, {8, 0}},
    {"CT_EXPOSURE_TIME_ABSOLUTE", 1, true, false, {N, N}, {1, 0}, {10000, 0}, {1, 0}, {333, 0}},
    {"CT_FOCUS_ABSOLUTE", 1, true, false, {N, N}, {0, 0}, {255, 0}, {1, 0}, {0, 0}},
    {"CT_IRIS_ABSOLUTE", 1, true, false, {N, N}, {0, 0}, {4000, 0}, {1, 0}, {240, 0}},
    {"CT_ZOOM_ABSOLUTE", 1, true, false, {VCAM_REG_ZOOM, N}, {0, 0}, {2000, 0}, {100, 0}, {700, 0}},
    {"CT_PANTILT_ABSOLUTE", 2, true, true, {VCAM_REG_PAN, VCAM_REG_TILT}, {-255, -255}, {255, 255}, {1, 1}, {-128, -128}},
    {"CT_ROLL_ABSOLUTE", 1, true, false, {VCAM_REG_ROLL, N}, {-255, 0}, {255, 0}, {1, 0}, {-128, 0}},
};

const char *const kRegNames[VCAM_REG_COUNT] = {
    "gain", "brightness", "backlight", "wb_temperature", "hue", "saturation", "contrast",
    "sharpness", "roll", "pan", "tilt", "zoom", "gamma"};
const char *const kViolationNames[VCAM_V_COUNT] = {
    "write_while_closed", "read_while_open", "too_early", "no_register", "exposure_in_auto"};
} // namespace

const UvcInfo &uvcInfo(int id) { return kUvc[id]; }

const int32_t kAeMenuValue[4] = {2, 1, 4, 8};
const char *const kAeMenuName[4] = {"Auto Mode", "Manual Mode", "Shutter Priority Mode",
                                    "Aperture Priority Mode"};

const std::vector<Mapping> &mappings()
{
    // Sorted by id: the order in which uvcvideo enumerates them.
    static const std::vector<Mapping> m = {
        {V4L2_CID_BRIGHTNESS, "Brightness", U_BRIGHTNESS, 0, V4L2_CTRL_TYPE_INTEGER, true},
        {V4L2_CID_CONTRAST, "Contrast", U_CONTRAST, 0, V4L2_CTRL_TYPE_INTEGER, false},
        {V4L2_CID_SATURATION, "Saturation", U_SATURATION, 0, V4L2_CTRL_TYPE_INTEGER, false},
        {V4L2_CID_HUE, "Hue", U_HUE, 0, V4L2_CTRL_TYPE_INTEGER, true},
        {V4L2_CID_RED_BALANCE, "Red Balance", U_WB_COMPONENT, 1, V4L2_CTRL_TYPE_INTEGER, true},
        {V4L2_CID_BLUE_BALANCE, "Blue Balance", U_WB_COMPONENT, 0, V4L2_CTRL_TYPE_INTEGER, true},
        {V4L2_CID_GAMMA, "Gamma", U_GAMMA, 0, V4L2_CTRL_TYPE_INTEGER, false},
        {V4L2_CID_GAIN, "Gain", U_GAIN, 0, V4L2_CTRL_TYPE_INTEGER, false},
        {V4L2_CID_WHITE_BALANCE_TEMPERATURE, "White Balance Temperature", U_WB_TEMPERATURE, 0,
         V4L2_CTRL_TYPE_INTEGER, false},
        {V4L2_CID_SHARPNESS, "Sharpness", U_SHARPNESS, 0, V4L2_CTRL_TYPE_INTEGER, false},
        {V4L2_CID_BACKLIGHT_COMPENSATION, "Backlight Compensation", U_BACKLIGHT, 0,
         V4L2_CTRL_TYPE_INTEGER, false},
        {V4L2_CID_EXPOSURE_AUTO, "Auto Exposure", U_AE_MODE, 0, V4L2_CTRL_TYPE_MENU, false},
        {V4L2_CID_EXPOSURE_ABSOLUTE, "Exposure Time, Absolute", U_EXPOSURE_ABS, 0,
         V4L2_CTRL_TYPE_INTEGER, false},
        {V4L2_CID_PAN_ABSOLUTE, "Pan, Absolute", U_PANTILT_ABS, 0, V4L2_CTRL_TYPE_INTEGER, true},
        {V4L2_CID_TILT_ABSOLUTE, "Tilt, Absolute", U_PANTILT_ABS, 1, V4L2_CTRL_TYPE_INTEGER, true},
        {V4L2_CID_FOCUS_ABSOLUTE, "Focus, Absolute", U_FOCUS_ABS, 0, V4L2_CTRL_TYPE_INTEGER, false},
        {V4L2_CID_ZOOM_ABSOLUTE, "Zoom, Absolute", U_ZOOM_ABS, 0, V4L2_CTRL_TYPE_INTEGER, false},
        {V4L2_CID_IRIS_ABSOLUTE, "Iris, Absolute", U_IRIS_ABS, 0, V4L2_CTRL_TYPE_INTEGER, false},
    };
    return m;
}

const Mapping *findMapping(uint32_t cid)
{
    for (const Mapping &m : mappings())
        if (m.cid == cid)
            return &m;
    return nullptr;
}

// --- trace ----------------------------------------------------------------

namespace {
FILE *traceFile()
{
    static FILE *f = [] {
        const char *p = getenv("VEXLO_VCAM_TRACE");
        return (p && *p) ? fopen(p, "a") : nullptr;
    }();
    return f;
}
} // namespace

bool traceAll()
{
    static const bool all = [] {
        const char *p = getenv("VEXLO_VCAM_TRACE_ALL");
        return p && *p && strcmp(p, "0") != 0;
    }();
    return all;
}

void traceLine(const char *fmt, ...)
{
    FILE *f = traceFile();
    if (!f)
        return;
    const int64_t t = nowNs();
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    fprintf(f, "%lld.%06lld %s\n", (long long)(t / 1000000000LL), (long long)(t % 1000000000LL) / 1000,
            buf);
    fflush(f);
}

// --- firmware ---------------------------------------------------------------

namespace {
constexpr int kOpen = 89, kClose = 0, kStore = 249;
constexpr int64_t kSettleNs = 100 * 1000000LL;

int32_t regDefault(int reg)
{
    for (const UvcInfo &u : kUvc)
        for (int f = 0; f < u.fields; ++f)
            if (u.reg[f] == reg)
                return u.def[f];
    return 0;
}

// White-balance gain in the camera's 8-bit code: 3-bit exponent, 5-bit
// mantissa, offset 128; gain = (m/32 + 1) * 2^(e-3).
int32_t gainCode(double gain)
{
    gain = std::clamp(gain, 0.125, 15.9);
    int e = 3;
    while (gain >= 2.0 * std::pow(2.0, e - 3) && e < 7)
        ++e;
    while (gain < std::pow(2.0, e - 3) && e > 0)
        --e;
    int m = int(std::lround((gain / std::pow(2.0, e - 3) - 1.0) * 32.0));
    if (m > 31) {
        if (e < 7) {
            ++e;
            m = 0;
        } else {
            m = 31;
        }
    }
    return 128 + ((e << 5) | m);
}

const int kIsoTable[14] = {0, 100, 150, 200, 300, 400, 600, 800, 1200, 1600, 2400, 3200, 4800, 6400};
} // namespace

void Firmware::powerOn()
{
    for (int r = 0; r < VCAM_REG_COUNT; ++r)
        regs[r] = regDefault(r);
    for (int u = 0; u < U_COUNT; ++u)
        cur[u] = {kUvc[u].def[0], kUvc[u].def[1]};
    open = false;
    if (!storePath.empty()) {
        std::ifstream in(storePath);
        std::string key;
        long v;
        while (in >> key >> v)
            for (int r = 0; r < VCAM_REG_COUNT; ++r)
                if (key == kRegNames[r])
                    regs[r] = int32_t(v);
    }
}

void Firmware::resetCounters()
{
    violations.fill(0);
    driverReadsInTransaction = 0;
    stores = 0;
}

void Firmware::save() const
{
    if (storePath.empty())
        return;
    const std::string tmp = storePath + ".tmp";
    {
        std::ofstream out(tmp, std::ios::trunc);
        for (int r = 0; r < VCAM_REG_COUNT; ++r)
            out << kRegNames[r] << ' ' << regs[r] << '\n';
    }
    std::rename(tmp.c_str(), storePath.c_str());
}

void Firmware::writeState() const
{
    if (statePath.empty())
        return;
    const std::string tmp = statePath + ".tmp";
    {
        std::ofstream out(tmp, std::ios::trunc);
        out << "selector " << (open ? "open" : "closed") << '\n';
        int total = 0;
        for (int v : violations)
            total += v;
        out << "violations " << total << '\n';
        for (int k = 0; k < VCAM_V_COUNT; ++k)
            out << "violation " << kViolationNames[k] << ' ' << violations[size_t(k)] << '\n';
        out << "driver_reads_in_transaction " << driverReadsInTransaction << '\n';
        out << "stores " << stores << '\n';
        for (int r = 0; r < VCAM_REG_COUNT; ++r)
            out << "register " << kRegNames[r] << ' ' << regs[size_t(r)] << '\n';
    }
    std::rename(tmp.c_str(), statePath.c_str());
}

bool Firmware::reportsAutoUpdate(int uvc) const
{
    return autoUpdate && kUvc[uvc].debugReadback;
}

void Firmware::computeDebug(int uvc, int32_t out[2]) const
{
    const int32_t ev = regs[VCAM_REG_BRIGHTNESS];
    const int32_t wb = regs[VCAM_REG_WB_TEMPERATURE];
    const double temp = wb == 0 ? 5000.0 : std::clamp(double(wb), 1000.0, 12000.0);
    switch (uvc) {
    case U_BRIGHTNESS: { // lux index from the picture's mean level
        SceneParams p;
        p.regs = regs;
        out[0] = int32_t(std::lround(Scene::meanLuma(p) * 4.0));
        break;
    }
    case U_WB_TEMPERATURE:
        out[0] = int32_t(std::lround(temp / 100.0));
        break;
    case U_PANTILT_ABS: // R and B white-balance gains
        out[0] = gainCode(1.8 * std::pow(temp / 5000.0, 0.7));
        out[1] = gainCode(1.6 * std::pow(5000.0 / temp, 0.7));
        break;
    case U_SATURATION: // luma target
        out[0] = std::clamp(56 + 6 * ev + ((regs[VCAM_REG_GAMMA] & 0x40) ? 16 : 0), 0, 255);
        break;
    case U_GAIN: { // ISO / 100
        const int32_t iso = regs[VCAM_REG_GAIN];
        out[0] = (iso > 0 && iso < 14) ? kIsoTable[iso] / 100 : 2;
        break;
    }
    case U_CONTRAST: { // aperture F-number x 10
        const int32_t iris = cur[U_IRIS_ABS][0];
        out[0] = iris > 0 ? iris / 10 : 20;
        break;
    }
    case U_SHARPNESS: // exposure time in 100 us units
        out[0] = cur[U_AE_MODE][0] == 1
                     ? cur[U_EXPOSURE_ABS][0]
                     : int32_t(std::lround(333.0 * std::pow(2.0, ev / 3.0)));
        break;
    default:
        out[0] = cur[uvc][0];
        out[1] = cur[uvc][1];
    }
}

void Firmware::getCur(int uvc, int32_t out[2], int why)
{
    const UvcInfo &u = kUvc[uvc];
    out[0] = cur[uvc][0];
    out[1] = cur[uvc][1];
    if (open) {
        for (int f = 0; f < u.fields; ++f)
            if (u.reg[f] >= 0)
                out[f] = regs[u.reg[f]];
        if (why == 0) {
            ++violations[VCAM_V_READ_WHILE_OPEN];
            traceLine("cam%d VIOLATION read_while_open %s", camera, u.name);
        } else {
            ++driverReadsInTransaction;
            traceLine("cam%d note: uvcvideo GET_CUR %s during a transaction (%s)", camera, u.name,
                      why == 1 ? "read-modify-write" : "master lookup");
        }
    } else if (u.debugReadback) {
        computeDebug(uvc, out);
    } else {
        for (int f = 0; f < u.fields; ++f)
            if (u.reg[f] >= 0)
                out[f] = regs[u.reg[f]];
    }
    if (u.fields > 1)
        traceLine("cam%d uvc GET_CUR %s -> %d,%d", camera, u.name, out[0], out[1]);
    else
        traceLine("cam%d uvc GET_CUR %s -> %d", camera, u.name, out[0]);
    if (open)
        writeState();
}

void Firmware::setCur(int uvc, const int32_t v[2])
{
    applyCur(uvc, v);
    writeState();
}

void Firmware::applyCur(int uvc, const int32_t v[2])
{
    const UvcInfo &u = kUvc[uvc];
    const int64_t t = nowNs();
    if (u.fields > 1)
        traceLine("cam%d uvc SET_CUR %s %d,%d", camera, u.name, v[0], v[1]);
    else
        traceLine("cam%d uvc SET_CUR %s %d", camera, u.name, v[0]);
    cur[uvc] = {v[0], v[1]};
    if (uvc == U_FOCUS_ABS) {
        if (v[0] == kOpen) {
            open = true;
            openedAtNs = t;
            traceLine("cam%d selector open", camera);
        } else if (v[0] == kClose) {
            if (open)
                traceLine("cam%d selector closed", camera);
            open = false;
        } else if (v[0] == kStore) {
            ++stores;
            save();
            traceLine("cam%d registers stored", camera);
        }
        return;
    }
    const bool hasRegister = u.reg[0] >= 0;
    if (!open) {
        if (hasRegister) {
            ++violations[VCAM_V_WRITE_WHILE_CLOSED];
            traceLine("cam%d VIOLATION write_while_closed %s", camera, u.name);
        }
        return;
    }
    if (!hasRegister) {
        ++violations[VCAM_V_NO_REGISTER];
        traceLine("cam%d VIOLATION no_register %s", camera, u.name);
        return;
    }
    if (uvc != U_SATURATION && t - openedAtNs < kSettleNs) {
        ++violations[VCAM_V_TOO_EARLY];
        traceLine("cam%d VIOLATION too_early %s %.1f ms after open", camera, u.name,
                  double(t - openedAtNs) / 1e6);
    }
    for (int f = 0; f < u.fields; ++f) {
        regs[u.reg[f]] = v[f];
        traceLine("cam%d register %s = %d", camera, kRegNames[u.reg[f]], v[f]);
    }
}

// --- uvcvideo ----------------------------------------------------------------

bool UvcDriver::autoUpdate(int uvc) const
{
    return kUvc[uvc].staticAutoUpdate || fw->reportsAutoUpdate(uvc);
}

void UvcDriver::load(int uvc, int why)
{
    if (loaded[uvc])
        return;
    int32_t v[2];
    fw->getCur(uvc, v, why);
    data[uvc] = {v[0], v[1]};
    loaded[uvc] = true;
}

void UvcDriver::endOfRequest()
{
    for (int u = 0; u < U_COUNT; ++u)
        if (autoUpdate(u))
            loaded[u] = false;
}

namespace {
bool classHasControls(uint32_t cls)
{
    for (const Mapping &m : mappings())
        if (V4L2_CTRL_ID2CLASS(m.cid) == cls)
            return true;
    return false;
}
const char *className(uint32_t cls)
{
    return cls == V4L2_CTRL_CLASS_USER ? "User Controls" : "Camera Controls";
}
} // namespace

int UvcDriver::queryExt(v4l2_query_ext_ctrl &q)
{
    uint32_t id = q.id;
    const bool next = id & (V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND);
    // The camera has no compound controls: asking for the next compound one
    // alone finds none.
    if ((id & V4L2_CTRL_FLAG_NEXT_COMPOUND) && !(id & V4L2_CTRL_FLAG_NEXT_CTRL))
        return EINVAL;
    id &= ~(V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND);
    // Candidates: control classes and mapped controls, in id order.
    std::vector<uint32_t> ids;
    for (uint32_t cls : {uint32_t(V4L2_CTRL_CLASS_USER), uint32_t(V4L2_CTRL_CLASS_CAMERA)})
        if (classHasControls(cls))
            ids.push_back(cls | 1);
    for (const Mapping &m : mappings())
        ids.push_back(m.cid);
    for (const AddedMapping &a : added)
        ids.push_back(a.m.cid);
    std::sort(ids.begin(), ids.end());
    uint32_t found = 0;
    for (uint32_t c : ids) {
        if (next ? c > id : c == id) {
            found = c;
            break;
        }
    }
    if (!found)
        return EINVAL;
    const uint32_t keepFlags = 0;
    memset(&q, 0, sizeof q);
    q.id = found;
    q.flags = keepFlags;
    q.elem_size = 4;
    q.elems = 1;
    q.nr_of_dims = 0;
    if ((found & 0xffff) == 1) {
        q.type = V4L2_CTRL_TYPE_CTRL_CLASS;
        q.flags = V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_WRITE_ONLY;
        q.elem_size = 0;
        snprintf(q.name, sizeof q.name, "%s", className(V4L2_CTRL_ID2CLASS(found)));
        return 0;
    }
    const Mapping *m = find(found);
    const UvcInfo &u = kUvc[m->uvc];
    snprintf(q.name, sizeof q.name, "%s", m->name);
    q.type = m->type;
    if (m->type == V4L2_CTRL_TYPE_MENU) {
        q.minimum = 0;
        q.maximum = 3;
        q.step = 1;
        for (int i = 0; i < 4; ++i)
            if (kAeMenuValue[i] == u.def[0])
                q.default_value = i;
    } else {
        q.minimum = u.min[m->field];
        q.maximum = u.max[m->field];
        q.step = u.res[m->field];
        q.default_value = u.def[m->field];
    }
    if (m->uvc == U_EXPOSURE_ABS) {
        // uvcvideo looks up the master (auto exposure) to flag the control inactive.
        load(U_AE_MODE, 2);
        if (data[U_AE_MODE][0] != kAeMenuValue[V4L2_EXPOSURE_MANUAL])
            q.flags |= V4L2_CTRL_FLAG_INACTIVE;
    }
    return 0;
}

int UvcDriver::query(v4l2_queryctrl &q)
{
    v4l2_query_ext_ctrl e{};
    e.id = q.id;
    const int r = queryExt(e);
    if (r)
        return r;
    memset(&q, 0, sizeof q);
    q.id = e.id;
    q.type = e.type;
    snprintf(reinterpret_cast<char *>(q.name), sizeof q.name, "%s", e.name);
    q.minimum = int32_t(e.minimum);
    q.maximum = int32_t(e.maximum);
    q.step = int32_t(e.step);
    q.default_value = int32_t(e.default_value);
    q.flags = e.flags;
    return 0;
}

int UvcDriver::queryMenu(v4l2_querymenu &m)
{
    if (m.id != V4L2_CID_EXPOSURE_AUTO)
        return EINVAL;
    if (m.index > 3)
        return EINVAL;
    if (!(kAeMenuValue[m.index] & kAeSupported))
        return EINVAL;
    const uint32_t idx = m.index;
    memset(&m, 0, sizeof m);
    m.id = V4L2_CID_EXPOSURE_AUTO;
    m.index = idx;
    snprintf(reinterpret_cast<char *>(m.name), sizeof m.name, "%s", kAeMenuName[idx]);
    return 0;
}

int UvcDriver::get(uint32_t cid, int32_t &value)
{
    if ((cid & 0xffff) == 1 && classHasControls(V4L2_CTRL_ID2CLASS(cid)))
        return EACCES;
    const Mapping *m = find(cid);
    if (!m)
        return EINVAL;
    load(m->uvc, 0);
    value = data[m->uvc][m->field];
    if (m->type == V4L2_CTRL_TYPE_MENU) {
        for (int i = 0; i < 4; ++i)
            if (kAeMenuValue[i] == value)
                value = i;
    }
    return 0;
}

int UvcDriver::set(uint32_t cid, int32_t &value)
{
    if ((cid & 0xffff) == 1 && classHasControls(V4L2_CTRL_ID2CLASS(cid)))
        return EACCES;
    const Mapping *m = find(cid);
    if (!m)
        return EINVAL;
    const UvcInfo &u = kUvc[m->uvc];
    int32_t raw;
    if (m->type == V4L2_CTRL_TYPE_MENU) {
        if (value < 0 || value > 3)
            return ERANGE;
        raw = kAeMenuValue[value];
        if (!(raw & u.res[0]))
            return EINVAL;
    } else {
        // uvcvideo: round to the step from the minimum, in 32-bit unsigned
        // arithmetic, then clamp as signed or unsigned.
        const int32_t min = u.min[m->field], max = u.max[m->field];
        uint32_t step = uint32_t(u.res[m->field]);
        if (step == 0)
            step = 1;
        const uint32_t off = uint32_t(value) - uint32_t(min);
        const uint32_t rounded = (off + step / 2) / step * step;
        int32_t v = int32_t(uint32_t(min) + rounded);
        if (m->isSigned)
            v = std::clamp(v, min, max);
        else
            v = int32_t(std::clamp(uint32_t(v), uint32_t(min), uint32_t(max)));
        value = v;
        raw = v;
    }
    if (u.fields > 1)
        load(m->uvc, 1); // read-modify-write of a multi-field control
    if (const int stalled = fw->refusesSet(m->uvc))
        return stalled; // uvcvideo rolls its cache back
    data[m->uvc][m->field] = raw;
    int32_t out[2] = {data[m->uvc][0], data[m->uvc][1]};
    fw->setCur(m->uvc, out);
    return 0;
}

} // namespace vcam

// --- names for the C API --------------------------------------------------------

extern "C" const char *vcam_register_name(int reg)
{
    return (reg >= 0 && reg < VCAM_REG_COUNT) ? vcam::kRegNames[reg] : "";
}

extern "C" const char *vcam_violation_name(int kind)
{
    return (kind >= 0 && kind < VCAM_V_COUNT) ? vcam::kViolationNames[kind] : "";
}
