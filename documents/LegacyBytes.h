// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Little-endian reads and 8-bit code pages for the binary Office formats and
// RTF. Every read is checked against the bytes it reads from.

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

namespace documents::legacy {

inline quint16 le16(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return quint16(u[0] | u[1] << 8);
}
inline quint32 le32(const char *p)
{
    return quint32(le16(p)) | quint32(le16(p + 2)) << 16;
}
inline quint64 le64(const char *p)
{
    return quint64(le32(p)) | quint64(le32(p + 4)) << 32;
}

// Whether [offset, offset + size) lies inside `bytes`.
inline bool fits(QByteArrayView bytes, qint64 offset, qint64 size)
{
    return offset >= 0 && size >= 0 && offset <= bytes.size() && size <= bytes.size() - offset;
}

// 8-bit text in a Windows code page: 932 (Japanese, two bytes a character)
// and otherwise 1252 (Western), which the other single-byte pages are read
// as. `codePage` 0 means 1252.
void appendCodePage(QByteArrayView bytes, int codePage, QString &out);
QString decodeCodePage(QByteArrayView bytes, int codePage);
// One byte of code page 1252.
char16_t cp1252(unsigned char byte);

// UTF-16LE units, as stored.
void appendUtf16(QByteArrayView bytes, QString &out);

} // namespace documents::legacy
