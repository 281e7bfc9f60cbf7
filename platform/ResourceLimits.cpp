// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "platform/ResourceLimits.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <pthread.h>
#include <sys/resource.h>
#include <time.h>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace platform {

long raiseDescriptorLimit()
{
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return -1;
    if (limit.rlim_cur < limit.rlim_max) {
        struct rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    return limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > LONG_MAX ? LONG_MAX
                                                                        : long(limit.rlim_cur);
}

namespace {

// The descriptors open now, counted in /proc/self/fd (less the one the count
// itself uses); -1 when that folder cannot be read.
int openDescriptors()
{
    DIR *dir = opendir("/proc/self/fd");
    if (!dir)
        return -1;
    int count = 0;
    while (const dirent *entry = readdir(dir)) {
        if (entry->d_name[0] != '.')
            ++count;
    }
    closedir(dir);
    return count - 1;
}

} // namespace

int descriptorRoom()
{
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
        limit.rlim_cur > rlim_t(INT_MAX / 2))
        return INT_MAX / 2;
    int open = openDescriptors();
    if (open < 0) // no /proc: assume the standard three and a few more
        open = 16;
    return int(limit.rlim_cur) - open;
}

bool isShortOfResources(int error)
{
    return error == EMFILE || error == ENFILE || error == ENOMEM || error == ENOBUFS;
}

bool waitForResources(int attempt)
{
    constexpr int kAttempts = 9; // 1 + 2 + ... + 256 ms
    if (attempt >= kAttempts)
        return false;
    struct timespec pause {
        0, (1L << attempt) * 1000000L
    };
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
    return true;
}

namespace {

bool addressSpaceLimited()
{
    rlimit limit{};
    return getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY;
}

// The stack a new thread gets: the default of the thread library.
std::size_t threadStackBytes()
{
    std::size_t size = std::size_t(8) << 20;
#ifdef __GLIBC__
    pthread_attr_t attr;
    if (pthread_getattr_default_np(&attr) == 0) {
        pthread_attr_getstacksize(&attr, &size);
        pthread_attr_destroy(&attr);
    }
#endif
    return size;
}

} // namespace

void fitMemoryArenas()
{
#ifdef __GLIBC__
    if (addressSpaceLimited())
        mallopt(M_ARENA_MAX, 1);
#endif
}

bool roomForAnotherThread(std::size_t headroom)
{
    // Without a limit there is room; the probe's unmap would cost every
    // running thread a TLB flush for nothing.
    if (!addressSpaceLimited())
        return true;
    // Reserved, never touched, and given back at once; volatile, so that the
    // compiler cannot drop the pair.
    char *volatile probe = static_cast<char *>(std::malloc(headroom + threadStackBytes()));
    const bool room = probe != nullptr;
    std::free(probe);
    return room;
}

} // namespace platform
