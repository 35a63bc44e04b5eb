// Internal interfaces of the virtual camera library.
#pragma once

#include "vcam_control.h"

#include <linux/uvcvideo.h>
#include <linux/videodev2.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vcam {

int64_t nowNs(); // CLOCK_MONOTONIC

// ---------------------------------------------------------------------------
// Trace file (one line per operation, monotonic seconds first).
void traceLine(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
bool traceAll(); // also QBUF/DQBUF/mmap/select/poll

// ---------------------------------------------------------------------------
// UVC controls of the camera, and how uvcvideo maps them to V4L2.
enum UvcId {
    U_BRIGHTNESS, U_CONTRAST, U_HUE, U_SATURATION, U_SHARPNESS, U_GAMMA,
    U_WB_TEMPERATURE, U_WB_COMPONENT, U_BACKLIGHT, U_GAIN,
    U_AE_MODE, U_EXPOSURE_ABS, U_FOCUS_ABS, U_IRIS_ABS, U_ZOOM_ABS,
    U_PANTILT_ABS, U_ROLL_ABS, U_COUNT
};

struct UvcInfo {
    const char *name;
    int fields;               // 1, or 2 for PANTILT (pan, tilt) and WB_COMPONENT (blue, red)
    bool staticAutoUpdate;    // flagged AUTO_UPDATE in uvcvideo's own table
    bool debugReadback;       // answers with a debug value outside a transaction
    int reg[2];               // register per field, -1 if none
    int32_t min[2], max[2], res[2], def[2];
};
const UvcInfo &uvcInfo(int id);

struct Mapping {
    uint32_t cid;
    const char *name;
    int uvc;
    int field;
    uint32_t type;   // V4L2_CTRL_TYPE_INTEGER or _MENU
    bool isSigned;
};
const std::vector<Mapping> &mappings();
const Mapping *findMapping(uint32_t cid);

// Menu entries of exposure auto: V4L2 index -> UVC bitmap value.
extern const int32_t kAeMenuValue[4];
extern const char *const kAeMenuName[4];
constexpr int32_t kAeSupported = 0x1 | 0x8; // manual, aperture priority

// ---------------------------------------------------------------------------
// The camera's firmware as seen at the UVC request level, with the
// protocol checker.
struct Firmware {
    int camera = 0;
    std::array<int32_t, VCAM_REG_COUNT> regs{};
    std::array<std::array<int32_t, 2>, U_COUNT> cur{}; // plain control values
    bool open = false;
    int64_t openedAtNs = 0;
    int stores = 0;
    std::array<int, VCAM_V_COUNT> violations{};
    int driverReadsInTransaction = 0;
    bool autoUpdate = true;
    std::string storePath;
    std::string statePath;

    void powerOn();          // registers from the store file or defaults
    void resetCounters();
    void setCur(int uvc, const int32_t v[2]);
    void applyCur(int uvc, const int32_t v[2]);
    // why: 0 program read, 1 uvcvideo read-modify-write, 2 uvcvideo master lookup
    void getCur(int uvc, int32_t out[2], int why);
    bool reportsAutoUpdate(int uvc) const; // GET_INFO bit 3
    // errno of uvcvideo when the camera stalls a SET_CUR (0: accepted).
    // Counts the violation.
    int refusesSet(int uvc);
    void save() const;
    void writeState() const; // snapshot for other processes, if a state file is set
    void computeDebug(int uvc, int32_t out[2]) const;
};

// uvcvideo's control layer over the firmware (value rules and GET_CUR cache).
struct UvcDriver {
    Firmware *fw = nullptr;
    std::array<bool, U_COUNT> loaded{};
    std::array<std::array<int32_t, 2>, U_COUNT> data{};

    void reset() { loaded.fill(false); }
    // Control mappings added at run time (UVCIOC_CTRL_MAP); kept until unplug.
    struct AddedMapping {
        Mapping m;
        std::string name;
    };
    std::deque<AddedMapping> added;
    // 1: the driver maps controls of any entity, as uvcvideo did before
    // 2.6.37; 0: of extension units only, as uvcvideo does since.
    bool mapAnyEntity = false;
    const Mapping *find(uint32_t cid) const; // built-in first, then added
    int mapControl(uvc_xu_control_mapping &x); // returns 0 or errno
    void forgetMappings() { added.clear(); }
    bool autoUpdate(int uvc) const;
    int query(v4l2_queryctrl &q);                 // returns 0 or errno
    int queryExt(v4l2_query_ext_ctrl &q);
    int queryMenu(v4l2_querymenu &m);
    int get(uint32_t cid, int32_t &value);
    int set(uint32_t cid, int32_t &value);        // value is updated to what was applied
    void endOfRequest();                          // commit/rollback: unload auto-update controls
    void load(int uvc, int why);
};

// ---------------------------------------------------------------------------
// Picture.
struct SceneParams {
    std::array<int32_t, VCAM_REG_COUNT> regs{};
    bool operator==(const SceneParams &o) const { return regs == o.regs; }
};

class Scene {
public:
    Scene();
    ~Scene();
    // Renders one frame into dst; returns bytesused (0 on failure).
    size_t render(uint32_t fourcc, int w, int h, const SceneParams &p, uint32_t seq, int64_t tsNs,
                  uint8_t *dst, size_t cap);
    // Mean luma (0..255) of the picture for the given registers.
    static double meanLuma(const SceneParams &p);
private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// ---------------------------------------------------------------------------
// Devices.
struct FrameSize { int w, h, maxFps; };
struct Format { uint32_t fourcc; const char *desc; uint32_t flags; std::vector<FrameSize> sizes; };
const std::vector<Format> &formats();
std::vector<int> framerates(int maxFps); // descending

struct Buffer {
    enum State { Dequeued, Queued, Done } state = Dequeued;
    uint32_t offset = 0, length = 0, bytesused = 0, sequence = 0;
    int64_t tsNs = 0;
};

struct Camera;

struct Handle {
    int fd = -1;          // the timerfd the process sees
    Camera *cam = nullptr;
    bool meta = false;
    bool nonblock = false;
    unsigned generation = 0;
    uint32_t priority = V4L2_PRIORITY_DEFAULT; // of this file handle
    std::vector<uint32_t> subscribed;          // control events
    std::deque<v4l2_event> events;
    uint32_t eventSequence = 0;
};

struct Camera {
    int index = 0;
    int node = 0;
    bool plugged = true;
    unsigned generation = 0;
    Firmware fw;
    UvcDriver uvc;
    Scene scene;

    uint32_t fourcc = V4L2_PIX_FMT_YUYV;
    int width = 640, height = 480, fps = 30;

    // streaming
    Handle *owner = nullptr;
    std::vector<Buffer> bufs;
    int memfd = -1;
    uint8_t *mem = nullptr;
    size_t memSize = 0;
    bool streaming = false;
    std::deque<int> queued, done;
    int64_t nextDueNs = 0;
    uint32_t sequence = 0;
    long delivered = 0;
    long faultsInjected = 0;
    long long renderNs = 0;

    uint32_t sizeimage() const;
    void powerOnFormat(); // the first size of the first offered format
    void freeBuffers();
    void stopStreaming();
    void advance(int64_t now);
    void arm(Handle *h);
};

struct Registry {
    std::mutex lock;
    std::vector<std::unique_ptr<Camera>> cameras;
    std::vector<Handle *> handles; // all open handles
};
Registry &registry();

// Frame faults (framefault.cpp): MODE[:EVERY], MODE one of none, trunc,
// random, zero, zeroerr, soi, bigdim, othersize, stall.
struct FrameFault {
    enum Mode { None, Trunc, Random, Zero, ZeroErr, Soi, BigDim, OtherSize, Stall, ShortRead } mode = None;
    int every = 1;
};
bool parseFrameFault(const char *spec, FrameFault &out);
bool setFrameFault(const char *spec); // false: not understood, nothing changed
FrameFault frameFault();
// Whether the frame of this sequence number is withheld (stall).
bool frameStalls(uint32_t sequence);
// Spoils the count-th delivered frame in place when the fault hits it.
bool spoilFrame(const Camera &c, long count, uint8_t *data, uint32_t &bytesused, uint32_t &flags);

// Control events (SUBSCRIBE_EVENT, DQEVENT, UNSUBSCRIBE_EVENT); returns 0,
// an errno value, or -1 for any other request.
int eventIoctl(Handle *h, unsigned long req, void *arg);

// V4L2 ioctl emulation; returns 0 or an errno value.
int deviceIoctl(Handle *h, unsigned long req, void *arg);
// Readiness: refresh the timerfd of a handle before the process waits on it.
void refreshReadiness(Handle *h);
void unplug(Camera *c);
void replug(Camera *c);
// Queues a plug event of both nodes for the process's udev monitors.
void announcePlug(const Camera &c, bool added);

const char *ioctlName(unsigned long req);

} // namespace vcam
