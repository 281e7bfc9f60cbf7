// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// Build-time helper: tarnwell-icon-tool SOURCE OUTPUT [SIZE]
// Reads the program icon (any format Qt reads, XPM here) and writes it as a PNG
// of SIZE x SIZE pixels, or as a scalable SVG when OUTPUT ends in ".svg".
// Exits 0 on success, 1 with a message on stderr otherwise.

#include "packaging/IconConvert.h"

#include <QFile>
#include <QImage>
#include <QString>

#include <cstdio>

static int fail(const QString &message)
{
    std::fprintf(stderr, "tarnwell-icon-tool: %s\n", qPrintable(message));
    return 1;
}

int main(int argc, char *argv[])
{
    if (argc < 3 || argc > 4)
        return fail(QStringLiteral("usage: tarnwell-icon-tool SOURCE OUTPUT [SIZE]"));
    const QString sourcePath = QString::fromLocal8Bit(argv[1]);
    const QString outputPath = QString::fromLocal8Bit(argv[2]);

    QImage source;
    if (!source.load(sourcePath))
        return fail(QStringLiteral("cannot read image %1").arg(sourcePath));

    if (outputPath.endsWith(QLatin1String(".svg"))) {
        QFile out(outputPath);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return fail(QStringLiteral("cannot write %1").arg(outputPath));
        const QByteArray svg = iconconvert::svgFromImage(source);
        if (out.write(svg) != svg.size() || !out.flush())
            return fail(QStringLiteral("cannot write %1").arg(outputPath));
        return 0;
    }

    bool ok = argc == 4;
    const int size = ok ? QString::fromLocal8Bit(argv[3]).toInt(&ok) : 0;
    if (!ok || size < 1 || size > 1024)
        return fail(QStringLiteral("a PNG needs a size from 1 to 1024"));
    const QImage icon = iconconvert::scaledIcon(source, size);
    if (icon.isNull() || !icon.save(outputPath, "PNG"))
        return fail(QStringLiteral("cannot write %1").arg(outputPath));
    return 0;
}
