// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "platform/Twips.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace twips {
namespace {
constexpr double kTwipsPerInch = 1440.0;
constexpr double kFallbackDpi = 96.0;

double dpi(bool horizontal)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return kFallbackDpi;
    const double value = horizontal ? screen->logicalDotsPerInchX() : screen->logicalDotsPerInchY();
    return value > 0 ? value : kFallbackDpi;
}
} // namespace

double pixelsPerInchX()
{
    return dpi(true);
}
double pixelsPerInchY()
{
    return dpi(false);
}

int toPixelsX(double t)
{
    return int(std::lround(t * pixelsPerInchX() / kTwipsPerInch));
}
int toPixelsY(double t)
{
    return int(std::lround(t * pixelsPerInchY() / kTwipsPerInch));
}
double fromPixelsX(int p)
{
    return p * kTwipsPerInch / pixelsPerInchX();
}
double fromPixelsY(int p)
{
    return p * kTwipsPerInch / pixelsPerInchY();
}

QRect toPixels(double left, double top, double width, double height)
{
    return QRect(toPixelsX(left), toPixelsY(top), toPixelsX(width), toPixelsY(height));
}

QSize toPixels(double width, double height)
{
    return QSize(toPixelsX(width), toPixelsY(height));
}

} // namespace twips
