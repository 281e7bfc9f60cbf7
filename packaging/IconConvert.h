// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Turns the program's pixel-art icon into the files a desktop icon theme wants:
// PNGs at fixed sizes and one scalable SVG. Qt Gui's image classes only; no
// application object is needed.

#include <QByteArray>
#include <QImage>

namespace iconconvert {

// The icon at size x size pixels, as ARGB32 with its transparent pixels kept.
// Sizes that are a whole multiple of the source repeat each pixel, so the
// pixel art stays sharp; other sizes are scaled smoothly. A null image or a
// size below 1 gives a null image.
QImage scaledIcon(const QImage &source, int size);

// The icon as an SVG document whose view box is the source's pixel grid: one
// rectangle per horizontal run of equal colour, fully transparent pixels
// left out. A null image gives an empty array.
QByteArray svgFromImage(const QImage &source);

} // namespace iconconvert
