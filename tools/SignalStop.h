// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// SIGINT and SIGTERM for a command-line run. The first one received requests
// the stop of the returned token: the run unwinds in order, its document
// helpers are ended, and the program exits 128 + stopSignal(). A second one,
// while the first is being honoured, ends the process at once: every child
// process (a document helper) is killed and reaped, then it exits 128 + that
// signal's number, without flushing standard output.
// With helpers, stopOnSignals() blocks both (so call it before any thread
// starts: every thread inherits the mask) and waits for them on a thread of
// its own, with sigwait(), since stopping the helpers' pool runs its stop
// callback; without, a handler requests the stop, and no thread is added.
// A signal the program was started with ignored (`cmd &` in a script) stays
// ignored.

#include <stop_token>

namespace tools {

std::stop_token stopOnSignals(bool helpers);

// 0, or the first signal received (SIGINT or SIGTERM).
int stopSignal();

} // namespace tools
