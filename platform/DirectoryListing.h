// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Folder listing and native paths for the folder walk. Paths are native bytes:
// a name that is not valid text can still be listed and opened.

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
};

// Identity of a folder on its volume, to notice a folder reached twice.
struct FolderId {
    quint64 device = 0;
    quint64 inode = 0;
    friend bool operator==(const FolderId &, const FolderId &) = default;
};

// Lists the folder (native bytes, ending in the separator) whole, in the file
// system's own order: hidden entries included, "." and ".." left out. Only
// folders and regular files are kept (links are resolved); FIFOs, sockets,
// devices and dangling links are dropped, since reading one can block forever.
// Returns false, with nothing listed, when the folder cannot be read.
bool listFolder(const QByteArray &folder, std::vector<FolderEntry> &entries, FolderId &id);

} // namespace platform
