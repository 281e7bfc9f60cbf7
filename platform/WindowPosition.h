// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Where a top-level window really is, asked of the window system.
//
// An X11 window manager that adds a frame moves the frame, not the window
// inside it, and tells the program the new place only by a synthetic event
// that some managers (openbox among them) fill with the frame's corner: Qt
// then believes the inside to be a whole frame border and title bar further up
// and to the left than it is. The window system itself knows the truth.

#include <QPoint>

#include <optional>

class QWidget;

namespace platform {

// The top-left corner of the window's inside (its client area) on the screen,
// in Qt's pixels, as the window system has it; nothing where it cannot be
// asked (not X11, no native window yet), and Qt's own geometry then stands.
std::optional<QPoint> insidePosition(const QWidget *window);

} // namespace platform
