// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "DirectoryListing.h"

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

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

} // namespace

bool listFolder(const QByteArray &folder, std::vector<FolderEntry> &entries, FolderId &id)
{
    entries.clear();
    DIR *dir = opendir(folder.constData());
    if (!dir)
        return false;
    DirCloser closer{dir};
    const int fd = dirfd(dir);
    struct stat self;
    if (fstat(fd, &self) != 0)
        return false;
    id = FolderId{quint64(self.st_dev), quint64(self.st_ino)};

    while (const dirent *entry = readdir(dir)) {
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
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
            if (fstatat(fd, name, &st, 0) != 0)
                continue; // dangling link, or vanished since the listing
            if (S_ISDIR(st.st_mode))
                isFolder = true;
            else if (!S_ISREG(st.st_mode))
                continue;
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
