// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Random bytes for the engine's differential tests.

#include <QByteArray>
#include <QList>
#include <QRandomGenerator>

// Random bytes weighted towards what trips a code-page-932 matcher.
inline QByteArray randomBytes(QRandomGenerator &rng, const QList<QByteArray> &pieces,
                              qsizetype length)
{
    QByteArray out;
    while (out.size() < length) {
        const int kind = int(rng.bounded(100));
        if (kind < 25)
            out += char(rng.bounded(2) ? 0x81 + rng.bounded(31) : 0xE0 + rng.bounded(29));
        else if (kind < 33)
            out += '\x5C';
        else if (kind < 39)
            out += '\r';
        else if (kind < 45)
            out += '\n';
        else if (kind < 49)
            out += '\0';
        else if (kind < 64)
            out += pieces[rng.bounded(pieces.size())];
        else if (kind < 80)
            out += char(0x40 + rng.bounded(0x3F)); // ASCII trail bytes
        else if (kind < 88)
            out += char(0xA1 + rng.bounded(0x3F)); // half-width katakana
        else
            out += char(rng.bounded(256));
    }
    return out;
}
