// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Opening a file by its native path at any depth. open() takes a path of at
// most PATH_MAX (4,096) bytes; a deeper file is reached here by opening its
// folders in groups, each group relative to the descriptor of the one before,
// so the length of a path is limited only by memory. Links, "." and ".." are
// resolved exactly as open() resolves them on the whole path. And the copies
// of a descriptor that one thread hands to another.

#include <QByteArray>
#include <QtGlobal>

namespace platform {

// openat(2), tried again when a signal interrupts it. Returns the descriptor,
// or -1 with errno set.
int openAtRetrying(int dirFd, const char *path, int flags);

// open(2) of nativePath with the given flags, at any depth. At most two extra
// descriptors are open at a time, and none once it returns. Returns the
// descriptor, or -1 with errno set.
int openAnyDepth(const QByteArray &nativePath, int flags);

// Opens a file to read it only: at any depth, close-on-exec, never blocking on
// a FIFO or becoming the controlling terminal, and without touching its access
// time where the system allows that (Linux allows it to the file's owner and
// to a privileged user). Returns the descriptor, or -1 with errno set.
int openForReading(const QByteArray &nativePath);

// A second descriptor of the file or folder that fd has open, close-on-exec,
// which stays open when fd is closed. Returns it, or -1 with errno set (the
// process or the system ran short of descriptors).
int duplicateDescriptor(int fd);

// Closes a descriptor this process opened (one from the calls above).
void closeDescriptor(int fd);

// True when fd has a regular file open (not a folder, FIFO or device).
bool isRegularFile(int fd);
// The size of the file fd has open, or -1.
qint64 fileSize(int fd);

// Reads up to `size` bytes from `offset` without moving the file's position,
// retrying a read cut short by a signal. Returns the count (less at the end of
// the file), or -1 with errno set.
qsizetype readAt(int fd, char *buffer, qsizetype size, qint64 offset);

} // namespace platform
