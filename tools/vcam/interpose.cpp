// Entry points of the virtual camera: the libc functions it interposes
// (open, close, ioctl, mmap, munmap, select, poll), its settings from the
// environment, the control channel and the C API of vcam_control.h.
//
// Every descriptor the process gets for one of our nodes is a real timerfd,
// so select and poll work on it unchanged: the timer is armed for the moment
// the next frame is due, fires at once when a frame is waiting or the camera
// was unplugged, and is disarmed otherwise.
#undef _FORTIFY_SOURCE
#include "vcam_internal.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/timerfd.h>
#include <thread>
#include <unistd.h>

namespace vcam {

Registry &registry()
{
    static Registry *r = new Registry; // never destroyed: used until the process ends
    return *r;
}

namespace {

template <typename F> F next(const char *name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

struct Real {
    int (*open)(const char *, int, ...) = next<int (*)(const char *, int, ...)>("open");
    int (*openat)(int, const char *, int, ...) = next<int (*)(int, const char *, int, ...)>("openat");
    int (*close)(int) = next<int (*)(int)>("close");
    int (*ioctl)(int, unsigned long, ...) = next<int (*)(int, unsigned long, ...)>("ioctl");
    void *(*mmap)(void *, size_t, int, int, int, off_t) =
        next<void *(*)(void *, size_t, int, int, int, off_t)>("mmap");
    int (*munmap)(void *, size_t) = next<int (*)(void *, size_t)>("munmap");
    int (*select)(int, fd_set *, fd_set *, fd_set *, timeval *) =
        next<int (*)(int, fd_set *, fd_set *, fd_set *, timeval *)>("select");
    int (*poll)(pollfd *, nfds_t, int) = next<int (*)(pollfd *, nfds_t, int)>("poll");
};

Real &real()
{
    static Real r;
    return r;
}

constexpr int kMaxFd = 4096;
std::atomic<Handle *> g_fds[kMaxFd];
std::atomic<int> g_ourCount{0};

Handle *handleOf(int fd)
{
    if (fd < 0 || fd >= kMaxFd || g_ourCount.load(std::memory_order_relaxed) == 0)
        return nullptr;
    return g_fds[fd].load(std::memory_order_acquire);
}

void controlChannel(std::string path);
bool setCtrlFault(const char *spec, bool all);

// Reads VEXLO_VCAM_* once and creates the cameras.
void setup()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Registry &r = registry();
        const char *nodes = getenv("VEXLO_VCAM_NODES");
        std::string spec = nodes ? nodes : "0";
        const char *store = getenv("VEXLO_VCAM_STORE");
        const char *tmp = getenv("TMPDIR");
        const char *au = getenv("VEXLO_VCAM_AUTO_UPDATE");
        size_t pos = 0;
        while (pos < spec.size()) {
            size_t end = spec.find(',', pos);
            if (end == std::string::npos)
                end = spec.size();
            const std::string item = spec.substr(pos, end - pos);
            pos = end + 1;
            if (item.empty())
                continue;
            char *e = nullptr;
            const long n = strtol(item.c_str(), &e, 10);
            if (*e || n < 0 || n > 62)
                continue;
            auto c = std::make_unique<Camera>();
            c->index = int(r.cameras.size());
            c->node = int(n);
            c->fw.camera = c->index;
            c->uvc.fw = &c->fw;
            if (store && *store)
                c->fw.storePath = c->index == 0 ? std::string(store) : std::string(store) + "." + std::to_string(c->index);
            else
                c->fw.storePath = std::string(tmp && *tmp ? tmp : "/tmp") + "/vexlo-vcam-video" +
                                  std::to_string(n) + ".store";
            const char *state = getenv("VEXLO_VCAM_STATE");
            if (state && *state)
                c->fw.statePath = c->index == 0 ? std::string(state) : std::string(state) + "." + std::to_string(c->index);
            c->fw.autoUpdate = !(au && strcmp(au, "0") == 0);
            c->powerOnFormat();
            c->fw.powerOn();
            c->fw.writeState();
            r.cameras.push_back(std::move(c));
        }
        const char *ctrlFault = getenv("VEXLO_VCAM_CTRL_FAULT");
        const char *ctrlAll = getenv("VEXLO_VCAM_CTRL_FAULT_ALL");
        if (ctrlFault && *ctrlFault && !setCtrlFault(ctrlFault, ctrlAll && strcmp(ctrlAll, "1") == 0))
            fprintf(stderr, "vcam: VEXLO_VCAM_CTRL_FAULT=%s not understood\n", ctrlFault);
        const char *fault = getenv("VEXLO_VCAM_FRAME_FAULT");
        if (fault && *fault && !setFrameFault(fault))
            fprintf(stderr, "vcam: VEXLO_VCAM_FRAME_FAULT=%s not understood\n", fault);
        const char *ctl = getenv("VEXLO_VCAM_CONTROL");
        if (ctl && *ctl)
            std::thread(controlChannel, std::string(ctl)).detach();
        traceLine("virtual camera loaded, %zu camera(s), nodes %s", r.cameras.size(), spec.c_str());
    });
}

