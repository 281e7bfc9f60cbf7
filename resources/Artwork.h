// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The program's artwork, kept as reviewable text (XPM) in this folder.

#include <QCursor>
#include <QIcon>
#include <QPixmap>

namespace artwork {

// The program icon: 32 x 32, 16 colours, a magnifying glass with a red handle
// over a blue shape. Used on every window and in the taskbar.
QPixmap programIconPixmap();
QIcon programIcon();

// ImageList1: images 1 to 5, 16 x 16, 16 colours, silver as the transparent mask
// colour: 1 page, 2 open folder, 3 binoculars, 4 yellow question mark,
// 5 magnifying glass. An index outside 1..5 gives a null pixmap.
QPixmap toolbarImage(int index);

// The splitter's pointer: a left-right double arrow across a short vertical bar,
// hot spot at (10, 8).
QCursor splitterCursor();

} // namespace artwork
