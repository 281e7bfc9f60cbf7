// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Window and control geometry is designed in twips (1/1440 inch). This is the one
// place that converts, with the primary screen's logical DPI (96 DPI: 15 twips a
// pixel).

#include <QRect>
#include <QSize>

namespace twips {

double pixelsPerInchX();
double pixelsPerInchY();

int toPixelsX(double twips);
int toPixelsY(double twips);
double fromPixelsX(int pixels);
double fromPixelsY(int pixels);

// left, top, width, height in twips to a pixel rectangle.
QRect toPixels(double left, double top, double width, double height);
QSize toPixels(double width, double height);

} // namespace twips
