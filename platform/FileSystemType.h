// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Which file systems hold user files. The kernel's pseudo file systems (proc,
// sysfs, cgroup and the like) hold none, and some have link graphs with an
// exponential number of paths; the walk does not enter them from outside.

#include <QtGlobal>

#include <unordered_map>

namespace platform {

// True when the open folder fd lies on a pseudo file system: proc, sysfs,
// devtmpfs, devpts, cgroup, cgroup2, debugfs, tracefs, securityfs, pstore, bpf,
// configfs, fusectl, mqueue, hugetlbfs, binfmt_misc, efivarfs or autofs.
// device: the fd's st_dev, used to tell devtmpfs from an ordinary tmpfs.
bool isPseudoFileSystem(int fd, quint64 device);

// The same, asked once per device: a walk sees few devices and many folders.
class FileSystemTypes {
public:
    bool isPseudo(int fd, quint64 device)
    {
        const auto known = m_pseudo.find(device);
        if (known != m_pseudo.end())
            return known->second;
        const bool pseudo = isPseudoFileSystem(fd, device);
        m_pseudo.emplace(device, pseudo);
        return pseudo;
    }

    // The same for the entry `name` of the open folder dirFd (a link is
    // followed), which lies on `device`. Opens it (O_PATH) only when the
    // device was not seen before. When it cannot be opened, returns false
    // and sets *error to the errno (left alone otherwise).
    bool isPseudoAt(int dirFd, const char *name, quint64 device, int *error);

private:
    std::unordered_map<quint64, bool> m_pseudo; // by st_dev
};

} // namespace platform
