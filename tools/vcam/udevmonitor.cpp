// Plug events of the virtual cameras for the process's own udev monitors, so
// that a program's device watcher hears `unplug K` and `replug K` as it would
// hear a real camera.
//
// The libudev monitor calls are interposed. A monitor keeps its real netlink
// socket, but the descriptor handed out is an epoll set of that socket and an
// eventfd of ours: it becomes readable for a real event and for a virtual one
// alike. `udev_monitor_receive_device` gives the queued virtual events first
// (devices of our own, answered by the udev_device_* calls below), then the
// real ones. A monitor gets the virtual events once it receives, if it has no
// subsystem filter or one for "video4linux". An unplug or replug announces the
// capture node and its metadata node, as uvcvideo does.
//
// A virtual device answers: ref, unref, get_udev, get_action, get_devnode,
// get_subsystem, get_devtype, get_sysname, get_syspath, get_property_value.
#include "vcam_internal.h"

#include <libudev.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <dlfcn.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <unordered_set>

namespace vcam {
namespace {

struct VirtualDevice {
    int refs = 1;
    udev *context = nullptr;
    std::string action, sysname, devnode, syspath;
};

struct Monitor {
    udev_monitor *real = nullptr;
    udev *context = nullptr;
    int refs = 1;
    int epollFd = -1;
    int eventFd = -1;
    bool filtered = false;   // has a subsystem filter
    bool wantsVideo = false; // ... that takes video4linux
    bool receiving = false;
    std::deque<VirtualDevice *> pending;
};

struct Monitors {
    std::mutex lock;
    std::vector<Monitor *> list;
    std::unordered_set<VirtualDevice *> devices;
    std::atomic<int> deviceCount{0};
};

Monitors &monitors()
{
    static Monitors *m = new Monitors; // used until the process ends
    return *m;
}

// libudev's own definition of `name`.
template <typename F> F realUdev(const char *name)
{
    static void *lib = [] {
        void *h = dlopen("libudev.so.1", RTLD_LAZY | RTLD_NOLOAD);
        return h ? h : dlopen("libudev.so.1", RTLD_LAZY);
    }();
    void *f = lib ? dlsym(lib, name) : nullptr;
    return reinterpret_cast<F>(f ? f : dlsym(RTLD_NEXT, name));
}

// Callers hold the lock.
Monitor *findMonitor(udev_monitor *m)
{
    for (Monitor *mon : monitors().list)
        if (mon->real == m)
            return mon;
    return nullptr;
}

// Callers hold the lock.
VirtualDevice *virtualDevice(udev_device *d)
{
    auto *v = reinterpret_cast<VirtualDevice *>(d);
    return monitors().devices.count(v) ? v : nullptr;
}

// Callers hold the lock.
void dropDevice(VirtualDevice *v)
{
    if (--v->refs > 0)
        return;
    monitors().devices.erase(v);
    --monitors().deviceCount;
    delete v;
}

void drainEventFd(int fd)
{
    uint64_t count;
    while (read(fd, &count, sizeof count) > 0) {
    }
}

} // namespace

void announcePlug(const Camera &c, bool added)
{
    Monitors &ms = monitors();
    std::lock_guard<std::mutex> lk(ms.lock);
    for (Monitor *mon : ms.list) {
        if (!mon->receiving || (mon->filtered && !mon->wantsVideo))
            continue;
        for (const int node : {c.node, c.node + 1}) {
            auto *v = new VirtualDevice;
            v->context = mon->context;
            v->action = added ? "add" : "remove";
            v->sysname = "video" + std::to_string(node);
            v->devnode = "/dev/" + v->sysname;
            v->syspath = "/sys/devices/virtual/vexlo-vcam/video4linux/" + v->sysname;
            ms.devices.insert(v);
            ++ms.deviceCount;
            mon->pending.push_back(v);
        }
        const uint64_t one = 1;
        if (write(mon->eventFd, &one, sizeof one) < 0)
            traceLine("udev monitor: eventfd write failed");
    }
    traceLine("cam%d announced to udev monitors: %s", c.index, added ? "add" : "remove");
}

} // namespace vcam

using namespace vcam;

