// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Local files as the desktop names them: file URLs made from native paths and
// back, and what a native path names now. Paths are native bytes throughout,
// so a name that is not valid text keeps its exact bytes.

#include <QByteArray>
#include <QUrl>

namespace platform {

// The file URL of a native path. A path whose bytes do not survive the trip
// through text (not valid UTF-8) is percent-encoded byte by byte, so the URL
// still names exactly that file.
QUrl localFileUrl(const QByteArray &nativePath);

// The native path a URL names, or empty when it is no local file URL. Undoes
// localFileUrl() byte for byte. A trailing separator is kept.
QByteArray nativePathOfUrl(const QUrl &url);

enum class PathKind { Missing, Folder, File };

// What the path names now (links followed). Anything that exists and is not a
// folder counts as a file.
PathKind pathKind(const QByteArray &nativePath);

// The folder that holds the entry, without a trailing separator ("/" for an
// entry of the root). A trailing separator of the path itself is ignored.
QByteArray parentFolder(const QByteArray &nativePath);

} // namespace platform
