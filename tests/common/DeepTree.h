// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Folder trees deeper than the system's path limit. Nothing here hands the
// kernel a whole path: folders are made, opened and removed relative to their
// parent, with two descriptors open at a time.

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QString>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace testsupport {

// A template for QTemporaryDir on a memory file system when there is one: a
// deep tree is thousands of folders, slow to make and remove on a disk.
inline QString fastTemporaryFolder()
{
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    const QString folder = shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
    return folder + QStringLiteral("/tarnwell-deep-XXXXXX");
}

inline bool writeFileAt(int dirFd, const char *name, const QByteArray &bytes)
{
    const int fd = openat(dirFd, name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok = write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    close(fd);
    return ok;
}

// Makes `levels` nested folders "d" in root and writes `name` into the
// deepest. When sideAt is a level (1 = root/d), that folder also holds a
// folder "e" with a file "side.txt" of the same bytes. Returns the file's
// path, or nothing on failure.
inline QByteArray buildDeepTree(const QByteArray &root, int levels, const char *name,
                                const QByteArray &bytes, int sideAt = -1)
{
    int fd = open(root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    QByteArray path = root;
    for (int level = 1; fd >= 0 && level <= levels; ++level) {
        const int next =
            mkdirat(fd, "d", 0755) == 0 ? openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
        close(fd);
        fd = next;
        path += "/d";
        if (fd >= 0 && level == sideAt) {
            const int side = mkdirat(fd, "e", 0755) == 0
                                 ? openat(fd, "e", O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                                 : -1;
            const bool ok = side >= 0 && writeFileAt(side, "side.txt", bytes);
            if (side >= 0)
                close(side);
            if (!ok) {
                close(fd);
                fd = -1;
            }
        }
    }
    if (fd < 0)
        return {};
    const bool ok = writeFileAt(fd, name, bytes);
    close(fd);
    return ok ? path + '/' + name : QByteArray();
}

// Removes everything in the folder at path (a tree without links), bottom-up.
inline bool emptyFolder(const QByteArray &path)
{
    int fd = open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::vector<QByteArray> names; // from path down to the current folder
    while (fd >= 0) {
        // The first entry left in the current folder, if any.
        QByteArray first;
        bool isFolder = false;
        const int listFd = openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (DIR *dir = listFd >= 0 ? fdopendir(listFd) : nullptr) {
            while (const dirent *entry = readdir(dir)) {
                if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
                    continue;
                first = entry->d_name;
                struct stat st;
                isFolder = fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                           S_ISDIR(st.st_mode);
                break;
            }
            closedir(dir);
        }
        if (!first.isEmpty()) {
            if (!isFolder) {
                if (unlinkat(fd, first.constData(), 0) != 0)
                    break;
                continue;
            }
            const int down =
                openat(fd, first.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            close(fd);
            fd = down;
            names.push_back(first);
            continue;
        }
        if (names.empty()) {
            close(fd);
            return true;
        }
        const int up = openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(fd);
        fd = up;
        if (fd < 0 || unlinkat(fd, names.back().constData(), AT_REMOVEDIR) != 0)
            break;
        names.pop_back();
    }
    if (fd >= 0)
        close(fd);
    return false;
}

} // namespace testsupport
