// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "viewer/LineIndex.h"

#include "text/Cp932.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr quint64 kHighBits = 0x8080808080808080ULL;
constexpr quint64 kOnes = 0x0101010101010101ULL;

inline bool hasByte(quint64 word, unsigned char b)
{
    const quint64 v = word ^ (kOnes * b);
    return ((v - kOnes) & ~v & kHighBits) != 0;
}

// Scans one line of code page 932 bytes from p up to its terminator (CR or LF)
// or e, whichever comes first, and returns where it stopped. Counts the line's
// characters and half-width columns (a tab counts 8). Every unit decodes to
// exactly one UTF-16 character, so the count of characters is the count of
// units: a lead byte takes the next byte with it unless it is the line's last
// byte or the next byte is 00.
const unsigned char *scanLine(const unsigned char *p, const unsigned char *e, qsizetype &units,
                              qsizetype &columns)
{
    qsizetype pairs = 0;
    qsizetype tabs = 0;
    const unsigned char *start = p;
    while (p < e) {
        while (e - p >= 8) {
            quint64 w;
            std::memcpy(&w, p, 8);
            if ((w & kHighBits) || hasByte(w, '\t') || hasByte(w, '\n') || hasByte(w, '\r'))
                break;
            p += 8;
        }
        if (p >= e)
            break;
        const unsigned char b = *p;
        if (b == '\n' || b == '\r')
            break;
        if (b == '\t') {
            ++tabs;
            ++p;
        } else if (cp932::isLeadByte(b) && p + 1 < e && p[1] != 0 && p[1] != '\n' && p[1] != '\r') {
            ++pairs;
            p += 2;
        } else {
            ++p;
        }
    }
    units = (p - start) - pairs;
    columns = (p - start) + 7 * tabs;
    return p;
}

// Whether a character outside the BMP takes two columns: the ideographs of
// planes 2 and 3 and the pictographs and emoji of U+1F000-U+1FAFF.
constexpr bool isWideSupplementary(char32_t c)
{
    return (c >= 0x20000 && c <= 0x3FFFF) || (c >= 0x1F000 && c <= 0x1FAFF);
}

// One character of decoded text at p (before e): its UTF-16 units and columns.
struct CharUnit {
    int units;
    int columns;
};
inline CharUnit charUnitAt(const QChar *p, const QChar *e)
{
    const char16_t c = p->unicode();
    if (c == u'\t')
        return {1, 8};
    if (c < 0x80 || (c >= 0xFF61 && c <= 0xFF9F))
        return {1, 1};
    if (QChar::isHighSurrogate(c) && p + 1 < e && p[1].isLowSurrogate())
        return {2, isWideSupplementary(QChar::surrogateToUcs4(c, p[1].unicode())) ? 2 : 1};
    return {1, 2};
}

qsizetype columnsOf(const QChar *p, const QChar *e)
{
    qsizetype columns = 0;
    while (p < e) {
        const CharUnit u = charUnitAt(p, e);
        columns += u.columns;
        p += u.units;
    }
    return columns;
}

qsizetype checkpointIndex(qsizetype i)
{
    return i * LineIndex::kLinesPerCheckpoint;
}

} // namespace

void LineIndex::clear()
{
    m_marks.clear();
    m_markCount = 0;
    m_bytes = QByteArray(); // before the mapping it may point into
    m_mapping.reset();
    m_chars = QString();
    m_decodeErrors.clear();
    m_isBytes = false;
    buildIndex();
}

void LineIndex::setChars(const QString &text, std::vector<qsizetype> decodeErrors)
{
    clear();
    m_chars = text;
    m_decodeErrors = std::move(decodeErrors);
    buildIndex();
}

bool LineIndex::isDecodeError(qsizetype pos) const
{
    return std::binary_search(m_decodeErrors.begin(), m_decodeErrors.end(), pos);
}

