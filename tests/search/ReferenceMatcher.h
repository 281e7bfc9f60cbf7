// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The plain way to decide a match, kept as the oracle for the engine: split the
// bytes into lines (CR-LF or CR ends a line, a lone LF does not), decode each
// line, and look for every word in it.

#include "text/Cp932.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

inline bool referenceMatches(const QByteArray &bytes, const QStringList &words)
{
    qsizetype start = 0;
    while (start <= bytes.size()) {
        qsizetype end = bytes.indexOf('\r', start);
        const bool last = end < 0;
        if (last)
            end = bytes.size();
        const QString line = cp932::decode(bytes.constData() + start, end - start);
        bool all = true;
        for (const QString &word : words)
            all = all && line.contains(word);
        if (all)
            return true;
        if (last)
            break;
        start = end + 1;
        if (start < bytes.size() && bytes[start] == '\n')
            ++start;
    }
    return false;
}
