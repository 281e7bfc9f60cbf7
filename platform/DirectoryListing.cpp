// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "platform/DirectoryListing.h"

#include "platform/PathOpen.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace platform {

QByteArray nativeFolderPath(const QByteArray &folder)
{
    QByteArray path = folder;
    if (path.isEmpty() || path.back() != kSeparator)
        path.append(kSeparator);
    return path;
}

QByteArray nativeFolderPath(const QString &folder)
{
    return nativeFolderPath(folder.toUtf8());
}

QString displayPath(const QByteArray &nativePath)
{
    return QString::fromUtf8(nativePath);
}

namespace {

struct FdCloser {
    int fd;
    ~FdCloser() { ::close(fd); }
};

struct ListingFault {
    int error = 0;
    int entries = 0;
    int times = 0;
};
ListingFault g_listingFault;
bool g_typesUnknown = false; // listings report no entry types

// The fault due to the listing starting now, if any.
ListingFault takeListingFault()
{
    if (g_listingFault.error == 0 || g_listingFault.times == 0)
        return {};
    if (g_listingFault.times > 0)
        --g_listingFault.times;
    return g_listingFault;
}

} // namespace

namespace {

// The device and inode of an open folder. An inode number never changes, so it
// is taken from what the kernel already holds where it may keep it
// (AT_STATX_DONT_SYNC): on a network or FUSE file system the lookup that opened
// the folder brought it, and asking again is one more request to the server
// for every folder the walk enters.
bool folderId(int fd, FolderId *id)
{
#ifdef STATX_INO
    struct statx sx;
    if (statx(fd, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, STATX_INO, &sx) == 0 &&
        (sx.stx_mask & STATX_INO)) {
        *id = FolderId{quint64(makedev(sx.stx_dev_major, sx.stx_dev_minor)), quint64(sx.stx_ino)};
        return true;
    }
#endif
    struct stat self;
    if (fstat(fd, &self) != 0)
        return false;
    *id = FolderId{quint64(self.st_dev), quint64(self.st_ino)};
    return true;
}

// True when the open fd is a folder; like the inode number, the type of an
// inode never changes, and is taken from what the kernel holds where it can.
bool isFolderFd(int fd)
{
#ifdef STATX_TYPE
    struct statx sx;
    if (statx(fd, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, STATX_TYPE, &sx) == 0 &&
        (sx.stx_mask & STATX_TYPE))
        return S_ISDIR(sx.stx_mode);
#endif
    struct stat self;
    return fstat(fd, &self) == 0 && S_ISDIR(self.st_mode);
}

} // namespace

namespace testing {
void setListingFault(int error, int entries, int times)
{
    g_listingFault = ListingFault{error, entries, times};
}

void setEntryTypesUnknown(bool unknown)
{
    g_typesUnknown = unknown;
}
} // namespace testing

int childCheckFlags()
{
    return O_PATH | O_CLOEXEC;
}

int openFolderPath(const QByteArray &path, int flags)
{
    static const QByteArray here(".");
    return openAnyDepth(path.isEmpty() ? here : path, flags | O_DIRECTORY | O_CLOEXEC);
}

Folder::Folder(Folder &&other) noexcept : m_fd(other.m_fd), m_id(other.m_id)
{
    other.m_fd = -1;
}

Folder &Folder::operator=(Folder &&other) noexcept
{
    if (this != &other) {
        close();
        m_fd = other.m_fd;
        m_id = other.m_id;
        other.m_fd = -1;
    }
    return *this;
}

void Folder::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

Folder Folder::adopt(int fd, FolderError *error)
{
    Folder folder;
    if (fd < 0) {
        if (error)
            *error = errno;
        return folder;
    }
    FolderId id;
    if (!folderId(fd, &id)) {
        if (error)
            *error = errno;
        ::close(fd);
        return folder;
    }
    folder.m_fd = fd;
    folder.m_id = id;
    return folder;
}

Folder Folder::open(const QByteArray &path, FolderError *error)
{
    return adopt(openFolderPath(path, O_PATH), error);
}

Folder Folder::openAsChild(const QByteArray &path, FolderError *error)
{
    Folder folder = adopt(openAnyDepth(path, childCheckFlags()), error);
    if (folder.isOpen() && !isFolderFd(folder.m_fd)) {
        folder.close();
        if (error)
            *error = ENOTDIR;
    }
    return folder;
}

Folder Folder::openChild(const Folder &parent, const QByteArray &name, FolderError *error)
{
    if (!parent.isOpen()) {
        if (error)
            *error = EBADF;
        return Folder();
    }
    Folder child = adopt(openAtRetrying(parent.m_fd, name.constData(), childCheckFlags()), error);
    if (child.isOpen()) {
        if (!isFolderFd(child.m_fd)) {
            child.close();
            if (error)
                *error = ENOTDIR;
        }
    }
    return child;
}

bool Folder::list(std::vector<FolderEntry> &entries, FolderError *error,
                  FolderError *brokenOff) const
{
    entries.clear();
    const ListingFault fault = takeListingFault();
    if (fault.error != 0 && fault.entries == 0) {
        if (error)
            *error = fault.error;
        return false;
    }
    // A second descriptor for the listing; the folder's own stays open for
    // opening what the listing names. It is read with getdents64() itself:
    // fdopendir() would first ask for the folder's attributes (fstat), which
    // on a network or FUSE file system is one more request to the server for
    // each folder listed.
    const int listFd = m_fd >= 0 ? ::openat(m_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    if (listFd < 0) {
        if (error)
            *error = m_fd >= 0 ? errno : EBADF;
        return false;
    }
    const FdCloser closer{listFd};
    constexpr std::size_t kBufferBytes = 32 * 1024; // hundreds of entries a call
    const std::unique_ptr<char[]> buffer(new char[kBufferBytes]);
    ssize_t filled = 0;
    ssize_t at = 0;

    int read = 0;
    for (;;) {
        if (fault.error != 0 && read == fault.entries) {
            if (brokenOff)
                *brokenOff = fault.error;
            break;
        }
        if (at >= filled) {
            filled = getdents64(listFd, buffer.get(), kBufferBytes);
            if (filled <= 0) {
                // ENOENT: the folder was removed while it was read; like
                // readdir(), that is the end of the listing and no error.
                if (filled < 0 && errno != ENOENT && brokenOff)
                    *brokenOff = errno;
                break;
            }
            at = 0;
        }
        const auto *entry = reinterpret_cast<const dirent64 *>(buffer.get() + at);
        at += entry->d_reclen;
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        ++read;
        bool isFolder = false;
        const unsigned char type =
            g_typesUnknown ? static_cast<unsigned char>(DT_UNKNOWN) : entry->d_type;
        switch (type) {
        case DT_REG:
            break;
        case DT_DIR:
            isFolder = true;
            break;
        case DT_LNK:
        case DT_UNKNOWN: {
            struct stat st;
            if (fstatat(m_fd, name, &st, 0) != 0)
                continue; // dangling link, or vanished since the listing
            if (S_ISDIR(st.st_mode))
                isFolder = true;
            else if (!S_ISREG(st.st_mode))
                continue;
            if (type == DT_LNK || quint64(st.st_dev) != m_id.device) {
                entries.push_back(FolderEntry{QByteArray(name, qsizetype(std::strlen(name))),
                                              isFolder, true, quint64(st.st_dev)});
                continue;
            }
            break;
        }
        default:
            continue; // FIFO, socket, device
        }
        entries.push_back(FolderEntry{QByteArray(name, qsizetype(std::strlen(name))), isFolder});
    }
    return true;
}

} // namespace platform
