// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The volumes a user picks a folder from, the folder separator, and what "not
// ready" means for a volume. On Linux the "drives" are the mounted volumes: the
// root "/", the user's home folder and the removable, fixed and network mounts,
// never the kernel's pseudo file systems. A volume is ready when its root folder
// can be opened (not unmounted, not stale, not forbidden).

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

struct Volume {
    QString root;  // absolute, cleaned, no trailing separator except for "/"
    QString label; // volume label or network source; empty when it has none
};

class VolumeList {
public:
    virtual ~VolumeList() = default;
    // The volumes to offer, in the order the drive list shows them. Read afresh
    // on every call.
    virtual QList<Volume> volumes() const = 0;
    // True when the folder root of a listed volume can be opened now.
    virtual bool isReady(const QString &root) const = 0;
};

// The real list, from /proc/self/mountinfo (or /proc/mounts), labels from
// /dev/disk/by-label.
class SystemVolumeList : public VolumeList {
public:
    QList<Volume> volumes() const override;
    bool isReady(const QString &root) const override;
};

namespace platform {

inline constexpr QChar separator = QLatin1Char('/');

// The text the drive list shows for a volume: its root, then " [label]" when it
// has a label.
QString volumeText(const Volume &volume);

// `text` as an absolute, cleaned folder path (relative texts are taken from the
// process's current folder); empty when the text cannot name a folder (empty,
// or holding a NUL character).
QString absoluteFolderPath(const QString &text);

// `folder` followed by exactly one separator ("/" stays "/").
QString withTrailingSeparator(const QString &folder);

// True when `path` is `root` itself or lies below it (whole path components).
bool isOnVolume(const QString &path, const QString &root);

// Index in `volumes` of the volume whose root is the longest prefix of the
// absolute, cleaned `path`; -1 when none is.
int volumeIndexFor(const QList<Volume> &volumes, const QString &path);

// True when the folder can be opened for listing now.
bool canOpenFolder(const QString &path);

// Parses the text of /proc/self/mountinfo (`mountInfo` true) or /proc/mounts and
// keeps the mounts a user would pick from, in file order, a later mount on the
// same point replacing an earlier one. `labelOf` gives a device's label (empty
// for none). `isFolder` tells whether a mount point is a folder (bind mounts of
// single files are skipped); both are asked only about block-device mounts, so
// a stale network mount is never touched.
struct MountProbes {
    std::function<QString(const QString &device)> labelOf;
    std::function<bool(const QString &path)> isFolder;
};
QList<Volume> parseMounts(const QByteArray &text, bool mountInfo, const MountProbes &probes);

} // namespace platform
