// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/LegacyBytes.h"

#include "text/Cp932.h"
#include "text/Unicode.h"

namespace documents::legacy {

char16_t cp1252(unsigned char byte)
{
    // 80-9F, where 1252 differs from Latin-1; the five unassigned bytes
    // read as the C1 controls of the same value, as Windows reads them.
    static constexpr char16_t k80[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    if (byte >= 0x80 && byte < 0xA0)
        return k80[byte - 0x80];
    return char16_t(byte);
}

void appendCodePage(QByteArrayView bytes, int codePage, QString &out)
{
    if (codePage == 932) {
        cp932::appendDecoded(bytes.data(), bytes.size(), out);
        return;
    }
    const qsizetype used = out.size();
    out.resize(used + bytes.size());
    char16_t *dst = reinterpret_cast<char16_t *>(out.data()) + used;
    for (const char c : bytes)
        *dst++ = cp1252(static_cast<unsigned char>(c));
}

QString decodeCodePage(QByteArrayView bytes, int codePage)
{
    QString out;
    appendCodePage(bytes, codePage, out);
    return out;
}

void appendUtf16(QByteArrayView bytes, QString &out)
{
    // Whole units only: a last odd byte is no character. A lone surrogate
    // reads as U+FFFD, as in a UTF-16 text file.
    platform::appendUtf16(bytes.data(), bytes.size() & ~qsizetype(1), false, out);
}

} // namespace documents::legacy
