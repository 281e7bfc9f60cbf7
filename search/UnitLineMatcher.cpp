// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "search/UnitLineMatcher.h"

#include "search/PairFind.h"
#include "search/TwoWay.h"
#include "search/WorkCount.h"
#include "text/Utf16Scan.h"

#include <algorithm>
#include <cstring>

namespace {

// How rare a UTF-16 unit is in text (higher: rarer); only a guide for which
// unit of a word to look for first (UTF-8 words go by PairFind's byte ranks).
int rarity(char16_t c)
{
    if (c < 0x80) {
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ')
            return 1;
        if (c >= 'A' && c <= 'Z')
            return 2;
        return 3;
    }
    if (c >= 0x3000 && c < 0x3100) // punctuation, hiragana, katakana
        return 1;
    return 2;
}

const char *findUnit(const char *from, const char *end, char c)
{
    return static_cast<const char *>(std::memchr(from, c, size_t(end - from)));
}

const char16_t *findUnit(const char16_t *from, const char16_t *end, char16_t c)
{
    const char16_t *hit = utf16scan::find(from, end, c);
    return hit == end ? nullptr : hit;
}

// The first CR or LF in [from, end), or end.
const char *lineEnd(const char *from, const char *end)
{
    const char *lf = findUnit(from, end, '\n');
    const char *e = lf ? lf : end;
    const char *cr = findUnit(from, e, '\r');
    return cr ? cr : e;
}

const char16_t *lineEnd(const char16_t *from, const char16_t *end)
{
    return utf16scan::findEither(from, end, u'\r', u'\n');
}

// The last CR or LF in [floor, p), or null.
const char *lastLineEnd(const char *floor, const char *p)
{
    const auto *lf = static_cast<const char *>(memrchr(floor, '\n', size_t(p - floor)));
    const char *from = lf ? lf + 1 : floor;
    const auto *cr = static_cast<const char *>(memrchr(from, '\r', size_t(p - from)));
    return cr ? cr : lf;
}

const char16_t *lastLineEnd(const char16_t *floor, const char16_t *p)
{
    while (p > floor) {
        --p;
        if (*p == u'\n' || *p == u'\r')
            return p;
    }
    return nullptr;
}

// Finds line ends ahead of a position that only moves forward, remembering the
// next CR and the next LF separately so that no byte is looked at twice.
class CharEnds {
public:
    explicit CharEnds(const char *end) : m_end(end) {}
    const char *next(const char *from)
    {
        if (!m_cr || (m_cr != m_end && m_cr < from))
            m_cr = orEnd(findUnit(from, m_end, '\r'));
        if (!m_lf || (m_lf != m_end && m_lf < from))
            m_lf = orEnd(findUnit(from, m_end, '\n'));
        return std::min(m_cr, m_lf);
    }

private:
    const char *orEnd(const char *p) const { return p ? p : m_end; }
    const char *m_end;
    const char *m_cr = nullptr;
    const char *m_lf = nullptr;
};

} // namespace