// /dev/videoN -> (camera, meta?) ; nullptr if not ours.
Camera *matchPath(const char *path, bool &meta)
{
    if (!path || strncmp(path, "/dev/video", 10) != 0)
        return nullptr;
    const char *p = path + 10;
    if (!*p)
        return nullptr;
    int n = 0;
    for (; *p; ++p) {
        if (*p < '0' || *p > '9' || n > 1000)
            return nullptr;
        n = n * 10 + (*p - '0');
    }
    setup();
    for (auto &c : registry().cameras) {
        if (c->node == n) {
            meta = false;
            return c.get();
        }
        if (c->node + 1 == n) {
            meta = true;
            return c.get();
        }
    }
    return nullptr;
}

int openOurs(Camera *c, bool meta, const char *path, int flags)
{
    Registry &r = registry();
    std::lock_guard<std::mutex> lk(r.lock);
    if (!c->plugged) {
        traceLine("open %s -> ENOENT (unplugged)", path);
        errno = ENOENT;
        return -1;
    }
    const int fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | ((flags & O_CLOEXEC) ? TFD_CLOEXEC : 0));
    if (fd < 0)
        return -1;
    if (fd >= kMaxFd) {
        real().close(fd);
        errno = EMFILE;
        return -1;
    }
    auto *h = new Handle;
    h->fd = fd;
    h->cam = c;
    h->meta = meta;
    h->nonblock = flags & O_NONBLOCK;
    h->generation = c->generation;
    r.handles.push_back(h);
    g_fds[fd].store(h, std::memory_order_release);
    ++g_ourCount;
    traceLine("open %s flags 0x%x -> fd %d", path, unsigned(flags), fd);
    return fd;
}

// VEXLO_VCAM_NO_ACCESS: a node that refuses every open with EACCES, as a node
// does for a user outside the group that owns it.
bool noAccess(const char *path)
{
    static const std::string node = [] {
        const char *n = getenv("VEXLO_VCAM_NO_ACCESS");
        return n && *n ? "/dev/video" + std::string(n) : std::string();
    }();
    return !node.empty() && path && node == path;
}

int openCommon(const char *path, int flags, mode_t mode, int dirfd, bool at)
{
    if (noAccess(path)) {
        traceLine("open %s -> EACCES", path);
        errno = EACCES;
        return -1;
    }
    bool meta = false;
    if (Camera *c = (!at || dirfd == AT_FDCWD || (path && path[0] == '/')) ? matchPath(path, meta) : nullptr)
        return openOurs(c, meta, path, flags);
    return at ? real().openat(dirfd, path, flags, mode) : real().open(path, flags, mode);
}