void LineIndex::setBytes(QByteArray bytes, std::shared_ptr<const void> mapping)
{
    clear();
    m_bytes = std::move(bytes);
    m_mapping = std::move(mapping);
    m_isBytes = true;
    buildIndex();
}

void LineIndex::buildIndex()
{
    m_checkpoints.clear();
    m_lastLine = Line();
    qsizetype pos = 0;
    qsizetype offset = 0;
    qsizetype index = 0;
    qsizetype maxColumns = 0;

    if (m_isBytes) {
        const auto *data = reinterpret_cast<const unsigned char *>(m_bytes.constData());
        const qsizetype size = m_bytes.size();
        for (;;) {
            if (index % kLinesPerCheckpoint == 0)
                m_checkpoints.append({pos, offset});
            qsizetype units = 0;
            qsizetype columns = 0;
            const qsizetype t = scanLine(data + pos, data + size, units, columns) - data;
            maxColumns = std::max(maxColumns, columns);
            offset += units;
            if (t >= size)
                break;
            pos = t + ((data[t] == '\r' && t + 1 < size && data[t + 1] == '\n') ? 2 : 1);
            offset += 1;
            ++index;
        }
    } else {
        const QChar *data = m_chars.constData();
        const qsizetype size = m_chars.size();
        for (;;) {
            if (index % kLinesPerCheckpoint == 0)
                m_checkpoints.append({pos, offset});
            const qsizetype t = terminatorAt(pos);
            maxColumns = std::max(maxColumns, columnsOf(data + pos, data + t));
            offset += t - pos;
            if (t >= size)
                break;
            pos = t + ((data[t] == u'\r' && t + 1 < size && data[t + 1] == u'\n') ? 2 : 1);
            offset += 1;
            ++index;
        }
    }
    m_lineCount = index + 1;
    m_length = offset;
    m_maxColumns = maxColumns;
}

qsizetype LineIndex::terminatorAt(qsizetype pos) const
{
    const QChar *data = m_chars.constData();
    const qsizetype size = m_chars.size();
    for (qsizetype i = pos; i < size; ++i) {
        if (data[i] == u'\n' || data[i] == u'\r')
            return i;
    }
    return size;
}

qsizetype LineIndex::charsIn(qsizetype begin, qsizetype end) const
{
    if (!m_isBytes)
        return end - begin;
    const auto *data = reinterpret_cast<const unsigned char *>(m_bytes.constData());
    qsizetype units = 0;
    qsizetype columns = 0;
    scanLine(data + begin, data + end, units, columns); // no terminator inside a line
    return units;
}

qsizetype LineIndex::rawPosOfChar(const Line &line, qsizetype n) const
{
    if (!m_isBytes)
        return std::min(line.begin + std::max<qsizetype>(n, 0), line.end);
    const auto *data = reinterpret_cast<const unsigned char *>(m_bytes.constData());
    qsizetype p = line.begin;
    const qsizetype e = line.end;
    while (n > 0 && p < e) {
        if (n >= 8 && e - p >= 8) {
            quint64 w;
            std::memcpy(&w, data + p, 8);
            if (!(w & kHighBits)) {
                p += 8;
                n -= 8;
                continue;
            }
        }
        p += (cp932::isLeadByte(data[p]) && p + 1 < e && data[p + 1] != 0) ? 2 : 1;
        --n;
    }
    return p;
}

QString LineIndex::decodeRange(qsizetype begin, qsizetype end) const
{
    if (end <= begin)
        return QString();
    if (m_isBytes)
        return cp932::decode(m_bytes.constData() + begin, end - begin);
    return m_chars.mid(begin, end - begin);
}

void LineIndex::appendRange(qsizetype begin, qsizetype end, QString &out) const
{
    if (m_isBytes)
        cp932::appendDecoded(m_bytes.constData() + begin, end - begin, out);
    else
        out += QStringView(m_chars).mid(begin, end - begin);
}