template <typename Unit> UnitLineMatcher<Unit>::UnitLineMatcher(const QStringList &words)
{
    for (const QString &text : words) {
        if (text.isEmpty())
            continue;
        Word word;
        // A lone surrogate is never decoded; CR and LF always end the line.
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text[i];
            if (c == u'\r' || c == u'\n')
                m_never = true;
            else if (c.isHighSurrogate() && !(i + 1 < text.size() && text[i + 1].isLowSurrogate()))
                m_never = true;
            else if (c.isLowSurrogate() && !(i > 0 && text[i - 1].isHighSurrogate()))
                m_never = true;
        }
        if constexpr (sizeof(Unit) == 1) {
            const QByteArray bytes = text.toUtf8();
            word.units.assign(bytes.constData(), size_t(bytes.size()));
        } else {
            word.units.assign(reinterpret_cast<const char16_t *>(text.utf16()),
                              size_t(text.size()));
        }
        if constexpr (sizeof(Unit) == 1) {
            const auto &ranks = search::kUtf8TextRanks;
            search::choosePair(word.units.data(), qsizetype(word.units.size()), ranks, word.rare1,
                               word.rare2);
            const auto rank = [&](qsizetype i) {
                return int(ranks[static_cast<unsigned char>(word.units[size_t(i)])]);
            };
            word.rarity = 512 - rank(word.rare1) - rank(word.rare2);
        } else {
            int best = -1;
            for (size_t i = 0; i < word.units.size(); ++i) {
                const int r = rarity(word.units[i]);
                if (r >= best) {
                    best = r;
                    word.rareIndex = qsizetype(i);
                }
            }
            word.rarity = best;
            // The second unit checked: the rarest unlike the first, else any.
            const Unit lead = word.units[size_t(word.rareIndex)];
            int second = -1;
            word.rare2 = word.rareIndex;
            for (size_t i = 0; i < word.units.size(); ++i) {
                const int r = rarity(word.units[i]);
                if (word.units[i] != lead && r > second) {
                    second = r;
                    word.rare2 = qsizetype(i);
                }
            }
        }
        m_span = std::max(m_span, qsizetype(word.units.size()));
        m_words.push_back(std::move(word));
    }
    if (m_words.empty())
        m_never = true;
    // The rarest word leads; then the longest.
    std::stable_sort(m_words.begin(), m_words.end(), [](const Word &a, const Word &b) {
        if (a.rarity != b.rarity)
            return a.rarity > b.rarity;
        return a.units.size() > b.units.size();
    });
    m_seen.assign(m_words.size(), 0);
    for (size_t i = 0; i < m_words.size(); ++i) {
        m_order.push_back(i);
        m_sweep.add(int(i), m_words[i].units.data(), qsizetype(m_words[i].units.size()));
    }
}

template <typename Unit> void UnitLineMatcher<Unit>::reset()
{
    resetLine();
    m_continuing = false;
}

template <typename Unit> void UnitLineMatcher<Unit>::resetLine()
{
    if (++m_stamp == 0) { // wrapped: forget every old stamp
        std::fill(m_seen.begin(), m_seen.end(), 0);
        m_stamp = 1;
    }
    m_seenCount = 0;
}

template <typename Unit> void UnitLineMatcher<Unit>::markSeen(size_t i)
{
    m_seen[i] = m_stamp;
    ++m_seenCount;
}

template <typename Unit> class UnitLineMatcher<Unit>::SweepClient {
public:
    explicit SweepClient(UnitLineMatcher &matcher) : m_matcher(matcher) {}
    bool wanted(int id) const { return !m_matcher.seen(size_t(id)); }
    void startLength() {}
    bool atBoundary(const Unit *) const { return true; }
    bool found(int id)
    {
        m_matcher.markSeen(size_t(id));
        return m_matcher.m_seenCount == qsizetype(m_matcher.m_words.size());
    }

private:
    UnitLineMatcher &m_matcher;
};

// The first occurrence of the word in [from, end), or null.
template <typename Unit>
const Unit *UnitLineMatcher<Unit>::find(const Unit *from, const Unit *end, const Word &word)
{
    const qsizetype n = qsizetype(word.units.size());
    if constexpr (sizeof(Unit) == 1) {
        return search::findPair(from, end, {word.units.data(), n, word.rare1, word.rare2});
    } else {
        // UTF-16: the rarest unit and a second one unlike it where the word has
        // one, then the whole word; once comparing candidates outweighs the
        // units scanned (a word of one repeated unit over a run of it), the
        // rest is searched in linear time.
        if (end - from < n)
            return nullptr;
        const Unit *first = word.units.data();
        const qsizetype k = word.rareIndex, k2 = word.rare2;
        const Unit rare = first[k], other = first[k2];
        const Unit *p = from + k;
        const Unit *last = end - (n - k);
        qsizetype work = 0;
        while (p <= last) {
            p = findUnit(p, last + 1, rare);
            if (!p)
                return nullptr;
            const Unit *start = p - k;
            if (start[k2] == other) {
                const Unit *mismatch = std::mismatch(start, start + n, first, first + n).first;
                if (mismatch == start + n) {
                    search::extraWork += work;
                    return start;
                }
                work += mismatch - start + 1;
                if (work > 4096 + 2 * (start - from)) {
                    search::extraWork += work;
                    return search::TwoWay<Unit>(first, n).find(start, end);
                }
            }
            ++p;
        }
        search::extraWork += work;
        return nullptr;
    }
}

