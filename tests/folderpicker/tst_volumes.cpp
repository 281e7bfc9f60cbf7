// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The volume list: which mounts a user is offered, how a path finds its volume,
// and the separator rules that `path` depends on.

#include "platform/Volumes.h"

#include <QTemporaryDir>
#include <QTest>

class VolumesTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void mountsOffered_data();
    void mountsOffered();
    void labelsAndEscapes();
    void laterMountHidesEarlier();
    void volumeForPath_data();
    void volumeForPath();
    void folderPaths();
    void systemListOnThisMachine();
};

namespace {
platform::MountProbes probes()
{
    platform::MountProbes p;
    p.labelOf = [](const QString &device) {
        return device == QStringLiteral("/dev/sdb1") ? QStringLiteral("USB STICK") : QString();
    };
    p.isFolder = [](const QString &path) { return !path.startsWith(QStringLiteral("/etc/")); };
    return p;
}

QByteArray infoLine(const char *mountPoint, const char *type, const char *source)
{
    return QByteArray("36 25 8:1 / ") + mountPoint + " rw,relatime shared:1 - " + type + ' ' +
           source + " rw\n";
}
} // namespace

void VolumesTest::mountsOffered_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("expected"); // volume text, empty when skipped

    QTest::newRow("root on overlay") << infoLine("/", "overlay", "overlay") << "/";
    QTest::newRow("root on disk") << infoLine("/", "ext4", "/dev/sda2") << "/";
    QTest::newRow("removable") << infoLine("/media/ann/STICK", "vfat", "/dev/sdb1")
                               << "/media/ann/STICK [USB STICK]";
    QTest::newRow("udisks place") << infoLine("/run/media/ann/X", "exfat", "/dev/sdc1")
                                  << "/run/media/ann/X";
    QTest::newRow("nfs share") << infoLine("/srv/share", "nfs4", "fs:/export")
                               << "/srv/share [fs:/export]";
    QTest::newRow("cifs share") << infoLine("/mnt/win", "cifs", "//host/c")
                                << "/mnt/win [//host/c]";
    QTest::newRow("proc") << infoLine("/proc", "proc", "proc") << "";
    QTest::newRow("sysfs") << infoLine("/sys", "sysfs", "sysfs") << "";
    QTest::newRow("cgroup") << infoLine("/sys/fs/cgroup", "cgroup2", "cgroup2") << "";
    QTest::newRow("tmpfs") << infoLine("/tmp", "tmpfs", "tmpfs") << "";
    QTest::newRow("devpts") << infoLine("/dev/pts", "devpts", "devpts") << "";
    QTest::newRow("run state") << infoLine("/run/lock", "ext4", "/dev/sda2") << "";
    QTest::newRow("boot") << infoLine("/boot/efi", "vfat", "/dev/sda1") << "";
    QTest::newRow("snap image") << infoLine("/mnt/app", "squashfs", "/dev/loop3") << "";
    QTest::newRow("file bind mount") << infoLine("/etc/hosts", "ext4", "/dev/vda") << "";
    QTest::newRow("broken line") << QByteArray("36 25 8:1 / /data rw\n") << "";
}

void VolumesTest::mountsOffered()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, expected);
    const QList<Volume> list = platform::parseMounts(line, true, probes());
    if (expected.isEmpty()) {
        QVERIFY2(list.isEmpty(), qPrintable(platform::volumeText(list.value(0))));
    } else {
        QCOMPARE(list.size(), 1);
        QCOMPARE(platform::volumeText(list[0]), expected);
    }
}

void VolumesTest::labelsAndEscapes()
{
    // Spaces in mount points are written \040 in both tables.
    const QByteArray info = infoLine("/media/ann/My\\040Disk", "ext4", "/dev/sdb1");
    const QList<Volume> fromInfo = platform::parseMounts(info, true, probes());
    QCOMPARE(fromInfo.size(), 1);
    QCOMPARE(fromInfo[0].root, QStringLiteral("/media/ann/My Disk"));
    QCOMPARE(fromInfo[0].label, QStringLiteral("USB STICK"));

    const QByteArray mounts = "/dev/sdb1 /mnt/a\\040b vfat rw 0 0\nproc /proc proc rw 0 0\n";
    const QList<Volume> fromMounts = platform::parseMounts(mounts, false, probes());
    QCOMPARE(fromMounts.size(), 1);
    QCOMPARE(platform::volumeText(fromMounts[0]), QStringLiteral("/mnt/a b [USB STICK]"));
}

void VolumesTest::laterMountHidesEarlier()
{
    const QByteArray text = infoLine("/mnt/x", "ext4", "/dev/sdb1") +
                            infoLine("/mnt/x", "tmpfs", "tmpfs") +
                            infoLine("/mnt/y", "ext4", "/dev/sdc1");
    const QList<Volume> list = platform::parseMounts(text, true, probes());
    QCOMPARE(list.size(), 1);
    QCOMPARE(list[0].root, QStringLiteral("/mnt/y"));
}

void VolumesTest::volumeForPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("index");
    QTest::newRow("root") << "/" << 0;
    QTest::newRow("plain folder") << "/usr/share" << 0;
    QTest::newRow("volume root") << "/media/usb" << 1;
    QTest::newRow("inside volume") << "/media/usb/docs" << 1;
    QTest::newRow("name only shares a prefix") << "/media/usbx" << 0;
    QTest::newRow("nested volume wins") << "/media/usb/inner/a" << 2;
    QTest::newRow("empty") << "" << -1;
    QTest::newRow("relative text") << "media" << -1;
}

void VolumesTest::volumeForPath()
{
    QFETCH(QString, path);
    QFETCH(int, index);
    const QList<Volume> volumes = {{"/", ""}, {"/media/usb", "USB"}, {"/media/usb/inner", ""}};
    QCOMPARE(platform::volumeIndexFor(volumes, path), index);
}

void VolumesTest::folderPaths()
{
    QCOMPARE(platform::withTrailingSeparator("/"), QStringLiteral("/"));
    QCOMPARE(platform::withTrailingSeparator("/home/ann"), QStringLiteral("/home/ann/"));
    QCOMPARE(platform::withTrailingSeparator("/home/ann/"), QStringLiteral("/home/ann/"));

    QCOMPARE(platform::absoluteFolderPath("//"), QStringLiteral("/"));
    QCOMPARE(platform::absoluteFolderPath("/home/ann/"), QStringLiteral("/home/ann"));
    QCOMPARE(platform::absoluteFolderPath("/a//b/../c"), QStringLiteral("/a/c"));
    QVERIFY(platform::absoluteFolderPath(QString()).isEmpty());
    QVERIFY(platform::absoluteFolderPath(QStringLiteral("/tmp") + QChar(0) + "x").isEmpty());

    QTemporaryDir dir;
    QVERIFY(platform::canOpenFolder(dir.path()));
    QVERIFY(!platform::canOpenFolder(dir.filePath("missing")));
}

void VolumesTest::systemListOnThisMachine()
{
    const QList<Volume> list = SystemVolumeList().volumes();
    QVERIFY(!list.isEmpty());
    QCOMPARE(list.first().root, QStringLiteral("/"));
    for (const Volume &volume : list) {
        QVERIFY2(!volume.root.startsWith("/proc") && !volume.root.startsWith("/sys"),
                 qPrintable(volume.root));
    }
    QVERIFY(SystemVolumeList().isReady("/"));
}

QTEST_GUILESS_MAIN(VolumesTest)
#include "tst_volumes.moc"
