// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// A whole regular file's bytes, read-only, for the result viewer: mapped where
// the system can, else read into memory. The file is opened at any depth and,
// where the system allows, without touching its access time (PathOpen.h).
//
// A mapped file that another program truncates while it is mapped reads as zero
// bytes past its new end instead of ending the program: a SIGBUS handler,
// installed with the first mapping, replaces the rest of such a mapping with
// zero pages. Signals that do not fall into one of our mappings go to whatever
// handler was there before.

#include <QByteArray>

#include <memory>

namespace platform {

// Reads the whole regular file at nativePath. On success, out holds its bytes;
// when the file is mapped, out points into the mapping and mapping keeps it
// alive, so drop out before mapping. False (out and mapping left empty) when
// the file is missing, not a regular file, unreadable or too large for memory;
// never blocks on a FIFO or device.
bool readWholeFile(const QByteArray &nativePath, QByteArray &out,
                   std::shared_ptr<const void> &mapping);

} // namespace platform