LineIndex::Line LineIndex::stepLine(const Line &line) const
{
    Line next;
    next.index = line.index + 1;
    next.begin = line.next;
    const qsizetype size = rawSize();
    if (m_isBytes) {
        // One scan finds the line's end, whichever of CR and LF it is, and counts
        // its characters: the step costs the line's length, never the rest of
        // the file.
        const auto *data = reinterpret_cast<const unsigned char *>(m_bytes.constData());
        qsizetype columns = 0;
        next.end = scanLine(data + next.begin, data + size, next.chars, columns) - data;
    } else {
        next.end = terminatorAt(next.begin);
        next.chars = next.end - next.begin;
    }
    if (next.end >= size) {
        next.next = size;
    } else {
        const bool crlf = m_isBytes ? (m_bytes[next.end] == '\r' && next.end + 1 < size &&
                                       m_bytes[next.end + 1] == '\n')
                                    : (m_chars[next.end] == u'\r' && next.end + 1 < size &&
                                       m_chars[next.end + 1] == u'\n');
        next.next = next.end + (crlf ? 2 : 1);
    }
    next.offset = line.offset + line.chars + 1;
    m_lastLine = next;
    return next;
}

LineIndex::Line LineIndex::lineAt(qsizetype index) const
{
    index = std::clamp<qsizetype>(index, 0, m_lineCount - 1);
    if (m_lastLine.index == index)
        return m_lastLine;
    const qsizetype cp = index / kLinesPerCheckpoint;
    Line line;
    if (m_lastLine.index >= 0 && m_lastLine.index < index &&
        m_lastLine.index >= checkpointIndex(cp))
        line = m_lastLine;
    else {
        // Step onto the checkpoint's line from a stand-in for the line before it.
        Line before;
        before.index = checkpointIndex(cp) - 1;
        before.next = m_checkpoints[cp].pos;
        before.offset = m_checkpoints[cp].offset - 1;
        before.chars = 0;
        line = stepLine(before);
    }
    while (line.index < index)
        line = stepLine(line);
    return line;
}

LineIndex::Line LineIndex::lineForOffset(qsizetype offset) const
{
    offset = std::clamp<qsizetype>(offset, 0, m_length);
    auto it = std::upper_bound(m_checkpoints.cbegin(), m_checkpoints.cend(), offset,
                               [](qsizetype o, const Checkpoint &c) { return o < c.offset; });
    const qsizetype cp = std::max<qsizetype>(0, (it - m_checkpoints.cbegin()) - 1);
    Line line;
    if (m_lastLine.index >= checkpointIndex(cp) && m_lastLine.offset <= offset)
        line = m_lastLine;
    else
        line = lineAt(checkpointIndex(cp));
    while (offset > line.offset + line.chars && line.index + 1 < m_lineCount)
        line = stepLine(line);
    return line;
}

LineIndex::Line LineIndex::lineForRawPos(qsizetype pos) const
{
    auto it = std::upper_bound(m_checkpoints.cbegin(), m_checkpoints.cend(), pos,
                               [](qsizetype p, const Checkpoint &c) { return p < c.pos; });
    const qsizetype cp = std::max<qsizetype>(0, (it - m_checkpoints.cbegin()) - 1);
    Line line;
    if (m_lastLine.index >= checkpointIndex(cp) && m_lastLine.begin <= pos)
        line = m_lastLine;
    else
        line = lineAt(checkpointIndex(cp));
    while (pos >= line.next && line.index + 1 < m_lineCount)
        line = stepLine(line);
    return line;
}

