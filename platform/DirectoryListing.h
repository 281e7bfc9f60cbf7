// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Folder listing and native paths for the folder walk. Paths are native bytes:
// a name that is not valid text can still be listed and opened.
//
// Folders are opened relative to an open parent folder, so the walk goes to
// any depth: no call ever hands the kernel a path longer than it accepts.

#include <QByteArray>
#include <QString>

#include <vector>

namespace platform {

// The folder separator of this platform.
inline constexpr char kSeparator = '/';

// The folder text as native bytes, ending in the separator. The empty text is
// the root folder of the current drive.
QByteArray nativeFolderPath(const QString &folder);
// The same for a folder already given as native bytes (a command-line argument).
QByteArray nativeFolderPath(const QByteArray &folder);

// A native path as text for display; bytes that are not UTF-8 show as U+FFFD.
QString displayPath(const QByteArray &nativePath);

struct FolderEntry {
    QByteArray name; // as the listing returned it
    bool isFolder = false;
    // A link (or an entry whose device is not its folder's): the device it
    // lies on, which may be another file system.
    bool throughLink = false;
    quint64 device = 0;
};

// Identity of a folder on its volume, to notice a folder reached twice.
struct FolderId {
    quint64 device = 0;
    quint64 inode = 0;
    friend bool operator==(const FolderId &, const FolderId &) = default;
};

// Why a folder could not be opened or listed: an errno value.
using FolderError = int;

// Opens the folder at a native path of any length, relative to the current
// folder when it does not start with the separator. Long paths are opened a
// piece at a time, each piece relative to the folder the last one reached.
// flags: open(2) flags added to O_DIRECTORY | O_CLOEXEC (O_PATH, or O_RDONLY).
// Returns the descriptor, or -1 with errno set.
int openFolderPath(const QByteArray &path, int flags);

// The open(2) flags with which openChild() opens a sub-folder to check it:
// O_PATH without O_DIRECTORY. The kernel's path walk mounts an automount
// point that is not mounted yet only when the lookup asks for a folder
// (O_DIRECTORY), opens it for reading, creates, or passes through it; an
// O_PATH open of the point itself does none of these, so it gives the
// descriptor of the point (autofs, a pseudo file system) and mounts nothing.
int childCheckFlags();

// One open folder. Move-only; closes its descriptor when destroyed. The
// descriptor is an O_PATH one: opening it reads nothing and triggers no
// automount, so the folder's identity and file system can be checked before
// it is listed.
class Folder {
public:
    Folder() = default;
    Folder(Folder &&other) noexcept;
    Folder &operator=(Folder &&other) noexcept;
    Folder(const Folder &) = delete;
    Folder &operator=(const Folder &) = delete;
    ~Folder() { close(); }

    // The folder at a native path (any length). Links are followed.
    static Folder open(const QByteArray &path, FolderError *error = nullptr);
    // The sub-folder `name` of an open folder (a link to a folder is followed).
    // ENOTDIR when name is not a folder.
    static Folder openChild(const Folder &parent, const QByteArray &name,
                            FolderError *error = nullptr);
    // The folder at a native path, opened as openChild() opens one: an
    // automount point at its end is left as it is, not mounted.
    static Folder openAsChild(const QByteArray &path, FolderError *error = nullptr);

    bool isOpen() const { return m_fd >= 0; }
    FolderId id() const { return m_id; } // read when the folder was opened
    int descriptor() const { return m_fd; }
    void close();

    // Lists the folder whole, in the file system's own order: hidden entries
    // included, "." and ".." left out. Only folders and regular files are kept
    // (links are resolved); FIFOs, sockets, devices and dangling links are
    // dropped, since reading one can block forever. Returns false, with nothing
    // listed, when the folder cannot be read. When the listing breaks off
    // part-way (the file system reports an error after some entries), returns
    // true with the entries read so far and sets *brokenOff to the errno.
    bool list(std::vector<FolderEntry> &entries, FolderError *error = nullptr,
              FolderError *brokenOff = nullptr) const;

private:
    static Folder adopt(int fd, FolderError *error);

    int m_fd = -1;
    FolderId m_id;
};

namespace testing {
// Makes the next `times` listings (-1: every one) fail with `error`, for what
// the tests cannot bring about at will (EIO part-way, ENOMEM): with
// `entries` 0 the listing cannot be opened, else it breaks off after that
// many entries. error 0 turns it off. Set it only while no run is going.
void setListingFault(int error, int entries = 0, int times = -1);
// Makes the listings report every entry's type as unknown (DT_UNKNOWN), as
// some FUSE, network and older file systems do. Set it only while no run is going.
void setEntryTypesUnknown(bool unknown);
} // namespace testing

} // namespace platform