void closeHandle(Handle *h)
{
    Registry &r = registry();
    std::lock_guard<std::mutex> lk(r.lock);
    Camera *c = h->cam;
    if (c->owner == h) {
        c->stopStreaming();
        c->freeBuffers();
    }
    for (size_t i = 0; i < r.handles.size(); ++i)
        if (r.handles[i] == h) {
            r.handles.erase(r.handles.begin() + long(i));
            break;
        }
    g_fds[h->fd].store(nullptr, std::memory_order_release);
    --g_ourCount;
    traceLine("close fd %d", h->fd);
    delete h;
}

int fakeStat(Camera *c, bool meta, struct stat *st)
{
    if (!c->plugged) {
        errno = ENOENT;
        return -1;
    }
    memset(st, 0, sizeof *st);
    st->st_mode = S_IFCHR | 0660;
    st->st_rdev = makedev(81, unsigned(c->node + (meta ? 1 : 0)));
    st->st_nlink = 1;
    st->st_blksize = 4096;
    return 0;
}

FILE *fakeSysfs(const char *path)
{
    unsigned major = 0, minor = 0;
    int used = 0;
    if (!path || strncmp(path, "/sys/dev/char/", 14) != 0 ||
        sscanf(path + 14, "%u:%u/uevent%n", &major, &minor, &used) != 2 || path[14 + used] || major != 81)
        return nullptr;
    char dev[32];
    snprintf(dev, sizeof dev, "/dev/video%u", minor);
    bool meta = false;
    Camera *c = matchPath(dev, meta);
    if (!c || !c->plugged)
        return nullptr;
    // A real descriptor: readers such as std::ifstream read through fileno().
    char text[128];
    const int n = snprintf(text, sizeof text, "MAJOR=81\nMINOR=%u\nDEVNAME=video%u\n", minor, minor);
    const int fd = memfd_create("vexlo-vcam-uevent", MFD_CLOEXEC);
    if (fd < 0)
        return nullptr;
    if (write(fd, text, size_t(n)) != n || lseek(fd, 0, SEEK_SET) != 0) {
        real().close(fd);
        return nullptr;
    }
    return fdopen(fd, "r");
}

// Blocking DQBUF on a descriptor opened without O_NONBLOCK.
int waitForFrame(Handle *h)
{
    pollfd p{h->fd, POLLIN, 0};
    return real().poll(&p, 1, -1);
}

Camera *camera(int i)
{
    setup();
    auto &cams = registry().cameras;
    return (i >= 0 && size_t(i) < cams.size()) ? cams[size_t(i)].get() : nullptr;
}

// Control faults (VEXLO_VCAM_CTRL_FAULT, FIFO "ctrl SPEC", vcam_set_ctrl_fault):
// S_CTRL, and with `all` G_CTRL and QUERYCTRL too, wait `delayMs` and then fail
// with `error` (0: carry on as usual), as a stalling or refusing camera makes
// uvcvideo do. Read without the registry lock, so frames keep flowing meanwhile.
// A change of the fault ends the waits under the old one: they go on under the
// new one without its delay (after "off", as usual).
struct CtrlFault {
    std::atomic<int> error{0};
    std::atomic<int> delayMs{0};
    std::atomic<bool> all{false};
    std::atomic<bool> active{false};
    std::mutex changeLock;
    std::condition_variable changed;
    unsigned changes = 0; // under changeLock
};
CtrlFault g_ctrlFault;

void ctrlFaultChanged()
{
    {
        std::lock_guard<std::mutex> lock(g_ctrlFault.changeLock);
        ++g_ctrlFault.changes;
    }
    g_ctrlFault.changed.notify_all();
}

const struct {
    const char *name;
    int error;
} kFaultErrors[] = {{"none", 0}, {"EIO", EIO}, {"EBUSY", EBUSY}, {"ETIMEDOUT", ETIMEDOUT}, {"EPIPE", EPIPE}};

