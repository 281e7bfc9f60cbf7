// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "platform/FileSystemType.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace platform {

namespace {

// Magic numbers <linux/magic.h> does not carry in every version.
constexpr unsigned long kConfigfsMagic = 0x62656570;
constexpr unsigned long kFusectlMagic = 0x65735543;
constexpr unsigned long kMqueueMagic = 0x19800202;
constexpr unsigned long kFuseMagic = 0x65735546;
constexpr unsigned long kCifsMagic = 0xFF534D42;
constexpr unsigned long kSmb2Magic = 0xFE534D42;
constexpr unsigned long kSmbMagic = 0x517B;
constexpr unsigned long kV9fsMagic = 0x01021997;
constexpr unsigned long kCephMagic = 0x00C36400;
constexpr unsigned long kAfsMagic = 0x5346414F;
constexpr unsigned long kAfsFsMagic = 0x6B414653;
constexpr unsigned long kCodaMagic = 0x73757245;
constexpr unsigned long kLustreMagic = 0x0BD00BD0;

// devtmpfs is a tmpfs (or ramfs) inside and has no magic number of its own:
// its type name is read from the mount table of this process.
bool isDevtmpfs(quint64 device)
{
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (!table.open(QIODevice::ReadOnly))
        return false;
    const QByteArray id =
        QByteArray::number(major(dev_t(device))) + ':' + QByteArray::number(minor(dev_t(device)));
    // "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw": the
    // third field is the device, the one after " - " the type.
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 3 || fields[2] != id)
            continue;
        const qsizetype dash = fields.indexOf("-");
        if (dash >= 0 && dash + 1 < fields.size() && fields[dash + 1] == "devtmpfs")
            return true;
    }
    return false;
}

} // namespace

bool isPseudoFileSystem(int fd, quint64 device)
{
    struct statfs info;
    if (fstatfs(fd, &info) != 0)
        return false;
    switch (static_cast<unsigned long>(info.f_type)) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case DEVPTS_SUPER_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case SECURITYFS_MAGIC:
    case PSTOREFS_MAGIC:
    case BPF_FS_MAGIC:
    case kConfigfsMagic:
    case kFusectlMagic:
    case kMqueueMagic:
    case HUGETLBFS_MAGIC:
    case BINFMTFS_MAGIC:
    case EFIVARFS_MAGIC:
    case AUTOFS_SUPER_MAGIC:
        return true;
    case TMPFS_MAGIC:
    case RAMFS_MAGIC:
        return isDevtmpfs(device);
    default:
        return false;
    }
}

bool FileSystemTypes::isPseudoAt(int dirFd, const char *name, quint64 device, int *error)
{
    const auto known = m_pseudo.find(device);
    if (known != m_pseudo.end())
        return known->second;
    const int fd = ::openat(dirFd, name, O_PATH | O_CLOEXEC);
    if (fd < 0) {
        *error = errno;
        return false;
    }
    const bool pseudo = isPseudo(fd, device);
    ::close(fd);
    return pseudo;
}

bool isWaitingFileSystem(int fd)
{
    struct statfs info;
    if (fstatfs(fd, &info) != 0)
        return false;
    switch (static_cast<unsigned long>(info.f_type)) {
    case NFS_SUPER_MAGIC:
    case kFuseMagic:
    case kCifsMagic:
    case kSmb2Magic:
    case kSmbMagic:
    case kV9fsMagic:
    case kCephMagic:
    case kAfsMagic:
    case kAfsFsMagic:
    case kCodaMagic:
    case kLustreMagic:
        return true;
    default:
        return false;
    }
}

} // namespace platform
