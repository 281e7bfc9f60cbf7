// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The process's own limits: descriptors, address space, and what to do when
// one runs out.
// Running short of a resource is not the same as a file that cannot be read:
// the callers wait and try again, fall back, or give the run up as failed.

#include <cstddef>

namespace platform {

// Raises the soft descriptor limit to the hard one, as many runtimes do at
// start-up: the soft limit of a desktop session is often far below what the
// system allows. Returns the soft limit now in force (or -1 when unknown).
long raiseDescriptorLimit();

// How many more descriptors this process may open now: the soft limit less
// the descriptors open. A large number when the limit is unlimited.
int descriptorRoom();

// True for an errno that says the process or the system ran short (EMFILE,
// ENFILE, ENOMEM, ENOBUFS), not that the file itself is at fault.
bool isShortOfResources(int error);

// Waits before the attempt-th retry (0, 1, ...) of something that ran short,
// a little longer each time. False, without waiting, once the attempts are
// used up: the caller then reports the failure. About half a second in all.
bool waitForResources(int attempt);

// At start-up, before any thread: where the address space is limited
// (RLIMIT_AS, as `ulimit -v` sets it), keeps every thread's allocations in the
// one main arena of the C library. glibc otherwise reserves up to 64 MiB of
// address space for a new thread's arena at its first allocation, which many
// threads under a low limit take from the memory the run needs (the list of
// files). Without a limit nothing changes.
void fitMemoryArenas();

// True when another thread may start and still leave `headroom` bytes of
// address space free: its stack is counted too. Always true where the
// address space is not limited (no probe is made there).
bool roomForAnotherThread(std::size_t headroom);

} // namespace platform