// "ERRNO[:DELAY_MS]" or "off"; false (nothing changed) for anything else.
bool setCtrlFault(const char *spec, bool all)
{
    if (!spec || !strcmp(spec, "off") || !*spec) {
        g_ctrlFault.active = false;
        ctrlFaultChanged();
        return spec != nullptr;
    }
    const char *colon = strchr(spec, ':');
    const std::string name(spec, colon ? size_t(colon - spec) : strlen(spec));
    long delay = 0;
    if (colon) {
        char *end = nullptr;
        delay = strtol(colon + 1, &end, 10);
        if (end == colon + 1 || *end || delay < 0 || delay > 600000)
            return false;
    }
    for (const auto &e : kFaultErrors) {
        if (name == e.name) {
            g_ctrlFault.error = e.error;
            g_ctrlFault.delayMs = int(delay);
            g_ctrlFault.all = all;
            g_ctrlFault.active = e.error != 0 || delay > 0;
            ctrlFaultChanged();
            traceLine("control fault %s delay %ld ms%s", e.name, delay, all ? " (all control calls)" : "");
            return true;
        }
    }
    return false;
}

// The errno a control request fails with under the fault (0: go on), after its delay.
int ctrlFault(unsigned long req)
{
    if (!g_ctrlFault.active.load())
        return 0;
    const bool hit = req == VIDIOC_S_CTRL
                     || (g_ctrlFault.all.load() && (req == VIDIOC_G_CTRL || req == VIDIOC_QUERYCTRL));
    if (!hit)
        return 0;
    if (const int ms = g_ctrlFault.delayMs.load()) {
        std::unique_lock<std::mutex> lock(g_ctrlFault.changeLock);
        const unsigned seen = g_ctrlFault.changes;
        if (g_ctrlFault.changed.wait_for(lock, std::chrono::milliseconds(ms),
                                         [seen] { return g_ctrlFault.changes != seen; }))
            return g_ctrlFault.active.load() ? g_ctrlFault.error.load() : 0;
    }
    return g_ctrlFault.error.load();
}

// The FIFO's commands: the first word picks the row, the rest is its argument.
struct Command {
    const char *word;
    void (*run)(const char *arg);
};
int cameraArg(const char *arg) { return atoi(arg); }
const Command kCommands[] = {
    {"unplug", [](const char *a) { vcam_unplug(cameraArg(a)); }},
    {"replug", [](const char *a) { vcam_replug(cameraArg(a)); }},
    {"reset", [](const char *a) { vcam_reset(cameraArg(a)); }},
    {"auto-update", [](const char *a) { vcam_set_auto_update(cameraArg(a), strstr(a, "off") == nullptr); }},
    {"frame", [](const char *a) { vcam_set_frame_fault(a); }},
    {"ctrl", [](const char *a) {
         char spec[64] = {0}, all[16] = {0};
         sscanf(a, "%63s %15s", spec, all);
         if (!setCtrlFault(spec, !strcmp(all, "all")))
             traceLine("control: bad fault \"%s\"", a);
     }},
};

void runCommand(const std::string &cmd)
{
    const size_t start = cmd.find_first_not_of(' ');
    if (start == std::string::npos)
        return;
    const size_t end = cmd.find(' ', start);
    const std::string word = cmd.substr(start, end == std::string::npos ? std::string::npos : end - start);
    const std::string arg = end == std::string::npos ? std::string() : cmd.substr(end + 1);
    traceLine("control: %s", cmd.c_str());
    for (const Command &c : kCommands) {
        if (word == c.word) {
            c.run(arg.c_str());
            return;
        }
    }
}

void controlChannel(std::string path)
{
    mkfifo(path.c_str(), 0600);
    // Opened read-write so that it never reports end-of-file between writers.
    const int fd = real().open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return;
    std::string line;
    char buf[256];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            break;
        }
        line.append(buf, size_t(n));
        size_t nl;
        while ((nl = line.find('\n')) != std::string::npos) {
            const std::string cmd = line.substr(0, nl);
            line.erase(0, nl + 1);
            runCommand(cmd);
        }
    }
}

} // namespace
} // namespace vcam

