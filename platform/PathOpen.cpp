// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "platform/PathOpen.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// A folder only passed through: O_PATH needs no read permission, only the
// search permission that resolving the whole path needs too.
#ifdef O_PATH
constexpr int kFolderFlags = O_PATH | O_CLOEXEC;
#else
constexpr int kFolderFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;
#endif

void closeKeepingErrno(int fd)
{
    const int saved = errno;
    ::close(fd);
    errno = saved;
}

} // namespace

int openAtRetrying(int dirFd, const char *path, int flags)
{
    int fd;
    do {
        fd = ::openat(dirFd, path, flags);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

int openAnyDepth(const QByteArray &nativePath, int flags)
{
    if (nativePath.isEmpty()) {
        errno = ENOENT;
        return -1;
    }
    const char *p = nativePath.constData();
    const char *const end = p + nativePath.size();
    int dirFd = AT_FDCWD;
    // While the rest is too long for one call, open the longest run of whole
    // folder names that fits (names are at most NAME_MAX bytes, so one does).
    while (end - p >= PATH_MAX) {
        const char *cut = p + (PATH_MAX - 1);
        while (cut > p && *cut != '/')
            --cut;
        if (cut == p) { // no folder name fits: open() would refuse the path too
            if (dirFd != AT_FDCWD)
                ::close(dirFd);
            errno = ENAMETOOLONG;
            return -1;
        }
        const QByteArray group(p, cut - p); // the leading "/" of an absolute path stays
        const int next = openAtRetrying(dirFd, group.constData(), kFolderFlags);
        if (dirFd != AT_FDCWD)
            closeKeepingErrno(dirFd);
        if (next < 0)
            return -1;
        dirFd = next;
        p = cut;
        while (p < end && *p == '/')
            ++p;
    }
    // A path that ends in "/" names the folder itself, as for open().
    const int fd = openAtRetrying(dirFd, p < end ? p : ".", flags);
    if (dirFd != AT_FDCWD)
        closeKeepingErrno(dirFd);
    return fd;
}

int openForReading(const QByteArray &nativePath)
{
    const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
#ifdef O_NOATIME
    const int fd = openAnyDepth(nativePath, flags | O_NOATIME);
    if (fd >= 0 || errno != EPERM)
        return fd;
        // O_NOATIME is refused to whoever is not the owner: read as usual.
#endif
    return openAnyDepth(nativePath, flags);
}

int duplicateDescriptor(int fd)
{
    return ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
}

void closeDescriptor(int fd)
{
    ::close(fd);
}

bool isRegularFile(int fd)
{
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

qint64 fileSize(int fd)
{
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? qint64(st.st_size) : -1;
}

qsizetype readAt(int fd, char *buffer, qsizetype size, qint64 offset)
{
    qsizetype got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, buffer + got, size_t(size - got), off_t(offset + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += n;
    }
    return got;
}

} // namespace platform
