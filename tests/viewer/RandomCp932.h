// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Random code page 932 bytes for the viewer's tests.

#include "text/Cp932.h"

#include <QByteArray>
#include <QRandomGenerator>

// Random bytes rich in what trips a decoder: lead bytes at line ends, lead + 00,
// trails that look like ASCII, undefined bytes, tabs, Japanese text, and (with
// lineEnds) all three line ends; without them, none of CR and LF.
inline QByteArray randomCp932(QRandomGenerator &rng, int size, bool lineEnds = true)
{
    static const char pool[] = "abcABC  xyz\t";
    static const unsigned char odd[] = {0x81, 0x82, 0x83, 0x88, 0x9F, 0xE0, 0xEA, 0xED,
                                        0xFA, 0xFC, 0x40, 0x41, 0x5C, 0x7E, 0x80, 0xA0,
                                        0xB1, 0xDF, 0xFD, 0xFE, 0xFF, 0x00, 0xA2, 0xC8};
    QByteArray b;
    while (b.size() < size) {
        const int r = int(rng.bounded(100));
        if (r < 45 || (r >= 80 && r < 97 && !lineEnds))
            b += pool[rng.bounded(int(sizeof pool - 1))];
        else if (r < 80)
            b += char(odd[rng.bounded(int(sizeof odd))]);
        else if (r < 86)
            b += '\n';
        else if (r < 92)
            b += '\r';
        else if (r < 97)
            b += "\r\n";
        else
            b += cp932::encode(u"日本語").bytes;
    }
    return b;
}