extern "C" {

udev_monitor *udev_monitor_new_from_netlink(udev *context, const char *name)
{
    static auto fn = realUdev<udev_monitor *(*)(udev *, const char *)>("udev_monitor_new_from_netlink");
    static auto getFd = realUdev<int (*)(udev_monitor *)>("udev_monitor_get_fd");
    udev_monitor *m = fn ? fn(context, name) : nullptr;
    if (!m)
        return m;
    auto *mon = new Monitor;
    mon->real = m;
    mon->context = context;
    mon->epollFd = epoll_create1(EPOLL_CLOEXEC);
    mon->eventFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    epoll_event ev{};
    ev.events = EPOLLIN;
    epoll_ctl(mon->epollFd, EPOLL_CTL_ADD, mon->eventFd, &ev);
    const int socketFd = getFd(m);
    if (socketFd >= 0)
        epoll_ctl(mon->epollFd, EPOLL_CTL_ADD, socketFd, &ev);
    std::lock_guard<std::mutex> lk(monitors().lock);
    monitors().list.push_back(mon);
    return m;
}

udev_monitor *udev_monitor_ref(udev_monitor *m)
{
    static auto fn = realUdev<udev_monitor *(*)(udev_monitor *)>("udev_monitor_ref");
    {
        std::lock_guard<std::mutex> lk(monitors().lock);
        if (Monitor *mon = findMonitor(m))
            ++mon->refs;
    }
    return fn(m);
}

udev_monitor *udev_monitor_unref(udev_monitor *m)
{
    static auto fn = realUdev<udev_monitor *(*)(udev_monitor *)>("udev_monitor_unref");
    {
        Monitors &ms = monitors();
        std::lock_guard<std::mutex> lk(ms.lock);
        Monitor *mon = findMonitor(m);
        if (mon && --mon->refs == 0) {
            ms.list.erase(std::find(ms.list.begin(), ms.list.end(), mon));
            for (VirtualDevice *v : mon->pending)
                dropDevice(v);
            close(mon->epollFd);
            close(mon->eventFd);
            delete mon;
        }
    }
    return fn(m);
}

int udev_monitor_filter_add_match_subsystem_devtype(udev_monitor *m, const char *subsystem, const char *devtype)
{
    static auto fn = realUdev<int (*)(udev_monitor *, const char *, const char *)>(
        "udev_monitor_filter_add_match_subsystem_devtype");
    const int r = fn(m, subsystem, devtype);
    std::lock_guard<std::mutex> lk(monitors().lock);
    if (Monitor *mon = findMonitor(m); mon && r >= 0) {
        mon->filtered = true;
        mon->wantsVideo = mon->wantsVideo || (subsystem && !strcmp(subsystem, "video4linux"));
    }
    return r;
}

int udev_monitor_enable_receiving(udev_monitor *m)
{
    static auto fn = realUdev<int (*)(udev_monitor *)>("udev_monitor_enable_receiving");
    const int r = fn(m);
    std::lock_guard<std::mutex> lk(monitors().lock);
    if (Monitor *mon = findMonitor(m); mon && r >= 0)
        mon->receiving = true;
    return r;
}

int udev_monitor_get_fd(udev_monitor *m)
{
    static auto fn = realUdev<int (*)(udev_monitor *)>("udev_monitor_get_fd");
    {
        std::lock_guard<std::mutex> lk(monitors().lock);
        if (Monitor *mon = findMonitor(m))
            return mon->epollFd;
    }
    return fn(m);
}

udev_device *udev_monitor_receive_device(udev_monitor *m)
{
    static auto fn = realUdev<udev_device *(*)(udev_monitor *)>("udev_monitor_receive_device");
    {
        std::lock_guard<std::mutex> lk(monitors().lock);
        Monitor *mon = findMonitor(m);
        if (mon && !mon->pending.empty()) {
            VirtualDevice *v = mon->pending.front();
            mon->pending.pop_front();
            if (mon->pending.empty())
                drainEventFd(mon->eventFd);
            return reinterpret_cast<udev_device *>(v);
        }
    }
    return fn(m);
}

// --- the virtual devices ---------------------------------------------------------------

#define VIRTUAL_OR_REAL(ret, name, value)                                        \
    static auto fn = realUdev<ret (*)(udev_device *)>(#name);                    \
    if (monitors().deviceCount.load(std::memory_order_acquire) > 0) {            \
        std::lock_guard<std::mutex> lk(monitors().lock);                         \
        if (VirtualDevice *v = virtualDevice(d))                                 \
            return value;                                                        \
    }                                                                            \
    return fn(d)

udev_device *udev_device_ref(udev_device *d)
{
    VIRTUAL_OR_REAL(udev_device *, udev_device_ref, (++v->refs, d));
}

udev_device *udev_device_unref(udev_device *d)
{
    VIRTUAL_OR_REAL(udev_device *, udev_device_unref, (dropDevice(v), nullptr));
}

udev *udev_device_get_udev(udev_device *d)
{
    VIRTUAL_OR_REAL(udev *, udev_device_get_udev, v->context);
}

const char *udev_device_get_action(udev_device *d)
{
    VIRTUAL_OR_REAL(const char *, udev_device_get_action, v->action.c_str());
}

const char *udev_device_get_devnode(udev_device *d)
{
    VIRTUAL_OR_REAL(const char *, udev_device_get_devnode, v->devnode.c_str());
}

const char *udev_device_get_subsystem(udev_device *d)
{
    VIRTUAL_OR_REAL(const char *, udev_device_get_subsystem, ((void)v, "video4linux"));
}

const char *udev_device_get_devtype(udev_device *d)
{
    VIRTUAL_OR_REAL(const char *, udev_device_get_devtype, ((void)v, nullptr));
}

const char *udev_device_get_sysname(udev_device *d)
{
    VIRTUAL_OR_REAL(const char *, udev_device_get_sysname, v->sysname.c_str());
}

const char *udev_device_get_syspath(udev_device *d)
{
    VIRTUAL_OR_REAL(const char *, udev_device_get_syspath, v->syspath.c_str());
}

const char *udev_device_get_property_value(udev_device *d, const char *key)
{
    static auto fn = realUdev<const char *(*)(udev_device *, const char *)>("udev_device_get_property_value");
    if (monitors().deviceCount.load(std::memory_order_acquire) > 0) {
        std::lock_guard<std::mutex> lk(monitors().lock);
        if (VirtualDevice *v = virtualDevice(d)) {
            const std::string k = key ? key : "";
            if (k == "ACTION")
                return v->action.c_str();
            if (k == "DEVNAME")
                return v->devnode.c_str();
            if (k == "SUBSYSTEM")
                return "video4linux";
            return nullptr;
        }
    }
    return fn(d, key);
}

} // extern "C"
