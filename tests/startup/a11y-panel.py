#!/usr/bin/python3
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
# Asks the accessibility bus, as a screen reader would, for the text of the
# first panel of the status bar of the application named NAME, and prints it
# (UTF-8, one line). Prints "error WHAT" and exits 1 when there is no such
# application or status bar yet, or when the application does not answer
# within the timeout: the caller polls with a deadline of its own.
# Usage: a11y-panel.py NAME [TIMEOUT_MS]
# Debian's introspection data is for its own python3, hence the path above.
import sys

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402


def find(node, role, depth):
    """The first node of ROLE at most DEPTH levels below NODE, or None."""
    if node.get_role() == role:
        return node
    if depth == 0:
        return None
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        found = find(child, role, depth - 1) if child is not None else None
        if found is not None:
            return found
    return None


def panel(name):
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is None or app.get_name() != name:
            continue
        # application > frame > the window's client area > status bar
        bar = find(app, Atspi.Role.STATUS_BAR, 3)
        if bar is None or bar.get_child_count() == 0:
            return None, "no status bar"
        return bar.get_child_at_index(0).get_name(), None
    return None, "no application " + name


def main():
    name = sys.argv[1]
    timeout = int(sys.argv[2]) if len(sys.argv) > 2 else 5000
    Atspi.set_timeout(timeout, timeout)
    try:
        text, error = panel(name)
    except GLib.Error as e:
        text, error = None, e.message
    line = text if error is None else "error " + error
    sys.stdout.buffer.write(line.replace("\n", " ").encode("utf-8") + b"\n")
    return 0 if error is None else 1


if __name__ == "__main__":
    sys.exit(main())
