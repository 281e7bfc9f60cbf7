// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "packaging/IconConvert.h"

#include <QString>

namespace iconconvert {

QImage scaledIcon(const QImage &source, int size)
{
    if (source.isNull() || size < 1)
        return {};
    const QImage argb = source.convertToFormat(QImage::Format_ARGB32);
    if (argb.width() == size && argb.height() == size)
        return argb;
    const bool wholeMultiple = size % argb.width() == 0 && size % argb.height() == 0;
    return argb.scaled(size, size, Qt::IgnoreAspectRatio,
                       wholeMultiple ? Qt::FastTransformation : Qt::SmoothTransformation);
}

static QString svgColour(QRgb pixel)
{
    return QStringLiteral("#%1%2%3")
        .arg(qRed(pixel), 2, 16, QLatin1Char('0'))
        .arg(qGreen(pixel), 2, 16, QLatin1Char('0'))
        .arg(qBlue(pixel), 2, 16, QLatin1Char('0'));
}

QByteArray svgFromImage(const QImage &source)
{
    if (source.isNull())
        return {};
    const QImage argb = source.convertToFormat(QImage::Format_ARGB32);
    const int w = argb.width();
    const int h = argb.height();
    QString svg = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                 "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" "
                                 "height=\"%2\" viewBox=\"0 0 %1 %2\" "
                                 "shape-rendering=\"crispEdges\">\n")
                      .arg(w)
                      .arg(h);
    for (int y = 0; y < h; ++y) {
        int x = 0;
        while (x < w) {
            const QRgb pixel = argb.pixel(x, y);
            int end = x + 1;
            while (end < w && argb.pixel(end, y) == pixel)
                ++end;
            if (qAlpha(pixel) != 0) {
                svg += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"1\" "
                                      "fill=\"%4\"")
                           .arg(x)
                           .arg(y)
                           .arg(end - x)
                           .arg(svgColour(pixel));
                if (qAlpha(pixel) != 255)
                    svg += QStringLiteral(" fill-opacity=\"%1\"").arg(qAlpha(pixel) / 255.0);
                svg += QStringLiteral("/>\n");
            }
            x = end;
        }
    }
    svg += QStringLiteral("</svg>\n");
    return svg.toUtf8();
}

} // namespace iconconvert
