// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "viewer/TextFind.h"

#include "platform/ByteSearch.h"
#include "text/Cp932.h"
#include "text/Cp932Boundary.h"

#include <algorithm>

namespace {

constexpr qsizetype kFindChunk = 1 << 20; // characters searched at a time

// A byte search for text with exactly one byte form: a hit counts only where a
// unit starts, so a match inside a double-byte character is passed over. Linear
// in the bytes searched: the boundary cursor never reads back past the last
// boundary it proved, and hits inside a long run of lead-range bytes are crossed
// pair by pair.
qsizetype findFast(const LineIndex &index, const QByteArray &pattern, qsizetype start)
{
    const LineIndex::Line first = index.lineForOffset(start);
    const qsizetype base = index.rawPosOfChar(first, start - first.offset); // a unit boundary
    const auto *data = reinterpret_cast<const unsigned char *>(index.bytes().constData());
    const qsizetype size = index.bytes().size();
    const auto firstByte = static_cast<unsigned char>(pattern.front());
    cp932::BoundaryCursor cursor(data + base);
    qsizetype pos = base;
    while (pos < size) {
        const char *hit =
            platform::findBytes(reinterpret_cast<const char *>(data + pos), size - pos, pattern);
        if (!hit)
            return -1;
        const auto *h = reinterpret_cast<const unsigned char *>(hit);
        if (cursor.isBoundary(h)) {
            const LineIndex::Line line = index.lineForRawPos(h - data);
            return line.offset + index.charsIn(line.begin, h - data);
        }
        pos = cursor.skipLeadPairs(data + size, [firstByte](unsigned char b) {
            return b == firstByte;
        }) - data;
    }
    return -1;
}

// True when the occurrence of pattern at offset puts one of its U+FFFD on a
// character that stands for bytes the decoder could not read: the search
// never counts those as the character, so neither does the viewer.
bool onDecodeError(const LineIndex &index, const QString &pattern, qsizetype offset)
{
    if (!index.hasDecodeErrors())
        return false;
    for (qsizetype k = pattern.indexOf(QChar(0xFFFD)); k >= 0;
         k = pattern.indexOf(QChar(0xFFFD), k + 1)) {
        const LineIndex::Line line = index.lineForOffset(offset + k);
        if (index.isDecodeError(index.rawPosOfChar(line, offset + k - line.offset)))
            return true;
    }
    return false;
}

// Decodes line after line into a bounded buffer and searches it; lines are
// joined with "\n" so a pattern may span line breaks.
qsizetype findSlow(const LineIndex &index, const QString &pattern, qsizetype start)
{
    LineIndex::Line line = index.lineForOffset(start);
    QString buf = index.decodeRange(index.rawPosOfChar(line, start - line.offset), line.end);
    qsizetype bufOffset = start;
    const qsizetype keep = pattern.size() - 1;
    for (;;) {
        const bool last = line.index + 1 >= index.lineCount();
        if (!last)
            buf += u'\n';
        if (last || buf.size() >= kFindChunk) {
            qsizetype i = buf.indexOf(pattern, 0, Qt::CaseSensitive);
            while (i >= 0 && onDecodeError(index, pattern, bufOffset + i))
                i = buf.indexOf(pattern, i + 1, Qt::CaseSensitive);
            if (i >= 0)
                return bufOffset + i;
            if (last)
                return -1;
            const qsizetype drop = std::max<qsizetype>(0, buf.size() - keep);
            buf.remove(0, drop);
            bufOffset += drop;
        }
        line = index.stepLine(line);
        index.appendRange(line.begin, line.end, buf);
    }
}

} // namespace

FindHit findText(const LineIndex &index, const QString &text, qsizetype start)
{
    if (text.isEmpty() || start < 0 || start > index.length())
        return {};
    QString pattern = text;
    pattern.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    pattern.replace(u'\r', u'\n');

    qsizetype found = -1;
    if (index.isBytes() && !pattern.contains(u'\n')) {
        const cp932::Encoding enc = cp932::encode(pattern);
        if (enc.form == cp932::Form::Unique)
            found = findFast(index, enc.bytes, start);
        else if (enc.form == cp932::Form::Ambiguous)
            found = findSlow(index, pattern, start);
        // Impossible: no bytes decode to it.
    } else {
        found = findSlow(index, pattern, start);
    }
    if (found < 0)
        return {};
    return {found, pattern.size()};
}
