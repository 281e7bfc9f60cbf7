// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "viewer/MatchLines.h"

#include "platform/ByteSearch.h"
#include "text/Cp932.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr qsizetype kPieceChars = qsizetype(1) << 20;  // characters decoded at a time
constexpr qsizetype kFirstWindow = qsizetype(1) << 16; // raw units searched back at first

// One line as the search reads it: the raw range [begin, end) of its text and
// the raw position after its terminator.
struct Span {
    qsizetype begin = 0;
    qsizetype end = 0;
    qsizetype next = 0;
};

struct Found {
    Span span;
    qsizetype firstAt = -1; // characters from the span's start to the first word
};

class MatchLines {
public:
    MatchLines(const LineIndex &index, const QStringList &words)
        : m_index(index), m_words(words), m_size(index.rawSize()),
          m_loneLfEnds(index.loneLfEndsLine())
    {
        for (const QString &w : m_words)
            m_longest = std::max(m_longest, w.size());
        // Raw bytes must hold the only byte form of such a word wherever the
        // decoded line holds the word, so a byte search finds every candidate
        // line; the longest such word rejects the most.
        if (m_index.isBytes()) {
            for (const QString &w : m_words) {
                const cp932::Encoding enc = cp932::encode(w);
                if (enc.form == cp932::Form::Unique && enc.bytes.size() > m_driver.size())
                    m_driver = enc.bytes;
            }
        }
    }

    qsizetype size() const { return m_size; }

    // The line that holds the raw position p (in its text or at its terminator).
    Span around(qsizetype p) const
    {
        qsizetype b = std::min(p, m_size);
        while (b > 0 && !isBreak(b - 1))
            --b;
        if (b > 0 && b < m_size && unit(b - 1) == u'\r' && unit(b) == u'\n')
            ++b; // the LF of a CR-LF
        return spanFrom(b);
    }

    // The line that starts at the raw position b.
    Span spanFrom(qsizetype b) const
    {
        Span s;
        s.begin = b;
        qsizetype e = b;
        if (m_index.isBytes() && !m_loneLfEnds) {
            const char *data = m_index.bytes().constData();
            const void *cr = std::memchr(data + b, '\r', size_t(m_size - b));
            e = cr ? static_cast<const char *>(cr) - data : m_size;
        } else {
            while (e < m_size && !isBreak(e))
                ++e;
        }
        s.end = e;
        if (e >= m_size)
            s.next = m_size;
        else
            s.next = e + ((unit(e) == u'\r' && e + 1 < m_size && unit(e + 1) == u'\n') ? 2 : 1);
        return s;
    }

    // The first (or, with last, the last) line starting in [from, limit) that
    // holds every word. from is where a line starts; no line that starts
    // before limit ends after it.
    Found scan(qsizetype from, qsizetype limit, bool last) const
    {
        Found best;
        qsizetype pos = from;
        while (pos < limit) {
            Span s;
            if (!m_driver.isEmpty()) {
                const char *data = m_index.bytes().constData();
                const char *hit = platform::findBytes(data + pos, limit - pos, m_driver);
                if (!hit)
                    break;
                s = around(hit - data);
                // A hit on the LF of a CR-LF belongs to the line after it.
                if (s.begin >= limit)
                    break;
            } else {
                s = spanFrom(pos);
            }
            const qsizetype at = firstWordIn(s);
            if (at >= 0) {
                best = {s, at};
                if (!last)
                    break;
            }
            if (s.end >= m_size)
                break;
            pos = s.next;
        }
        return best;
    }

    // The offset and length, in the index's characters, of the first word
    // where found put it.
    MatchLineHit hitOf(const Found &found) const
    {
        LineIndex::Line whole;
        whole.begin = found.span.begin;
        whole.end = found.span.end;
        const qsizetype a = m_index.rawPosOfChar(whole, found.firstAt);
        const qsizetype b = m_index.rawPosOfChar(whole, found.firstAt + m_words.first().size());
        const qsizetype offset = offsetOfRaw(a);
        return {offset, offsetOfRaw(b) - offset};
    }

private:
    char16_t unit(qsizetype i) const
    {
        return m_index.isBytes() ? char16_t(static_cast<unsigned char>(m_index.bytes()[i]))
                                 : m_index.chars()[i].unicode();
    }
    bool isBreak(qsizetype i) const
    {
        const char16_t c = unit(i);
        return c == u'\r' || (c == u'\n' && m_loneLfEnds);
    }

