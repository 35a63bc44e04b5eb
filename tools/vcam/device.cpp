// V4L2 side of the virtual camera: capability, formats, frame rates,
// mmap streaming paced by the clock, and controls through uvcvideo's model.
#include "vcam_internal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/mman.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

namespace vcam {

std::vector<int> framerates(int maxFps)
{
    std::vector<int> r;
    for (int f : {30, 25, 20, 15, 10, 5})
        if (f <= maxFps)
            r.push_back(f);
    return r;
}

namespace {

const Format *findFormat(uint32_t fourcc)
{
    for (const Format &f : formats())
        if (f.fourcc == fourcc)
            return &f;
    return nullptr;
}

const FrameSize *findSize(const Format &f, int w, int h)
{
    for (const FrameSize &s : f.sizes)
        if (s.w == w && s.h == h)
            return &s;
    return nullptr;
}

// uvcvideo: nearest frame size by area difference.
const FrameSize &nearestSize(const Format &f, int rw, int rh)
{
    const FrameSize *best = &f.sizes[0];
    unsigned long bestD = ~0UL;
    for (const FrameSize &s : f.sizes) {
        const unsigned long w = unsigned(s.w), h = unsigned(s.h);
        const unsigned long m = std::min(w, (unsigned long)rw) * std::min(h, (unsigned long)rh);
        const unsigned long dd = w * h + (unsigned long)rw * rh - 2 * m;
        if (dd < bestD) {
            bestD = dd;
            best = &s;
        }
    }
    return *best;
}

// uvcvideo: nearest frame interval (in 100 ns units) among the discrete ones.
int nearestFps(int maxFps, uint32_t num, uint32_t den)
{
    const uint64_t want = den ? uint64_t(num) * 10000000ULL / den : ~0ULL;
    int best = maxFps;
    uint64_t bestD = ~0ULL;
    for (int f : framerates(maxFps)) {
        const uint64_t iv = 10000000ULL / unsigned(f);
        const uint64_t dd = iv > want ? iv - want : want - iv;
        if (dd < bestD) {
            bestD = dd;
            best = f;
        }
    }
    return best;
}

void fillPix(const Camera &c, v4l2_pix_format &p)
{
    memset(&p, 0, sizeof p);
    p.width = uint32_t(c.width);
    p.height = uint32_t(c.height);
    p.pixelformat = c.fourcc;
    p.field = V4L2_FIELD_NONE;
    p.bytesperline = c.fourcc == V4L2_PIX_FMT_YUYV ? uint32_t(c.width * 2) : 0;
    p.sizeimage = c.sizeimage();
    p.colorspace = V4L2_COLORSPACE_SRGB;
    p.ycbcr_enc = V4L2_YCBCR_ENC_601;
    p.quantization = V4L2_QUANTIZATION_LIM_RANGE;
    p.xfer_func = V4L2_XFER_FUNC_SRGB;
}

void tsToTimeval(int64_t ns, timeval &tv)
{
    tv.tv_sec = time_t(ns / 1000000000LL);
    tv.tv_usec = suseconds_t(ns % 1000000000LL / 1000);
}

void fillBuf(const Camera &c, int i, v4l2_buffer &b)
{
    const Buffer &bf = c.bufs[size_t(i)];
    const uint32_t type = b.type;
    memset(&b, 0, sizeof b);
    b.type = type;
    b.index = uint32_t(i);
    b.memory = V4L2_MEMORY_MMAP;
    b.m.offset = bf.offset;
    b.length = bf.length;
    b.bytesused = bf.state == Buffer::Dequeued || bf.state == Buffer::Done ? bf.bytesused : 0;
    b.field = V4L2_FIELD_NONE;
    b.sequence = bf.sequence;
    b.flags = V4L2_BUF_FLAG_MAPPED | V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC | V4L2_BUF_FLAG_TSTAMP_SRC_SOE;
    if (bf.state == Buffer::Queued)
        b.flags |= V4L2_BUF_FLAG_QUEUED;
    if (bf.state == Buffer::Done)
        b.flags |= V4L2_BUF_FLAG_DONE;
    tsToTimeval(bf.tsNs, b.timestamp);
}

int querycap(const Handle *h, v4l2_capability &cap)
{
    memset(&cap, 0, sizeof cap);
    snprintf(reinterpret_cast<char *>(cap.driver), sizeof cap.driver, "uvcvideo");
    snprintf(reinterpret_cast<char *>(cap.card), sizeof cap.card, "Virtual Tuning Camera");
    snprintf(reinterpret_cast<char *>(cap.bus_info), sizeof cap.bus_info, "usb-0000:00:14.0-%d",
             h->cam->index + 1);
    cap.version = (6u << 16) | (1u << 8);
    // As uvcvideo: capabilities is the union over the device's nodes.
    cap.capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING |
                       V4L2_CAP_EXT_PIX_FORMAT | V4L2_CAP_DEVICE_CAPS;
    cap.device_caps = (h->meta ? V4L2_CAP_META_CAPTURE : V4L2_CAP_VIDEO_CAPTURE) | V4L2_CAP_STREAMING |
                      V4L2_CAP_EXT_PIX_FORMAT;
    return 0;
}

int metaIoctl(Handle *h, unsigned long req, void *arg)
{
    switch (req) {
    case VIDIOC_QUERYCAP:
        return querycap(h, *static_cast<v4l2_capability *>(arg));
    case VIDIOC_ENUM_FMT: {
        auto *f = static_cast<v4l2_fmtdesc *>(arg);
        if (f->type != V4L2_BUF_TYPE_META_CAPTURE || f->index != 0)
            return EINVAL;
        const uint32_t type = f->type;
        memset(f, 0, sizeof *f);
        f->type = type;
        f->pixelformat = V4L2_META_FMT_UVC;
        snprintf(reinterpret_cast<char *>(f->description), sizeof f->description, "UVC Payload Header Metadata");
        return 0;
    }
    case VIDIOC_G_FMT:
    case VIDIOC_S_FMT:
    case VIDIOC_TRY_FMT: {
        auto *f = static_cast<v4l2_format *>(arg);
        if (f->type != V4L2_BUF_TYPE_META_CAPTURE)
            return EINVAL;
        memset(&f->fmt, 0, sizeof f->fmt);
        f->fmt.meta.dataformat = V4L2_META_FMT_UVC;
        f->fmt.meta.buffersize = 10240;
        return 0;
    }
    case VIDIOC_REQBUFS:
    case VIDIOC_STREAMON:
        return EINVAL;
    default:
        return ENOTTY;
    }
}

int64_t intervalNs(const Camera &c) { return 1000000000LL / c.fps; }

} // namespace

uint32_t Camera::sizeimage() const { return uint32_t(width * height * 2); }

void Camera::freeBuffers()
{
    if (mem)
        munmap(mem, memSize);
    if (memfd >= 0)
        close(memfd);
    mem = nullptr;
    memfd = -1;
    memSize = 0;
    bufs.clear();
    queued.clear();
    done.clear();
    owner = nullptr;
}

void Camera::stopStreaming()
{
    streaming = false;
    queued.clear();
    done.clear();
    for (Buffer &b : bufs)
        b.state = Buffer::Dequeued;
}

void Camera::advance(int64_t now)
{
    if (!streaming || !plugged)
        return;
    const int64_t iv = intervalNs(*this);
    // Far behind (the reader stalled): frames in between were dropped.
    if (now - nextDueNs > iv * int64_t(bufs.size() + 1)) {
        const int64_t skip = (now - nextDueNs) / iv - int64_t(bufs.size());
        nextDueNs += skip * iv;
        sequence += uint32_t(skip);
    }
    while (now >= nextDueNs) {
        if (frameStalls(sequence)) {
            ++faultsInjected; // the frame never comes
        } else if (!queued.empty()) {
            const int i = queued.front();
            queued.pop_front();
            Buffer &b = bufs[size_t(i)];
            b.state = Buffer::Done;
            b.sequence = sequence;
            b.tsNs = nextDueNs;
            b.bytesused = 0; // rendered when dequeued
            done.push_back(i);
        }
        ++sequence;
        nextDueNs += iv;
    }
}

void Camera::arm(Handle *h)
{
    itimerspec its{};
    const bool dead = !plugged || h->generation != generation;
    if (dead || (owner == h && !done.empty())) {
        its.it_value.tv_nsec = 1; // ready now
    } else if (owner == h && streaming && !queued.empty()) {
        its.it_value.tv_sec = time_t(nextDueNs / 1000000000LL);
        its.it_value.tv_nsec = long(nextDueNs % 1000000000LL);
        if (its.it_value.tv_sec == 0 && its.it_value.tv_nsec == 0)
            its.it_value.tv_nsec = 1;
    }
    // Re-arming also clears expirations that were not read.
    timerfd_settime(h->fd, (its.it_value.tv_sec || its.it_value.tv_nsec > 1) ? TFD_TIMER_ABSTIME : 0, &its,
                    nullptr);
}

void refreshReadiness(Handle *h)
{
    Camera *c = h->cam;
    if (!h->meta)
        c->advance(nowNs());
    c->arm(h);
}

void unplug(Camera *c)
{
    if (!c->plugged)
        return;
    traceLine("cam%d unplugged", c->index);
    c->plugged = false;
    ++c->generation;
    c->stopStreaming();
    c->freeBuffers();
    c->uvc.forgetMappings(); // the driver's device is gone with them
    for (Handle *h : registry().handles)
        if (h->cam == c)
            c->arm(h);
}

void replug(Camera *c)
{
    if (c->plugged)
        return;
    traceLine("cam%d plugged in", c->index);
    c->plugged = true;
    c->fw.powerOn();
    c->fw.writeState();
    c->uvc.reset();
    c->powerOnFormat();
}

void Camera::powerOnFormat()
{
    const Format &f = formats()[0];
    fourcc = f.fourcc;
    width = f.sizes[0].w;
    height = f.sizes[0].h;
    fps = f.sizes[0].maxFps;
}

namespace {

// What the V4L2 core (check_ext_ctrls) and uvcvideo (uvc_ctrl_check_access)
// refuse before any control is read or written: requests (uvcvideo has
// none), controls of another class than `which`, unknown controls and
// control classes. A refusal found here reports error_idx = count, except for
// TRY, which reports the control's index.
int extControlsRefused(const UvcDriver &u, unsigned long req, v4l2_ext_controls &e)
{
    e.reserved[0] = 0;
    for (uint32_t i = 0; i < e.count; ++i)
        e.controls[i].reserved2[0] = 0;
    const auto refuse = [&](uint32_t i, int error) {
        e.error_idx = req == VIDIOC_TRY_EXT_CTRLS ? i : e.count;
        return error;
    };
    if (e.which == V4L2_CTRL_WHICH_REQUEST_VAL) {
        e.error_idx = e.count;
        return EINVAL;
    }
    if (e.which != V4L2_CTRL_WHICH_CUR_VAL && e.which != V4L2_CTRL_WHICH_DEF_VAL) {
        for (uint32_t i = 0; i < e.count; ++i)
            if (V4L2_CTRL_ID2WHICH(e.controls[i].id) != e.which)
                return refuse(i, EINVAL);
    }
    for (uint32_t i = 0; i < e.count; ++i) {
        const uint32_t id = e.controls[i].id;
        if ((id & 0xffff) == 1 && (V4L2_CTRL_ID2CLASS(id) == V4L2_CTRL_CLASS_USER ||
                                   V4L2_CTRL_ID2CLASS(id) == V4L2_CTRL_CLASS_CAMERA))
            return refuse(i, EACCES);
        if (!u.find(id))
            return refuse(i, EINVAL);
    }
    return 0;
}

int controlIoctl(Camera *c, unsigned long req, void *arg)
{
    UvcDriver &u = c->uvc;
    switch (req) {
    case VIDIOC_QUERYCTRL: {
        auto *q = static_cast<v4l2_queryctrl *>(arg);
        const uint32_t id = q->id;
        const int r = u.query(*q);
        traceLine("cam%d QUERYCTRL 0x%08x -> %s", c->index, id, r ? strerror(r) : "ok");
        return r;
    }
    case VIDIOC_QUERY_EXT_CTRL: {
        auto *q = static_cast<v4l2_query_ext_ctrl *>(arg);
        const uint32_t id = q->id;
        const int r = u.queryExt(*q);
        traceLine("cam%d QUERY_EXT_CTRL 0x%08x -> %s", c->index, id, r ? strerror(r) : "ok");
        return r;
    }
    case VIDIOC_QUERYMENU:
        return u.queryMenu(*static_cast<v4l2_querymenu *>(arg));
    case VIDIOC_G_CTRL: {
        auto *ctl = static_cast<v4l2_control *>(arg);
        const Mapping *m = u.find(ctl->id);
        int32_t v = 0;
        const int r = u.get(ctl->id, v);
        u.endOfRequest();
        if (!r)
            ctl->value = v;
        traceLine("cam%d G_CTRL %s -> %d %s", c->index, m ? m->name : "?", r ? 0 : v,
                  r ? strerror(r) : "ok");
        return r;
    }
    case VIDIOC_S_CTRL: {
        auto *ctl = static_cast<v4l2_control *>(arg);
        const Mapping *m = u.find(ctl->id);
        int32_t v = ctl->value;
        traceLine("cam%d S_CTRL %s (0x%08x) %d", c->index, m ? m->name : "?", ctl->id, v);
        const int r = u.set(ctl->id, v);
        u.endOfRequest();
        if (!r)
            ctl->value = v;
        traceLine("cam%d S_CTRL %s -> %d %s", c->index, m ? m->name : "?", v, r ? strerror(r) : "ok");
        return r;
    }
    case VIDIOC_G_EXT_CTRLS:
    case VIDIOC_S_EXT_CTRLS:
    case VIDIOC_TRY_EXT_CTRLS: {
        auto *e = static_cast<v4l2_ext_controls *>(arg);
        if (const int r = extControlsRefused(u, req, *e))
            return r;
        if (e->which == V4L2_CTRL_WHICH_DEF_VAL && req == VIDIOC_G_EXT_CTRLS) {
            for (uint32_t i = 0; i < e->count; ++i) {
                v4l2_queryctrl q{};
                q.id = e->controls[i].id;
                if (int r = u.query(q)) {
                    e->error_idx = i;
                    return r;
                }
                e->controls[i].value = q.default_value;
            }
            return 0;
        }
        for (uint32_t i = 0; i < e->count; ++i) {
            v4l2_ext_control &x = e->controls[i];
            int r;
            if (req == VIDIOC_G_EXT_CTRLS) {
                int32_t v = 0;
                r = u.get(x.id, v);
                if (!r)
                    x.value = v;
            } else if (req == VIDIOC_TRY_EXT_CTRLS) {
                r = u.find(x.id) ? 0 : EINVAL;
            } else {
                int32_t v = x.value;
                r = u.set(x.id, v);
                if (!r)
                    x.value = v;
            }
            traceLine("cam%d %s 0x%08x -> %d %s", c->index, ioctlName(req), x.id, x.value,
                      r ? strerror(r) : "ok");
            if (r) {
                e->error_idx = i;
                u.endOfRequest();
                return r;
            }
        }
        u.endOfRequest();
        return 0;
    }
    case UVCIOC_CTRL_MAP: {
        auto *x = static_cast<uvc_xu_control_mapping *>(arg);
        const int r = u.mapControl(*x);
        traceLine("cam%d CTRL_MAP 0x%08x selector %u -> %s", c->index, x->id, x->selector,
                  r ? strerror(r) : "ok");
        return r;
    }
    default:
        return -1;
    }
}

} // namespace

namespace {

// The V4L2 core copies an ioctl's argument in before any driver sees it, so a
// bad pointer is EFAULT whatever the request (after the check for a device
// that is gone). Only the null page can be told bad without touching memory.
bool badArgument(unsigned long req, const void *arg)
{
    return _IOC_DIR(req) != _IOC_NONE && _IOC_SIZE(req) > 0 && reinterpret_cast<uintptr_t>(arg) < 4096;
}

// The V4L2 core's access priorities (v4l2_prio_*): the node's priority is
// the highest of its open file handles, and a handle below it may not change
// the device's state nor its own priority (EBUSY).
uint32_t highestPriority(const Handle *h)
{
    uint32_t p = V4L2_PRIORITY_UNSET;
    for (const Handle *o : registry().handles)
        if (o->cam == h->cam && o->meta == h->meta && o->generation == h->generation)
            p = std::max(p, o->priority);
    return p;
}

int setPriority(Handle *h, uint32_t p)
{
    if (p > V4L2_PRIORITY_RECORD)
        return EINVAL;
    if (p == V4L2_PRIORITY_UNSET)
        p = V4L2_PRIORITY_DEFAULT;
    h->priority = p;
    return 0;
}

bool changesState(unsigned long req)
{
    switch (req) {
    case VIDIOC_S_FMT: case VIDIOC_S_PARM: case VIDIOC_S_INPUT: case VIDIOC_S_CTRL:
    case VIDIOC_S_EXT_CTRLS: case VIDIOC_REQBUFS: case VIDIOC_CREATE_BUFS: case VIDIOC_STREAMON:
    case VIDIOC_STREAMOFF: case VIDIOC_S_PRIORITY:
        return true;
    default:
        return false;
    }
}

} // namespace

int deviceIoctl(Handle *h, unsigned long req, void *arg)
{
    Camera *c = h->cam;
    if (!c->plugged || h->generation != c->generation)
        return ENODEV;
    if (badArgument(req, arg))
        return EFAULT;
    if (changesState(req) && h->priority < highestPriority(h))
        return EBUSY;
    if (h->meta)
        return metaIoctl(h, req, arg);
    const int er = eventIoctl(h, req, arg);
    if (er >= 0)
        return er;
    const int cr = controlIoctl(c, req, arg);
    if (cr >= 0)
        return cr;
    const bool quiet = req == VIDIOC_QBUF || req == VIDIOC_DQBUF;
    if (!quiet || traceAll())
        traceLine("cam%d %s", c->index, ioctlName(req));

    switch (req) {
    case VIDIOC_QUERYCAP:
        return querycap(h, *static_cast<v4l2_capability *>(arg));
    case VIDIOC_ENUM_FMT: {
        auto *f = static_cast<v4l2_fmtdesc *>(arg);
        if (f->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || f->index >= formats().size())
            return EINVAL;
        const Format &fm = formats()[f->index];
        const uint32_t index = f->index, type = f->type;
        memset(f, 0, sizeof *f);
        f->index = index;
        f->type = type;
        f->flags = fm.flags;
        f->pixelformat = fm.fourcc;
        snprintf(reinterpret_cast<char *>(f->description), sizeof f->description, "%s", fm.desc);
        return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
        auto *f = static_cast<v4l2_frmsizeenum *>(arg);
        const Format *fm = findFormat(f->pixel_format);
        if (!fm || f->index >= fm->sizes.size())
            return EINVAL;
        memset(f->reserved, 0, sizeof f->reserved);
        f->type = V4L2_FRMSIZE_TYPE_DISCRETE;
        f->discrete.width = uint32_t(fm->sizes[f->index].w);
        f->discrete.height = uint32_t(fm->sizes[f->index].h);
        return 0;
    }
    case VIDIOC_ENUM_FRAMEINTERVALS: {
        auto *f = static_cast<v4l2_frmivalenum *>(arg);
        const Format *fm = findFormat(f->pixel_format);
        const FrameSize *s = fm ? findSize(*fm, int(f->width), int(f->height)) : nullptr;
        if (!s)
            return EINVAL;
        const std::vector<int> rates = framerates(s->maxFps);
        if (f->index >= rates.size())
            return EINVAL;
        memset(f->reserved, 0, sizeof f->reserved);
        f->type = V4L2_FRMIVAL_TYPE_DISCRETE;
        f->discrete.numerator = 1;
        f->discrete.denominator = uint32_t(rates[f->index]);
        return 0;
    }
    case VIDIOC_G_FMT: {
        auto *f = static_cast<v4l2_format *>(arg);
        if (f->type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
            return EINVAL;
        fillPix(*c, f->fmt.pix);
        return 0;
    }
    case VIDIOC_S_FMT:
    case VIDIOC_TRY_FMT: {
        auto *f = static_cast<v4l2_format *>(arg);
        if (f->type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
            return EINVAL;
        const Format *fm = findFormat(f->fmt.pix.pixelformat);
        if (!fm)
            fm = &formats()[0]; // uvcvideo falls back to the default format
        const FrameSize &s = nearestSize(*fm, int(f->fmt.pix.width), int(f->fmt.pix.height));
        Camera probe;
        probe.fourcc = fm->fourcc;
        probe.width = s.w;
        probe.height = s.h;
        if (req == VIDIOC_S_FMT) {
            if (c->streaming || (c->owner && c->owner != h) || !c->bufs.empty())
                return EBUSY;
            c->fourcc = fm->fourcc;
            c->width = s.w;
            c->height = s.h;
            c->fps = s.maxFps; // the frame's default interval
            traceLine("cam%d S_FMT %.4s %dx%d @%d", c->index, reinterpret_cast<const char *>(&c->fourcc),
                      c->width, c->height, c->fps);
        }
        fillPix(probe, f->fmt.pix);
        return 0;
    }
    case VIDIOC_G_PARM:
    case VIDIOC_S_PARM: {
        auto *p = static_cast<v4l2_streamparm *>(arg);
        if (p->type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
            return EINVAL;
        if (req == VIDIOC_S_PARM) {
            if (c->streaming)
                return EBUSY;
            const FrameSize *s = findSize(*findFormat(c->fourcc), c->width, c->height);
            c->fps = nearestFps(s->maxFps, p->parm.capture.timeperframe.numerator,
                                p->parm.capture.timeperframe.denominator);
            traceLine("cam%d S_PARM %u/%u -> 1/%d", c->index, p->parm.capture.timeperframe.numerator,
                      p->parm.capture.timeperframe.denominator, c->fps);
        }
        memset(&p->parm, 0, sizeof p->parm);
        p->parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
        p->parm.capture.timeperframe.numerator = 1;
        p->parm.capture.timeperframe.denominator = uint32_t(c->fps);
        p->parm.capture.readbuffers = 0;
        return 0;
    }
    case VIDIOC_ENUMINPUT: {
        auto *in = static_cast<v4l2_input *>(arg);
        if (in->index != 0)
            return EINVAL;
        memset(in, 0, sizeof *in);
        snprintf(reinterpret_cast<char *>(in->name), sizeof in->name, "Camera 1");
        in->type = V4L2_INPUT_TYPE_CAMERA;
        return 0;
    }
    case VIDIOC_G_INPUT:
        *static_cast<int *>(arg) = 0;
        return 0;
    case VIDIOC_S_INPUT:
        return *static_cast<int *>(arg) == 0 ? 0 : EINVAL;
    case VIDIOC_G_PRIORITY:
        *static_cast<uint32_t *>(arg) = highestPriority(h);
        return 0;
    case VIDIOC_S_PRIORITY:
        return setPriority(h, *static_cast<uint32_t *>(arg));
    case VIDIOC_REQBUFS: {
        auto *r = static_cast<v4l2_requestbuffers *>(arg);
        if (r->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || r->memory != V4L2_MEMORY_MMAP)
            return EINVAL;
        if (c->owner && c->owner != h)
            return EBUSY;
        if (c->streaming)
            return EBUSY;
        c->freeBuffers();
        traceLine("cam%d REQBUFS %u", c->index, r->count);
        // As videobuf2: buffers may be freed while still mapped.
        r->capabilities = V4L2_BUF_CAP_SUPPORTS_MMAP | V4L2_BUF_CAP_SUPPORTS_ORPHANED_BUFS;
        r->flags = 0; // no cache hints
        memset(r->reserved, 0, sizeof r->reserved);
        if (r->count == 0)
            return 0;
        const uint32_t count = std::min(r->count, 32u);
        const size_t page = size_t(sysconf(_SC_PAGESIZE));
        const size_t len = (c->sizeimage() + page - 1) / page * page;
        c->memfd = memfd_create("vexlo-vcam", MFD_CLOEXEC);
        if (c->memfd < 0 || ftruncate(c->memfd, off_t(len * count)) != 0) {
            c->freeBuffers();
            return ENOMEM;
        }
        c->memSize = len * count;
        void *m = mmap(nullptr, c->memSize, PROT_READ | PROT_WRITE, MAP_SHARED, c->memfd, 0);
        if (m == MAP_FAILED) {
            c->mem = nullptr;
            c->freeBuffers();
            return ENOMEM;
        }
        c->mem = static_cast<uint8_t *>(m);
        c->bufs.resize(count);
        for (uint32_t i = 0; i < count; ++i) {
            c->bufs[i].offset = uint32_t(i * len);
            c->bufs[i].length = c->sizeimage();
        }
        c->owner = h;
        r->count = count;
        return 0;
    }
    case VIDIOC_QUERYBUF: {
        auto *b = static_cast<v4l2_buffer *>(arg);
        if (c->owner != h || b->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || b->index >= c->bufs.size())
            return EINVAL;
        fillBuf(*c, int(b->index), *b);
        return 0;
    }
    case VIDIOC_QBUF: {
        auto *b = static_cast<v4l2_buffer *>(arg);
        if (c->owner != h || b->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || b->memory != V4L2_MEMORY_MMAP ||
            b->index >= c->bufs.size())
            return EINVAL;
        Buffer &bf = c->bufs[b->index];
        if (bf.state != Buffer::Dequeued)
            return EINVAL;
        bf.state = Buffer::Queued;
        c->queued.push_back(int(b->index));
        fillBuf(*c, int(b->index), *b);
        refreshReadiness(h);
        return 0;
    }
    case VIDIOC_DQBUF: {
        auto *b = static_cast<v4l2_buffer *>(arg);
        if (c->owner != h || b->type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
            return EINVAL;
        if (!c->streaming)
            return EINVAL;
        c->advance(nowNs());
        if (c->done.empty()) {
            c->arm(h);
            return EAGAIN;
        }
        const int i = c->done.front();
        c->done.pop_front();
        Buffer &bf = c->bufs[size_t(i)];
        timespec t0, t1;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t0);
        SceneParams p;
        p.regs = c->fw.regs;
        bf.bytesused = uint32_t(
            c->scene.render(c->fourcc, c->width, c->height, p, bf.sequence, bf.tsNs, c->mem + bf.offset, bf.length));
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t1);
        c->renderNs += (t1.tv_sec - t0.tv_sec) * 1000000000LL + (t1.tv_nsec - t0.tv_nsec);
        bf.state = Buffer::Dequeued;
        ++c->delivered;
        uint32_t flags = bf.bytesused == 0 ? V4L2_BUF_FLAG_ERROR : 0;
        if (spoilFrame(*c, c->delivered, c->mem + bf.offset, bf.bytesused, flags))
            ++c->faultsInjected;
        fillBuf(*c, i, *b);
        b->flags |= flags;
        c->arm(h);
        return 0;
    }
    case VIDIOC_STREAMON: {
        if (*static_cast<int *>(arg) != V4L2_BUF_TYPE_VIDEO_CAPTURE || c->owner != h || c->bufs.empty())
            return EINVAL;
        if (!c->streaming) {
            c->streaming = true;
            c->nextDueNs = nowNs() + intervalNs(*c);
            c->sequence = 0;
        }
        c->arm(h);
        return 0;
    }
    case VIDIOC_STREAMOFF: {
        if (*static_cast<int *>(arg) != V4L2_BUF_TYPE_VIDEO_CAPTURE)
            return EINVAL;
        if (c->owner && c->owner != h)
            return EBUSY;
        c->stopStreaming();
        c->arm(h);
        return 0;
    }
    default:
        return ENOTTY;
    }
}

const char *ioctlName(unsigned long req)
{
    switch (req) {
#define N(x) \
    case x:  \
        return #x + 7;
        N(VIDIOC_QUERYCAP) N(VIDIOC_ENUM_FMT) N(VIDIOC_G_FMT) N(VIDIOC_S_FMT) N(VIDIOC_TRY_FMT)
        N(VIDIOC_REQBUFS) N(VIDIOC_QUERYBUF) N(VIDIOC_QBUF) N(VIDIOC_DQBUF) N(VIDIOC_STREAMON)
        N(VIDIOC_STREAMOFF) N(VIDIOC_G_PARM) N(VIDIOC_S_PARM) N(VIDIOC_QUERYCTRL) N(VIDIOC_G_CTRL)
        N(VIDIOC_S_CTRL) N(VIDIOC_QUERYMENU) N(VIDIOC_QUERY_EXT_CTRL) N(VIDIOC_G_EXT_CTRLS)
        N(VIDIOC_S_EXT_CTRLS) N(VIDIOC_TRY_EXT_CTRLS) N(VIDIOC_ENUMINPUT) N(VIDIOC_G_INPUT)
        N(VIDIOC_S_INPUT) N(VIDIOC_ENUM_FRAMESIZES) N(VIDIOC_ENUM_FRAMEINTERVALS)
        N(VIDIOC_G_PRIORITY) N(VIDIOC_S_PRIORITY) N(VIDIOC_G_STD) N(VIDIOC_ENUMSTD)
        N(VIDIOC_G_SELECTION) N(VIDIOC_CROPCAP) N(VIDIOC_G_DV_TIMINGS) N(VIDIOC_SUBSCRIBE_EVENT)
        N(VIDIOC_G_TUNER) N(VIDIOC_G_AUDIO) N(VIDIOC_G_JPEGCOMP) N(VIDIOC_G_EDID) N(VIDIOC_ENUMAUDIO)
#undef N
    default:
        return "other";
    }
}

} // namespace vcam