using namespace vcam;

// --- interposed libc functions ------------------------------------------------------

extern "C" {

int open(const char *path, int flags, ...)
{
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list ap;
        va_start(ap, flags);
        mode = va_arg(ap, mode_t);
        va_end(ap);
    }
    return openCommon(path, flags, mode, AT_FDCWD, false);
}

int open64(const char *path, int flags, ...)
{
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list ap;
        va_start(ap, flags);
        mode = va_arg(ap, mode_t);
        va_end(ap);
    }
    return openCommon(path, flags, mode, AT_FDCWD, false);
}

int openat(int dirfd, const char *path, int flags, ...)
{
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list ap;
        va_start(ap, flags);
        mode = va_arg(ap, mode_t);
        va_end(ap);
    }
    return openCommon(path, flags, mode, dirfd, true);
}

int openat64(int dirfd, const char *path, int flags, ...)
{
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list ap;
        va_start(ap, flags);
        mode = va_arg(ap, mode_t);
        va_end(ap);
    }
    return openCommon(path, flags, mode, dirfd, true);
}

int __open_2(const char *path, int flags)
{
    return openCommon(path, flags, 0, AT_FDCWD, false);
}

int __open64_2(const char *path, int flags)
{
    return openCommon(path, flags, 0, AT_FDCWD, false);
}

// v4l2-ctl and friends stat the node before opening it.
int stat(const char *path, struct stat *st)
{
    bool meta = false;
    if (Camera *c = matchPath(path, meta))
        return fakeStat(c, meta, st);
    static auto fn = next<int (*)(const char *, struct stat *)>("stat");
    return fn(path, st);
}

int stat64(const char *path, struct stat64 *st)
{
    bool meta = false;
    if (Camera *c = matchPath(path, meta))
        return fakeStat(c, meta, reinterpret_cast<struct stat *>(st));
    static auto fn = next<int (*)(const char *, struct stat64 *)>("stat64");
    return fn(path, st);
}

int fstat(int fd, struct stat *st)
{
    if (Handle *h = handleOf(fd))
        return fakeStat(h->cam, h->meta, st);
    static auto fn = next<int (*)(int, struct stat *)>("fstat");
    return fn(fd, st);
}

int fstat64(int fd, struct stat64 *st)
{
    if (Handle *h = handleOf(fd))
        return fakeStat(h->cam, h->meta, reinterpret_cast<struct stat *>(st));
    static auto fn = next<int (*)(int, struct stat64 *)>("fstat64");
    return fn(fd, st);
}

// v4l-utils learns the node type from sysfs: /sys/dev/char/81:N/uevent.
FILE *fopen(const char *path, const char *mode)
{
    if (FILE *f = fakeSysfs(path))
        return f;
    static auto fn = next<FILE *(*)(const char *, const char *)>("fopen");
    return fn(path, mode);
}

FILE *fopen64(const char *path, const char *mode)
{
    if (FILE *f = fakeSysfs(path))
        return f;
    static auto fn = next<FILE *(*)(const char *, const char *)>("fopen64");
    return fn(path, mode);
}

int close(int fd)
{
    if (Handle *h = handleOf(fd))
        closeHandle(h);
    return real().close(fd);
}

int ioctl(int fd, unsigned long req, ...)
{
    va_list ap;
    va_start(ap, req);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    Handle *h = handleOf(fd);
    if (!h)
        return real().ioctl(fd, req, arg);
    if (!h->meta) {
        if (const int err = ctrlFault(req)) {
            traceLine("fd %d %s -> %s (control fault)", fd, ioctlName(req), strerror(err));
            errno = err;
            return -1;
        }
    }
    for (;;) {
        int r;
        {
            std::lock_guard<std::mutex> lk(registry().lock);
            r = deviceIoctl(h, req, arg);
        }
        if (r == EAGAIN && req == VIDIOC_DQBUF && !h->nonblock) {
            waitForFrame(h);
            continue;
        }
        if (r) {
            if (r != EAGAIN || traceAll())
                traceLine("fd %d %s -> %s", fd, ioctlName(req), strerror(r));
            errno = r;
            return -1;
        }
        return 0;
    }
}

