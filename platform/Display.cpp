// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "platform/Display.h"

#include <cstdio>
#include <cstdlib>

namespace platform {
namespace {
bool isSet(const char *name)
{
    const char *value = std::getenv(name);
    return value && *value;
}
} // namespace

bool displayAvailable()
{
    return isSet("QT_QPA_PLATFORM") || isSet("DISPLAY") || isSet("WAYLAND_DISPLAY");
}

void reportNoDisplay(const char *program)
{
    std::fprintf(stderr,
                 "%s: no display found: set DISPLAY (X11) or WAYLAND_DISPLAY, or run it "
                 "under xvfb-run\n",
                 program);
}

} // namespace platform
