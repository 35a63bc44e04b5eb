// Steady-state CPU cost of the virtual camera: a raw V4L2 reader (no
// decoding) streams each format for a few seconds; the process's CPU time
// is then nearly all the camera's own rendering and encoding.
#include "vcam_control.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/select.h>
#include <time.h>
#include <unistd.h>

namespace {

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double wallSeconds()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

bool run(uint32_t fourcc, unsigned w, unsigned h, unsigned fps, double seconds)
{
    const int fd = open("/dev/video0", O_RDWR | O_NONBLOCK);
    if (fd < 0)
        return false;
    v4l2_format f{};
    f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    f.fmt.pix.width = w;
    f.fmt.pix.height = h;
    f.fmt.pix.pixelformat = fourcc;
    v4l2_streamparm p{};
    p.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    p.parm.capture.timeperframe = {1, fps};
    v4l2_requestbuffers rb{};
    rb.count = 4;
    rb.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    rb.memory = V4L2_MEMORY_MMAP;
    if (ioctl(fd, VIDIOC_S_FMT, &f) || ioctl(fd, VIDIOC_S_PARM, &p) || ioctl(fd, VIDIOC_REQBUFS, &rb))
        return false;
    void *maps[4];
    size_t lens[4];
    for (unsigned i = 0; i < rb.count; ++i) {
        v4l2_buffer b{};
        b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        b.memory = V4L2_MEMORY_MMAP;
        b.index = i;
        if (ioctl(fd, VIDIOC_QUERYBUF, &b))
            return false;
        lens[i] = b.length;
        maps[i] = mmap(nullptr, b.length, PROT_READ, MAP_SHARED, fd, b.m.offset);
        if (ioctl(fd, VIDIOC_QBUF, &b))
            return false;
    }
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    ioctl(fd, VIDIOC_STREAMON, &type);
    // Warm-up: the first frame renders and encodes the static picture.
    long frames = -5;
    double c0 = 0, w0 = 0;
    long long r0 = 0;
    size_t bytes = 0;
    for (;;) {
        fd_set rd;
        FD_ZERO(&rd);
        FD_SET(fd, &rd);
        timeval tv{2, 0};
        if (select(fd + 1, &rd, nullptr, nullptr, &tv) <= 0)
            return false;
        v4l2_buffer b{};
        b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        b.memory = V4L2_MEMORY_MMAP;
        if (ioctl(fd, VIDIOC_DQBUF, &b)) {
            if (errno == EAGAIN)
                continue;
            return false;
        }
        bytes += b.bytesused;
        ioctl(fd, VIDIOC_QBUF, &b);
        if (++frames == 0) {
            c0 = cpuSeconds();
            w0 = wallSeconds();
            r0 = vcam_render_cpu_ns(0);
            bytes = 0;
        }
        if (frames > 0 && wallSeconds() - w0 >= seconds)
            break;
    }
    const double wall = wallSeconds() - w0, cpu = cpuSeconds() - c0;
    const double render = double(vcam_render_cpu_ns(0) - r0) / 1e9;
    printf("%.4s %ux%u@%u: %.1f fps, process CPU %.1f%% of one core (rendering %.1f%%), %.0f KiB/frame\n",
           reinterpret_cast<const char *>(&fourcc), w, h, fps, frames / wall, 100 * cpu / wall,
           100 * render / wall, double(bytes) / frames / 1024);
    ioctl(fd, VIDIOC_STREAMOFF, &type);
    for (unsigned i = 0; i < rb.count; ++i)
        munmap(maps[i], lens[i]);
    close(fd);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    const double seconds = argc > 1 ? atof(argv[1]) : 5.0;
    bool ok = run(V4L2_PIX_FMT_MJPEG, 1920, 1080, 30, seconds);
    ok = run(V4L2_PIX_FMT_MJPEG, 1280, 720, 30, seconds) && ok;
    ok = run(V4L2_PIX_FMT_YUYV, 1920, 1080, 5, seconds) && ok;
    ok = run(V4L2_PIX_FMT_YUYV, 640, 480, 30, seconds) && ok;
    return ok ? 0 : 1;
}
