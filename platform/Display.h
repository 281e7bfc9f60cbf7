// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Whether a windowing system can be reached, asked before the application object
// exists, so that a missing display gives one clear line instead of a Qt abort.

namespace platform {

// True when QT_QPA_PLATFORM names a platform, or a Wayland or X11 display is set.
bool displayAvailable();

// Prints the one-line "no display" message to stderr, prefixed with program.
void reportNoDisplay(const char *program);

} // namespace platform