    qsizetype offsetOfRaw(qsizetype p) const
    {
        const LineIndex::Line line = m_index.lineForRawPos(p);
        return line.offset + m_index.charsIn(line.begin, std::clamp(p, line.begin, line.end));
    }

    // True when the word, found n characters into the span, has a U+FFFD on
    // a character that stands for bytes the decoder could not read (which no
    // word matches in the search).
    bool onDecodeError(const Span &s, qsizetype n, const QString &word) const
    {
        if (!m_index.hasDecodeErrors())
            return false;
        LineIndex::Line whole;
        whole.begin = s.begin;
        whole.end = s.end;
        for (qsizetype k = word.indexOf(QChar(0xFFFD)); k >= 0;
             k = word.indexOf(QChar(0xFFFD), k + 1)) {
            if (m_index.isDecodeError(m_index.rawPosOfChar(whole, n + k)))
                return true;
        }
        return false;
    }

    // Characters from the span's start to the first word's first occurrence,
    // or -1 when the span does not hold every word. The span is decoded in
    // pieces that overlap by the longest word, so memory stays bounded.
    qsizetype firstWordIn(const Span &s) const
    {
        std::vector<bool> seen(size_t(m_words.size()), false);
        qsizetype missing = m_words.size();
        qsizetype firstAt = -1;
        QString text;
        qsizetype textStart = 0; // characters from the span's start to text's start
        LineIndex::Line rest;
        rest.begin = s.begin;
        rest.end = s.end;
        for (;;) {
            const qsizetype q = m_index.rawPosOfChar(rest, kPieceChars);
            m_index.appendRange(rest.begin, q, text);
            for (qsizetype i = 0; i < m_words.size(); ++i) {
                if (seen[size_t(i)])
                    continue;
                qsizetype j = text.indexOf(m_words[i], 0, Qt::CaseSensitive);
                while (j >= 0 && onDecodeError(s, textStart + j, m_words[i]))
                    j = text.indexOf(m_words[i], j + 1, Qt::CaseSensitive);
                if (j < 0)
                    continue;
                seen[size_t(i)] = true;
                --missing;
                if (i == 0)
                    firstAt = textStart + j;
            }
            if (missing == 0)
                return firstAt;
            if (q >= s.end)
                return -1;
            // Keep the tail an occurrence across the cut may start in.
            const qsizetype keep = std::min(text.size(), m_longest - 1);
            textStart += text.size() - keep;
            text = text.right(keep);
            rest.begin = q;
        }
    }

    const LineIndex &m_index;
    const QStringList &m_words;
    const qsizetype m_size;
    const bool m_loneLfEnds;
    qsizetype m_longest = 1;
    QByteArray m_driver; // the only byte form of one word, or empty: decode every line
};

} // namespace

MatchLineHit findMatchLine(const LineIndex &index, const QStringList &words, qsizetype from,
                           MatchDirection direction)
{
    QStringList nonEmpty;
    for (const QString &w : words)
        if (!w.isEmpty())
            nonEmpty.append(w);
    if (nonEmpty.isEmpty())
        return {};
    const MatchLines lines(index, nonEmpty);
    const LineIndex::Line line = index.lineForOffset(from);
    const Span here = lines.around(line.begin);

    if (direction == MatchDirection::Next) {
        if (here.end >= lines.size())
            return {};
        const Found found = lines.scan(here.next, lines.size(), false);
        return found.firstAt >= 0 ? lines.hitOf(found) : MatchLineHit{};
    }

    // Backwards: search windows before the line, each twice as wide as the
    // last, forwards for the last matching line in each.
    qsizetype limit = here.begin;
    qsizetype width = kFirstWindow;
    while (limit > 0) {
        const qsizetype start = limit <= width ? 0 : lines.around(limit - width).begin;
        const Found found = lines.scan(start, limit, true);
        if (found.firstAt >= 0)
            return lines.hitOf(found);
        limit = start;
        width = width > (qsizetype(1) << 40) ? width : width * 2;
    }
    return {};
}
