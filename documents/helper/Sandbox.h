// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// How the reader helper shuts itself in before it reads a document.

#include <QtGlobal>

namespace documents::helper {

// The descriptor the program hands the helper its socket on.
constexpr int kSocket = 3;

// Closes every descriptor but 0, 1, 2 and the socket; limits the address
// space to addressSpaceBytes, the size of any file written to 0, open
// descriptors to a few and core files to none. A limit the process already
// has below these stays as it is (addressSpaceBytes becomes the one in
// force). False when a limit could not be set.
bool setLimits(qint64 &addressSpaceBytes);

// Raises the processor-time soft limit to the time the process used so far
// plus `seconds`, rounded up to the whole second the limit is set in; past it
// the kernel ends the process with SIGXCPU. Called before each document; the
// limit is only set when it changes.
bool limitProcessorTime(int seconds);

// No new privileges, then a system-call filter: reading files, memory, the
// socket, and leaving; everything else (opening a file for writing, creating
// a socket, connecting, starting a program or a process) fails with EPERM.
bool shutIn();

} // namespace documents::helper
