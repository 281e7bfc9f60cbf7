// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// SIGTERM, SIGHUP and SIGINT for the window. A session that ends sends
// SIGTERM, a closed terminal SIGHUP, Ctrl+C in it SIGINT; each should close
// the window as its close box does (a search stopped first, the settings
// written), not end the process where it stands. The handler only writes to
// a pipe, as a handler may; the pipe's reader calls `action` from the event
// loop of `context`'s thread, whichever thread took the signal, and also
// while a search lets the event loop run. A second signal while the first
// is honoured ends the process as the signal does by default. A signal the
// program was started with ignored (`tarnwell &` under nohup) stays ignored.

#include <QObject>

#include <functional>

namespace platform {

// False when the pipe or a handler could not be set up (the signals then
// keep their default action).
bool onTerminationSignals(QObject *context, std::function<void()> action);

} // namespace platform