// Records the words in [begin, end), a stretch of the line in progress. When
// the line ends with it, the first word missing settles the line.
template <typename Unit>
bool UnitLineMatcher<Unit>::checkSegment(const Unit *begin, const Unit *end, bool lineEnds)
{
    bool swept = false;
    // Looking for words one at a time may cost this much before the words
    // still unseen are swept for together.
    const qsizetype allowance = 32 * (end - begin) + 4096;
    qsizetype spent = 0;
    for (size_t k = 0; k < m_order.size(); ++k) {
        const size_t i = m_order[k];
        if (seen(i))
            continue;
        bool present = false;
        if (!swept) { // else the sweep would have marked it
            const Unit *hit = find(begin, end, m_words[i]);
            spent += hit ? hit - begin + qsizetype(m_words[i].units.size()) : end - begin;
            present = hit != nullptr;
        }
        if (present) {
            markSeen(i);
        } else if (lineEnds) {
            // The next lines will likely lack it too: look for it first.
            std::rotate(m_order.begin(), m_order.begin() + qsizetype(k),
                        m_order.begin() + qsizetype(k) + 1);
            search::extraWork += spent;
            return false;
        }
        if (!swept && spent > allowance) {
            search::extraWork += spent;
            spent = 0;
            SweepClient client(*this);
            m_sweep.sweep(begin, end, client);
            swept = true;
        }
    }
    search::extraWork += spent;
    return m_seenCount == qsizetype(m_words.size());
}

template <typename Unit>
bool UnitLineMatcher<Unit>::feed(const Unit *begin, const Unit *end, bool final,
                                 const Unit **keepFrom)
{
    if (m_never)
        return false;
    const Unit *p = begin;
    if (m_continuing) {
        const Unit *e = lineEnd(p, end);
        if (e == end && !final) { // the line goes on past this piece
            if (checkSegment(p, end, false))
                return true;
            *keepFrom = std::max(p, end - overlap());
            return false;
        }
        const bool all = checkSegment(p, e, true);
        reset();
        if (all)
            return true;
        if (e == end)
            return false;
        p = e + 1;
    }

    // Only lines that hold the leading word are looked at.
    const Word &primary = m_words.front();
    const bool single = m_words.size() == 1;
    const Unit *floor = p; // a line start: everything before it is settled
    const Unit *from = p;
    [[maybe_unused]] CharEnds charEnds(reinterpret_cast<const char *>(end));
    for (;;) {
        const Unit *hit = find(from, end, primary);
        if (!hit)
            break;
        if (single)
            return true;
        const Unit *e;
        if constexpr (sizeof(Unit) == 1)
            e = charEnds.next(hit);
        else
            e = lineEnd(hit, end);
        if (e == end && !final)
            break; // the last line may go on in the next piece
        const Unit *before = lastLineEnd(floor, hit);
        const Unit *start = before ? before + 1 : floor;
        resetLine();
        markSeen(0);
        if (checkSegment(start, e, true))
            return true;
        if (e == end)
            return false;
        floor = from = e + 1;
        // The word the line lacked (now first in m_order) likely misses from
        // the next lines too: none before its next occurrence can match. Each
        // such look starts past the line that the last one led to, so no unit
        // is passed over twice.
        const Unit *next = find(floor, end, m_words[m_order.front()]);
        if (!next) {
            if (final)
                return false;
            break; // only the last, unfinished line may still match
        }
        const Unit *lineBefore = lastLineEnd(floor, next);
        if (lineBefore)
            floor = from = lineBefore + 1;
    }
    if (final)
        return false;
    // The last line is unfinished: keep it whole if it fits, else record the
    // words it holds so far and keep an overlap.
    const Unit *before = lastLineEnd(floor, end);
    const Unit *start = before ? before + 1 : floor;
    if (end - start <= mostKept()) {
        *keepFrom = start;
        return false;
    }
    resetLine();
    m_continuing = true;
    if (checkSegment(start, end, false))
        return true;
    *keepFrom = end - overlap();
    return false;
}

template class UnitLineMatcher<char>;
template class UnitLineMatcher<char16_t>;