void *mmap(void *addr, size_t len, int prot, int flags, int fd, off_t off)
{
    Handle *h = handleOf(fd);
    if (!h)
        return real().mmap(addr, len, prot, flags, fd, off);
    std::lock_guard<std::mutex> lk(registry().lock);
    Camera *c = h->cam;
    if (!c->plugged || h->generation != c->generation) {
        errno = ENODEV;
        return MAP_FAILED;
    }
    if (h->meta || c->owner != h || c->memfd < 0 || off < 0 || size_t(off) + len > c->memSize) {
        errno = EINVAL;
        return MAP_FAILED;
    }
    void *p = real().mmap(addr, len, prot, flags, c->memfd, off);
    if (traceAll())
        traceLine("mmap fd %d offset %lld length %zu -> %p", fd, (long long)off, len, p);
    return p;
}

void *mmap64(void *addr, size_t len, int prot, int flags, int fd, off_t off)
{
    return mmap(addr, len, prot, flags, fd, off);
}

int munmap(void *addr, size_t len)
{
    if (traceAll() && g_ourCount.load() > 0)
        traceLine("munmap %p %zu", addr, len);
    return real().munmap(addr, len);
}

int select(int nfds, fd_set *rd, fd_set *wr, fd_set *ex, timeval *tv)
{
    if (g_ourCount.load(std::memory_order_relaxed) > 0) {
        for (int fd = 0; fd < nfds && fd < kMaxFd; ++fd) {
            if (!((rd && FD_ISSET(fd, rd)) || (ex && FD_ISSET(fd, ex))))
                continue;
            if (Handle *h = handleOf(fd)) {
                std::lock_guard<std::mutex> lk(registry().lock);
                refreshReadiness(h);
                if (traceAll())
                    traceLine("select fd %d", fd);
            }
        }
    }
    // A pending control event is an exceptional condition (POLLPRI).
    if (ex && g_ourCount.load(std::memory_order_relaxed) > 0) {
        fd_set pending;
        FD_ZERO(&pending);
        int n = 0;
        {
            std::lock_guard<std::mutex> lk(registry().lock);
            for (int fd = 0; fd < nfds && fd < kMaxFd; ++fd)
                if (FD_ISSET(fd, ex))
                    if (Handle *h = handleOf(fd); h && !h->events.empty()) {
                        FD_SET(fd, &pending);
                        ++n;
                    }
        }
        if (n > 0) {
            timeval now{0, 0};
            int r = real().select(nfds, rd, wr, ex, &now);
            if (r < 0)
                return r;
            for (int fd = 0; fd < nfds && fd < kMaxFd; ++fd)
                if (FD_ISSET(fd, &pending) && !FD_ISSET(fd, ex)) {
                    FD_SET(fd, ex);
                    ++r;
                }
            return r;
        }
    }
    return real().select(nfds, rd, wr, ex, tv);
}

