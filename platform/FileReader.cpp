// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "platform/FileReader.h"

#include "platform/DirectoryListing.h"
#include "platform/PathOpen.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

FileReader::~FileReader()
{
    release();
}

void FileReader::release()
{
    close();
    if (m_folderFd >= 0)
        ::close(m_folderFd);
    m_folderFd = -1;
}

namespace {

// True when the open fd is a regular file; *size: its size, or 0 when not known.
// The attributes come from what the kernel already holds where it may keep
// them (AT_STATX_DONT_SYNC): on a network or FUSE file system the lookup that
// opened the file brought them, and asking again is one more request to the
// server, a round trip per file. A size gone stale costs nothing: a read that
// fills the buffer is never taken for the end.
bool regularFileSize(int fd, qint64 *size)
{
#ifdef STATX_TYPE
    struct statx sx;
    if (statx(fd, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, STATX_TYPE | STATX_SIZE, &sx) == 0 &&
        (sx.stx_mask & STATX_TYPE)) {
        *size = (sx.stx_mask & STATX_SIZE) ? qint64(sx.stx_size) : 0;
        return S_ISREG(sx.stx_mode);
    }
#endif
    struct stat st;
    if (fstat(fd, &st) != 0)
        return false;
    *size = st.st_size;
    return S_ISREG(st.st_mode);
}

} // namespace

bool FileReader::open(const QByteArray &nativePath, int folder)
{
    close();
    m_error = 0;
    // O_NONBLOCK: if a FIFO took the file's place since the walk, opening it
    // must not wait for a writer. On a regular file it matters too: where
    // another process holds a lease (F_SETLEASE; NFS delegations and Samba
    // oplocks use them) that this open breaks, the open fails with EAGAIN at
    // once instead of waiting up to the lease-break time (45 s by default).
    const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    int dirFd = AT_FDCWD;
    const char *name = nativePath.constData();
    const qsizetype slash = nativePath.lastIndexOf('/');
    if (folder >= 0 && slash + 1 < nativePath.size()) {
        dirFd = folder;
        name += slash + 1;
    } else if (slash >= 0 && slash + 1 < nativePath.size()) {
        const QByteArrayView folderPath(nativePath.constData(), slash + 1);
        if (m_folderFd < 0 || folderPath != m_folder) {
            if (m_folderFd >= 0)
                ::close(m_folderFd);
            m_folderFd = -1; // should the copy below throw (memory refused)
            m_folder = folderPath.toByteArray();
            // Opened in pieces when the path is longer than the kernel takes.
            m_folderFd = openFolderPath(m_folder, O_PATH);
            if (m_folderFd < 0) {
                m_error = errno;
                return false;
            }
        }
        dirFd = m_folderFd;
        name += slash + 1;
    }
    // O_NOATIME: searching leaves even the access time alone. The kernel allows
    // it only to the file's owner (or a privileged user) and says EPERM to
    // everyone else; then the file is opened without it.
    int fd = openAtRetrying(dirFd, name, flags | O_NOATIME);
    if (fd < 0 && errno == EPERM)
        fd = openAtRetrying(dirFd, name, flags);
    if (fd < 0) {
        m_error = errno;
        return false;
    }
    qint64 size = 0;
    if (!regularFileSize(fd, &size)) {
        // No longer a regular file (a FIFO took its place): not one to read.
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_size = size;
    m_offset = 0;
    m_atEnd = false;
    return true;
}

qsizetype FileReader::read(char *buffer, qsizetype max)
{
    if (m_fd < 0)
        return -1;
    if (m_atEnd || max <= 0)
        return 0;
    // Where the size is known, the rest of the file and one byte more (to
    // notice a file that grew) is all that is asked for. Where the file
    // system reads into the caller's memory directly (FUSE with direct I/O,
    // network file systems opened uncached), the kernel pins every page of
    // the buffer asked for and marks each dirty afterwards: for a small file
    // and a block of 256 KiB, 64 pages in place of one.
    if (m_size > 0 && m_offset < m_size)
        max = std::min(max, m_size - m_offset + 1);
    ssize_t n;
    do {
        n = ::read(m_fd, buffer, size_t(max));
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        m_error = errno;
        return -1;
    }
    m_offset += n;
    // A short read that reaches the size known at open is the end: this saves
    // the extra call that would return 0. Files that report no size (some
    // virtual file systems) are read until read() itself says 0.
    if (n == 0 || (m_size > 0 && n < max && m_offset >= m_size))
        m_atEnd = true;
    return qsizetype(n);
}

qsizetype FileReader::readTail(char *buffer, qsizetype max, qint64 &size)
{
    if (m_fd < 0 || m_size <= 0)
        return -1;
    size = m_size;
    const qsizetype n = qsizetype(std::min<qint64>(max, m_size));
    return readAt(m_fd, buffer, n, m_size - n);
}

bool FileReader::rewind()
{
    if (m_fd < 0)
        return false;
    if (::lseek(m_fd, 0, SEEK_SET) != 0) {
        m_error = errno; // the file was not read whole: it is reported unreadable
        return false;
    }
    m_offset = 0;
    m_atEnd = false;
    return true;
}

void FileReader::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

} // namespace platform
