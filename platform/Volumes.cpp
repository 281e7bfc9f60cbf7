// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "platform/Volumes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringList>

#include <algorithm>
#include <dirent.h>

namespace platform {
namespace {

// Mount tables escape space, tab, newline and backslash as \ooo.
QString unescapeOctal(const QByteArray &field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const QByteArray digits = field.mid(i + 1, 3);
            bool ok = false;
            const int value = digits.toInt(&ok, 8);
            if (ok && value < 256) {
                out.append(char(value));
                i += 3;
                continue;
            }
        }
        out.append(field[i]);
    }
    return QString::fromUtf8(out);
}

// udev escapes unsafe characters of a label as \xHH.
QString unescapeHex(const QString &name)
{
    const QByteArray in = name.toUtf8();
    QByteArray out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '\\' && i + 3 < in.size() && in[i + 1] == 'x') {
            bool ok = false;
            const int value = in.mid(i + 2, 2).toInt(&ok, 16);
            if (ok) {
                out.append(char(value));
                i += 3;
                continue;
            }
        }
        out.append(in[i]);
    }
    return QString::fromUtf8(out);
}

bool isUnder(const QString &path, const QString &folder)
{
    return path == folder || path.startsWith(folder + QLatin1Char('/'));
}

// Folders that hold system mounts nobody searches: kernel interfaces, run-time
// state, boot partitions and snap images.
bool isSystemPlace(const QString &mountPoint)
{
    if (isUnder(mountPoint, QStringLiteral("/run/media")))
        return false;
    for (const char *place : {"/proc", "/sys", "/dev", "/run", "/boot", "/snap", "/var/lib/docker",
                              "/var/lib/snapd", "/tmp/.mount"}) {
        if (isUnder(mountPoint, QLatin1String(place)))
            return true;
    }
    return false;
}

bool isNetworkType(const QString &type)
{
    static const QStringList types = {
        QStringLiteral("nfs"),        QStringLiteral("nfs4"),
        QStringLiteral("cifs"),       QStringLiteral("smb3"),
        QStringLiteral("smbfs"),      QStringLiteral("fuse.sshfs"),
        QStringLiteral("9p"),         QStringLiteral("ceph"),
        QStringLiteral("glusterfs"),  QStringLiteral("fuse.glusterfs"),
        QStringLiteral("afs"),        QStringLiteral("davfs"),
        QStringLiteral("fuse.davfs2")};
    return types.contains(type);
}

struct Mount {
    QString source;
    QString mountPoint;
    QString type;
};

bool parseLine(const QByteArray &line, bool mountInfo, Mount &mount)
{
    const QList<QByteArray> fields = line.simplified().split(' ');
    if (mountInfo) {
        // ID PARENT MAJ:MIN ROOT MOUNTPOINT OPTIONS [OPTIONAL...] - TYPE SOURCE SUPEROPTIONS
        const qsizetype dash = fields.indexOf("-", 6);
        if (fields.size() < 7 || dash < 0 || dash + 2 >= fields.size())
            return false;
        mount.mountPoint = unescapeOctal(fields[4]);
        mount.type = QString::fromUtf8(fields[dash + 1]);
        mount.source = unescapeOctal(fields[dash + 2]);
    } else {
        // SOURCE MOUNTPOINT TYPE OPTIONS DUMP PASS
        if (fields.size() < 3)
            return false;
        mount.source = unescapeOctal(fields[0]);
        mount.mountPoint = unescapeOctal(fields[1]);
        mount.type = QString::fromUtf8(fields[2]);
    }
    return mount.mountPoint.startsWith(QLatin1Char('/'));
}

} // namespace

QString volumeText(const Volume &volume)
{
    if (volume.label.isEmpty())
        return volume.root;
    return volume.root + QStringLiteral(" [") + volume.label + QLatin1Char(']');
}

QString absoluteFolderPath(const QString &text)
{
    if (text.isEmpty() || text.contains(QChar(0)))
        return {};
    return QDir::cleanPath(QFileInfo(text).absoluteFilePath());
}

QString withTrailingSeparator(const QString &folder)
{
    if (folder.endsWith(separator))
        return folder;
    return folder + separator;
}