int poll(pollfd *fds, nfds_t n, int timeout)
{
    bool ours = false;
    if (g_ourCount.load(std::memory_order_relaxed) > 0) {
        for (nfds_t i = 0; i < n; ++i)
            if (Handle *h = handleOf(fds[i].fd)) {
                ours = true;
                std::lock_guard<std::mutex> lk(registry().lock);
                refreshReadiness(h);
                if (traceAll())
                    traceLine("poll fd %d", fds[i].fd);
            }
    }
    bool eventPending = false;
    if (ours) {
        std::lock_guard<std::mutex> lk(registry().lock);
        for (nfds_t i = 0; i < n; ++i)
            if (Handle *h = handleOf(fds[i].fd); h && (fds[i].events & POLLPRI) && !h->events.empty())
                eventPending = true;
    }
    int r = real().poll(fds, n, eventPending ? 0 : timeout);
    if (r < 0 || !ours)
        return r;
    // A disconnected device also reports an error and hang-up, as V4L2 does.
    std::lock_guard<std::mutex> lk(registry().lock);
    for (nfds_t i = 0; i < n; ++i) {
        Handle *h = handleOf(fds[i].fd);
        if (!h)
            continue;
        if (!h->cam->plugged || h->generation != h->cam->generation) {
            if (!fds[i].revents)
                ++r;
            fds[i].revents |= POLLERR | POLLHUP;
        }
        if ((fds[i].events & POLLPRI) && !h->events.empty()) {
            if (!fds[i].revents)
                ++r;
            fds[i].revents |= POLLPRI;
        }
    }
    return r;
}

// --- C API --------------------------------------------------------------------------

int vcam_camera_count(void)
{
    setup();
    return int(registry().cameras.size());
}

int vcam_node(int cam)
{
    Camera *c = camera(cam);
    return c ? c->node : -1;
}

#define LOCKED(cam, fallback)                             \
    Camera *c = camera(cam);                              \
    if (!c)                                               \
        return fallback;                                  \
    std::lock_guard<std::mutex> lk(registry().lock)

int vcam_register_value(int cam, int reg)
{
    LOCKED(cam, 0);
    return (reg >= 0 && reg < VCAM_REG_COUNT) ? c->fw.regs[size_t(reg)] : 0;
}

int vcam_selector_open(int cam)
{
    LOCKED(cam, 0);
    return c->fw.open;
}

int vcam_store_count(int cam)
{
    LOCKED(cam, 0);
    return c->fw.stores;
}

int vcam_violations(int cam)
{
    LOCKED(cam, 0);
    int s = 0;
    for (int v : c->fw.violations)
        s += v;
    return s;
}

int vcam_violation_count(int cam, int kind)
{
    LOCKED(cam, 0);
    return (kind >= 0 && kind < VCAM_V_COUNT) ? c->fw.violations[size_t(kind)] : 0;
}

int vcam_driver_reads_in_transaction(int cam)
{
    LOCKED(cam, 0);
    return c->fw.driverReadsInTransaction;
}

void vcam_reset(int cam)
{
    LOCKED(cam, );
    c->fw.powerOn();
    c->fw.resetCounters();
    c->uvc.reset();
    c->fw.writeState();
    traceLine("cam%d reset", cam);
}

void vcam_set_auto_update(int cam, int on)
{
    LOCKED(cam, );
    c->fw.autoUpdate = on != 0;
}

int vcam_unplug(int cam)
{
    LOCKED(cam, -1);
    if (c->plugged)
        announcePlug(*c, false);
    unplug(c);
    return 0;
}

int vcam_replug(int cam)
{
    LOCKED(cam, -1);
    if (!c->plugged)
        announcePlug(*c, true);
    replug(c);
    return 0;
}

int vcam_is_plugged(int cam)
{
    LOCKED(cam, 0);
    return c->plugged;
}

long vcam_frames_delivered(int cam)
{
    LOCKED(cam, 0);
    return c->delivered;
}

int vcam_set_ctrl_fault(const char *spec, int all)
{
    setup();
    return setCtrlFault(spec, all != 0) ? 0 : -1;
}

int vcam_set_frame_fault(const char *spec)
{
    return setFrameFault(spec) ? 0 : -1;
}

long vcam_frame_faults_injected(int cam)
{
    LOCKED(cam, 0);
    return c->faultsInjected;
}

long long vcam_render_cpu_ns(int cam)
{
    LOCKED(cam, 0);
    return c->renderNs;
}

} // extern "C"