QString LineIndex::textRange(qsizetype from, qsizetype to) const
{
    from = std::clamp<qsizetype>(from, 0, m_length);
    to = std::clamp<qsizetype>(to, from, m_length);
    QString out;
    if (from == to)
        return out;
    Line line = lineForOffset(from);
    for (;;) {
        const qsizetype lineEnd = line.offset + line.chars; // offset of its line break
        const qsizetype a = std::max(from, line.offset);
        const qsizetype b = std::min(to, lineEnd);
        if (a < b)
            out += decodeRange(rawPosOfChar(line, a - line.offset),
                               rawPosOfChar(line, b - line.offset));
        if (to <= lineEnd || line.index + 1 >= m_lineCount)
            break;
        out += u'\n';
        if (to == lineEnd + 1)
            break;
        line = stepLine(line);
    }
    return out;
}

// Steps through the line's characters from `from` while stop(next place) is
// false, and returns the last place reached.
template <typename Stop>
LineIndex::Place LineIndex::walk(const Line &line, Place from, Stop stop) const
{
    Place at = from;
    if (m_isBytes) {
        const auto *data = reinterpret_cast<const unsigned char *>(m_bytes.constData());
        while (at.pos < line.end) {
            const unsigned char b = data[at.pos];
            Place next{at.pos + 1, at.chars + 1, at.columns + 1};
            if (b == '\t') {
                next.columns += 7;
            } else if (cp932::isLeadByte(b) && at.pos + 1 < line.end && data[at.pos + 1] != 0) {
                ++next.pos;
                ++next.columns;
            }
            if (stop(next))
                break;
            at = next;
        }
    } else {
        const QChar *data = m_chars.constData();
        while (at.pos < line.end) {
            const CharUnit u = charUnitAt(data + at.pos, data + line.end);
            const Place next{at.pos + u.units, at.chars + u.units, at.columns + u.columns};
            if (stop(next))
                break;
            at = next;
        }
    }
    return at;
}

const std::vector<LineIndex::Place> &LineIndex::marksOf(const Line &line) const
{
    auto it = m_marks.find(line.index);
    if (it != m_marks.end())
        return it->second;
    // A bound on what the marks of the lines looked at keep: about one
    // thousandth of the text, whatever is looked at.
    if (m_markCount > std::max<qsizetype>(rawSize() / 512, 4096)) {
        m_marks.clear();
        m_markCount = 0;
    }
    std::vector<Place> marks{Place{line.begin, 0, 0}};
    Place at = marks.front();
    while (at.pos < line.end) {
        const qsizetype target = std::min(at.pos + kPlaceStep, line.end);
        at = walk(line, at, [&](const Place &next) { return next.pos > target; });
        marks.push_back(at);
        if (at.pos >= line.end)
            break;
    }
    m_markCount += qsizetype(marks.size());
    return m_marks.emplace(line.index, std::move(marks)).first->second;
}

LineIndex::Place LineIndex::placeAtColumn(const Line &line, qsizetype column) const
{
    const std::vector<Place> &marks = marksOf(line);
    auto it = std::upper_bound(marks.begin(), marks.end(), column,
                               [](qsizetype c, const Place &m) { return c < m.columns; });
    const Place from = it == marks.begin() ? marks.front() : *(it - 1);
    return walk(line, from, [&](const Place &next) { return next.columns > column; });
}

LineIndex::Place LineIndex::placeAtChar(const Line &line, qsizetype n) const
{
    const std::vector<Place> &marks = marksOf(line);
    auto it = std::upper_bound(marks.begin(), marks.end(), n,
                               [](qsizetype c, const Place &m) { return c < m.chars; });
    const Place from = it == marks.begin() ? marks.front() : *(it - 1);
    return walk(line, from, [&](const Place &next) { return next.chars > n; });
}

LineIndex::Place LineIndex::placeAtRaw(const Line &line, qsizetype pos) const
{
    const std::vector<Place> &marks = marksOf(line);
    auto it = std::upper_bound(marks.begin(), marks.end(), pos,
                               [](qsizetype p, const Place &m) { return p < m.pos; });
    const Place from = it == marks.begin() ? marks.front() : *(it - 1);
    return walk(line, from, [&](const Place &next) { return next.pos > pos; });
}
