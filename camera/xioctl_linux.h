#pragma once

#include <cerrno>
#include <sys/ioctl.h>

// An ioctl on a V4L2 node, asked again when a signal interrupted it.
inline int xioctl(int fd, unsigned long request, void *arg)
{
    int r;
    do {
        r = ::ioctl(fd, request, arg);
    } while (r < 0 && errno == EINTR);
    return r;
}
