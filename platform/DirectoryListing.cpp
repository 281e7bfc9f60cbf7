// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "DirectoryListing.h"

#include "PathOpen.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
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

struct DirCloser {
    DIR *dir;
    ~DirCloser() { closedir(dir); }
};

struct ListingFault {
    int error = 0;
    int entries = 0;
    int times = 0;
};
ListingFault g_listingFault;

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

namespace testing {
void setListingFault(int error, int entries, int times)
{
    g_listingFault = ListingFault{error, entries, times};
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
    struct stat self;
    if (fstat(fd, &self) != 0) {
        if (error)
            *error = errno;
        ::close(fd);
        return folder;
    }
    folder.m_fd = fd;
    folder.m_id = FolderId{quint64(self.st_dev), quint64(self.st_ino)};
    return folder;
}

Folder Folder::open(const QByteArray &path, FolderError *error)
{
    return adopt(openFolderPath(path, O_PATH), error);
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
        struct stat self;
        if (fstat(child.m_fd, &self) != 0 || !S_ISDIR(self.st_mode)) {
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
    // A second descriptor for the listing, which closedir() takes with it; the
    // folder's own stays open for opening what the listing names.
    const int listFd = m_fd >= 0 ? ::openat(m_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    DIR *dir = listFd >= 0 ? fdopendir(listFd) : nullptr;
    if (!dir) {
        if (error)
            *error = m_fd >= 0 ? errno : EBADF;
        if (listFd >= 0)
            ::close(listFd);
        return false;
    }
    DirCloser closer{dir};

    int read = 0;
    for (;;) {
        // readdir() says nothing else of an error than errno with a null entry.
        errno = 0;
        const dirent *entry = fault.error != 0 && read == fault.entries ? nullptr : readdir(dir);
        if (!entry) {
            const int why = fault.error != 0 && read == fault.entries ? fault.error : errno;
            if (why != 0 && brokenOff)
                *brokenOff = why;
            break;
        }
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        ++read;
        bool isFolder = false;
        switch (entry->d_type) {
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
            if (entry->d_type == DT_LNK || quint64(st.st_dev) != m_id.device) {
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