bool isOnVolume(const QString &path, const QString &root)
{
    if (root.isEmpty())
        return false;
    if (root == QString(separator))
        return path.startsWith(separator);
    return path == root || path.startsWith(withTrailingSeparator(root));
}

int volumeIndexFor(const QList<Volume> &volumes, const QString &path)
{
    int best = -1;
    for (int i = 0; i < volumes.size(); ++i) {
        if (isOnVolume(path, volumes[i].root) &&
            (best < 0 || volumes[i].root.size() > volumes[best].root.size()))
            best = i;
    }
    return best;
}

bool canOpenFolder(const QString &path)
{
    if (path.isEmpty() || path.contains(QChar(0)))
        return false;
    DIR *dir = ::opendir(QFile::encodeName(path).constData());
    if (!dir)
        return false;
    ::closedir(dir);
    return true;
}

QList<Volume> parseMounts(const QByteArray &text, bool mountInfo, const MountProbes &probes)
{
    QList<Volume> result;
    for (const QByteArray &line : text.split('\n')) {
        Mount mount;
        if (!parseLine(line, mountInfo, mount))
            continue;
        const QString root = QDir::cleanPath(mount.mountPoint);
        QString label;
        bool keep = false;
        if (root == QString(separator)) {
            keep = true;
            if (mount.source.startsWith(QStringLiteral("/dev/")) && probes.labelOf)
                label = probes.labelOf(mount.source);
        } else if (isSystemPlace(root)) {
            keep = false;
        } else if (isNetworkType(mount.type)) {
            keep = true;
            label = mount.source;
        } else if (mount.source.startsWith(QStringLiteral("/dev/")) &&
                   mount.type != QStringLiteral("squashfs")) {
            keep = !probes.isFolder || probes.isFolder(root);
            if (keep && probes.labelOf)
                label = probes.labelOf(mount.source);
        }
        // A later mount on the same point hides the earlier one.
        result.erase(std::remove_if(result.begin(), result.end(),
                                    [&](const Volume &v) { return v.root == root; }),
                     result.end());
        if (keep)
            result.append({root, label});
    }
    return result;
}

// Device path (canonical) -> label, from the links udev keeps.
static QHash<QString, QString> diskLabels()
{
    QHash<QString, QString> labels;
    const QDir dir(QStringLiteral("/dev/disk/by-label"));
    const QFileInfoList links =
        dir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    for (const QFileInfo &link : links) {
        const QString device = link.canonicalFilePath();
        if (!device.isEmpty())
            labels.insert(device, unescapeHex(link.fileName()));
    }
    return labels;
}

} // namespace platform

QList<Volume> SystemVolumeList::volumes() const
{
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    bool mountInfo = true;
    if (!file.open(QIODevice::ReadOnly)) {
        file.setFileName(QStringLiteral("/proc/mounts"));
        mountInfo = false;
    }
    QList<Volume> list;
    if (file.isOpen() || file.open(QIODevice::ReadOnly)) {
        const QHash<QString, QString> labels = platform::diskLabels();
        platform::MountProbes probes;
        // Sources are often links (/dev/mapper/x, /dev/disk/by-uuid/y).
        probes.labelOf = [&labels](const QString &device) {
            const QString canonical = QFileInfo(device).canonicalFilePath();
            return labels.value(canonical.isEmpty() ? device : canonical);
        };
        probes.isFolder = [](const QString &path) { return QFileInfo(path).isDir(); };
        list = platform::parseMounts(file.readAll(), mountInfo, probes);
    }
    const QString rootFolder(platform::separator);
    if (platform::volumeIndexFor(list, rootFolder) < 0)
        list.append({rootFolder, QString()});
    // The home folder is where most searches start: offer it like a volume even
    // when it is not a mount of its own.
    const QString home = QDir::cleanPath(QDir::homePath());
    const bool listed =
        std::any_of(list.begin(), list.end(), [&home](const Volume &v) { return v.root == home; });
    if (home != rootFolder && home.startsWith(platform::separator) && !listed)
        list.append({home, QString()});
    std::stable_sort(list.begin(), list.end(),
                     [](const Volume &a, const Volume &b) { return a.root < b.root; });
    return list;
}

bool SystemVolumeList::isReady(const QString &root) const
{
    return platform::canOpenFolder(root);
}
