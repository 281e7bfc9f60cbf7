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
    qsizetype firstAt = -1;    // characters from the span's start to the first word
    qsizetype firstLength = 0; // characters of that occurrence
};

class MatchLines {
public:
    MatchLines(const LineIndex &index, const QStringList &words, textfold::Folds folds)
        : m_index(index), m_folds(folds), m_size(index.rawSize()),
          m_loneLfEnds(index.loneLfEndsLine())
    {
        for (const QString &w : words)
            m_words.append(folds.any() ? textfold::folded(w, folds) : w);
        // An occurrence under the width fold may take two characters (ｶﾞ)
        // for each character of the folded word.
        for (const QString &w : std::as_const(m_words))
            m_longest = std::max(m_longest, (folds.width ? 2 : 1) * w.size());
        // Raw bytes must hold the only byte form of such a word wherever the
        // decoded line holds the word, so a byte search finds every candidate
        // line; the longest such word rejects the most. Under folds, only a
        // run of characters that nothing else folds to keeps its bytes.
        if (!m_index.isBytes())
            return;
        QStringList drivers = m_words;
        if (folds.any()) {
            const std::vector<std::vector<char16_t>> sources =
                textfold::unitsFoldingTo(m_words.join(QString()), folds);
            const textfold::Run run = textfold::longestStableRun(m_words, sources);
            drivers = QStringList{m_words.join(QString()).mid(run.start, run.length)};
        }
        for (const QString &w : std::as_const(drivers)) {
            const cp932::Encoding enc = cp932::encode(w);
            if (enc.form == cp932::Form::Unique && enc.bytes.size() > m_driver.size())
                m_driver = enc.bytes;
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
            qsizetype length = 0;
            const qsizetype at = firstWordIn(s, length);
            if (at >= 0) {
                best = {s, at, length};
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
        const qsizetype b = m_index.rawPosOfChar(whole, found.firstAt + found.firstLength);
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

    // True when an occurrence, the text `found` n characters into the span,
    // has a U+FFFD on a character that stands for bytes the decoder could not
    // read (which no word matches in the search).
    bool onDecodeError(const Span &s, qsizetype n, QStringView found) const
    {
        if (!m_index.hasDecodeErrors())
            return false;
        LineIndex::Line whole;
        whole.begin = s.begin;
        whole.end = s.end;
        for (qsizetype k = found.indexOf(QChar(0xFFFD)); k >= 0;
             k = found.indexOf(QChar(0xFFFD), k + 1)) {
            if (m_index.isDecodeError(m_index.rawPosOfChar(whole, n + k)))
                return true;
        }
        return false;
    }

    // Characters from the span's start to the first word's first occurrence
    // (its length in `length`), or -1 when the span does not hold every word.
    // The span is decoded in pieces that overlap by the longest word, so
    // memory stays bounded; under the width fold a piece never ends between a
    // half-width kana and the mark that may follow it.
    qsizetype firstWordIn(const Span &s, qsizetype &length) const
    {
        std::vector<bool> seen(size_t(m_words.size()), false);
        qsizetype missing = m_words.size();
        qsizetype firstAt = -1;
        QString text;
        qsizetype textStart = 0; // characters from the span's start to text's start
        LineIndex::Line rest;
        rest.begin = s.begin;
        rest.end = s.end;
        QString folded;
        std::vector<qsizetype> origins;
        for (;;) {
            const qsizetype q = m_index.rawPosOfChar(rest, kPieceChars);
            m_index.appendRange(rest.begin, q, text);
            qsizetype usable = text.size();
            if (m_folds.width && q < s.end && usable > 0 &&
                textfold::composeHalfWidth(text[usable - 1].unicode(), u'\uFF9E'))
                --usable; // its mark, if any, is in the next piece
            if (m_folds.any()) {
                folded.clear();
                origins.clear();
                textfold::appendFolded(QStringView(text).first(usable), m_folds, folded, &origins);
            }
            // The occurrence of word i from j on: its start in text, or -1.
            const auto find = [&](qsizetype i, qsizetype j, qsizetype &size) {
                if (!m_folds.any()) {
                    size = m_words[i].size();
                    return text.indexOf(m_words[i], j, Qt::CaseSensitive);
                }
                const qsizetype from = originIndex(origins, j);
                const qsizetype f =
                    from < folded.size() ? folded.indexOf(m_words[i], from) : qsizetype(-1);
                if (f < 0)
                    return qsizetype(-1);
                const qsizetype e = f + m_words[i].size();
                size = (e < qsizetype(origins.size()) ? origins[size_t(e)] : usable) -
                       origins[size_t(f)];
                return origins[size_t(f)];
            };
            for (qsizetype i = 0; i < m_words.size(); ++i) {
                if (seen[size_t(i)])
                    continue;
                qsizetype size = 0;
                qsizetype j = find(i, 0, size);
                while (j >= 0 && onDecodeError(s, textStart + j, QStringView(text).sliced(j, size)))
                    j = find(i, j + 1, size);
                if (j < 0)
                    continue;
                seen[size_t(i)] = true;
                --missing;
                if (i == 0) {
                    firstAt = textStart + j;
                    length = size;
                }
            }
            if (missing == 0)
                return firstAt;
            if (q >= s.end)
                return -1;
            // Keep the tail an occurrence across the cut may start in (and the
            // character held back), never starting at a mark its kana left.
            qsizetype keep = std::min(usable, m_longest - 1) + (text.size() - usable);
            if (m_folds.width && keep < text.size() &&
                textfold::composeHalfWidth(text[text.size() - keep - 1].unicode(),
                                           text[text.size() - keep].unicode()))
                ++keep;
            textStart += text.size() - keep;
            text = text.right(keep);
            rest.begin = q;
        }
    }

    // The first folded unit that stands for text at or after j.
    static qsizetype originIndex(const std::vector<qsizetype> &origins, qsizetype j)
    {
        return std::lower_bound(origins.begin(), origins.end(), j) - origins.begin();
    }

    const LineIndex &m_index;
    const textfold::Folds m_folds;
    QStringList m_words; // folded under m_folds
    const qsizetype m_size;
    const bool m_loneLfEnds;
    qsizetype m_longest = 1;
    QByteArray m_driver; // the only byte form of one word, or empty: decode every line
};

} // namespace

MatchLineHit findMatchLine(const LineIndex &index, const QStringList &words, qsizetype from,
                           MatchDirection direction, textfold::Folds folds)
{
    QStringList nonEmpty;
    for (const QString &w : words)
        if (!w.isEmpty())
            nonEmpty.append(w);
    if (nonEmpty.isEmpty())
        return {};
    const MatchLines lines(index, nonEmpty, folds);
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

MatchLineHit findFirstUnderFolds(const LineIndex &index, const QString &word, textfold::Folds folds)
{
    if (word.isEmpty())
        return {};
    const MatchLines lines(index, {word}, folds);
    const Found found = lines.scan(0, lines.size(), false);
    return found.firstAt >= 0 ? lines.hitOf(found) : MatchLineHit{};
}
