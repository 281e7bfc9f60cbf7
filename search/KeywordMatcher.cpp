// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "search/KeywordMatcher.h"

#include "search/PairFind.h"
#include "search/WorkCount.h"
#include "text/Cp932.h"
#include "text/Cp932Boundary.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// Lead-range bytes just before end, back to begin (a unit boundary).
qsizetype leadRunBefore(const char *begin, const char *end)
{
    qsizetype run = 0;
    while (end > begin && cp932::isLeadByte(static_cast<unsigned char>(end[-1]))) {
        --end;
        ++run;
    }
    return run;
}

const unsigned char *bytes(const char *p)
{
    return reinterpret_cast<const unsigned char *>(p);
}

const char *chars(const unsigned char *p)
{
    return reinterpret_cast<const char *>(p);
}

const char *findByte(const char *from, const char *end, char c)
{
    return static_cast<const char *>(std::memchr(from, c, size_t(end - from)));
}

} // namespace

bool KeywordMatcher::findAny(const char *from, const char *end, const std::vector<Needle> &needles)
{
    for (const Needle &needle : needles) {
        if (find(from, end, needle))
            return true;
    }
    return false;
}

class KeywordMatcher::AnyFinder {
public:
    AnyFinder(const std::vector<Needle> &needles, const char *end) : m_needles(needles), m_end(end)
    {
        m_next.assign(needles.size(), nullptr);
        m_known.assign(needles.size(), 0);
    }

    // The earliest hit at or after from; from never moves back between calls.
    const char *find(const char *from)
    {
        if (m_needles.size() == 1)
            return KeywordMatcher::find(from, m_end, m_needles.front());
        const char *best = nullptr;
        for (size_t k = 0; k < m_needles.size(); ++k) {
            if (!m_known[k] || (m_next[k] && m_next[k] < from)) {
                m_next[k] = KeywordMatcher::find(from, m_end, m_needles[k]);
                m_known[k] = 1;
            }
            if (m_next[k] && (!best || m_next[k] < best))
                best = m_next[k];
        }
        return best;
    }

private:
    const std::vector<Needle> &m_needles;
    const char *m_end;
    std::vector<const char *> m_next;   // a needle's first hit at or after the last start
    std::vector<unsigned char> m_known; // m_next[k] is computed
};

// The first raw occurrence of the needle in [from, end), or null.
const char *KeywordMatcher::find(const char *from, const char *end, const Needle &needle)
{
    return search::findPair(
        from, end, {needle.bytes.constData(), needle.bytes.size(), needle.rare1, needle.rare2});
}

// The earliest raw occurrence of any of the needles in [from, end), or null.
// Each needle is looked for only before the best hit so far.
const char *KeywordMatcher::findFirst(const char *from, const char *end,
                                      const std::vector<Needle> &needles)
{
    const char *best = nullptr;
    for (const Needle &needle : needles) {
        const char *stop = best ? std::min(end, best + needle.bytes.size() - 1) : end;
        if (const char *hit = find(from, stop, needle))
            best = hit;
    }
    return best;
}

// Where the search for lines in [from, end) goes on after a line that lacked
// a word (now first in m_order): the start of the line of that word's next
// raw occurrence, as no line before it holds the word (the next lines likely
// lack it too); null when no line left does. Each such look starts past the
// line the last one led to, so no byte is passed over twice.
const char *KeywordMatcher::skipLacking(const char *from, const char *end)
{
    const Word &lacked = m_words[m_order.front()];
    if (lacked.needles.empty())
        return from;
    const char *next = findFirst(from, end, lacked.needles);
    if (!next)
        return nullptr;
    const auto *cr = static_cast<const char *>(memrchr(from, '\r', size_t(next - from)));
    if (!cr)
        return from;
    const char *start = cr + 1;
    return *start == '\n' ? start + 1 : start; // cr < next < end
}

// The first occurrence in [segment, end) that starts a character, counting
// units from segment (a unit boundary), or null. Linear in end - segment: the
// boundary cursor never reads back past the last boundary it proved, and hits
// inside a long run of lead-range bytes are crossed pair by pair.
const char *KeywordMatcher::findAtBoundary(const char *segment, const char *end,
                                           const Needle &needle)
{
    cp932::BoundaryCursor cursor(bytes(segment));
    const auto first = static_cast<unsigned char>(needle.bytes.front());
    for (const char *from = segment;;) {
        const char *hit = find(from, end, needle);
        if (!hit || cursor.isBoundary(bytes(hit)))
            return hit;
        from = chars(
            cursor.skipLeadPairs(bytes(end), [first](unsigned char b) { return b == first; }));
    }
}

// cost: about how many bytes looking for the word took.
bool KeywordMatcher::wordIn(const Word &word, const char *begin, const char *end, bool &decoded,
                            qsizetype &cost)
{
    if (word.exact) {
        const char *hit = findAtBoundary(begin, end, word.needles.front());
        cost = hit ? hit - begin + word.needles.front().bytes.size() : end - begin;
        return hit != nullptr;
    }
    cost = end - begin;
    if (!word.needles.empty() && !findAny(begin, end, word.needles))
        return false;
    if (!decoded) {
        m_decoded.clear();
        cp932::appendDecoded(begin, end - begin, m_decoded);
        decoded = true;
    }
    return m_decoded.contains(word.text);
}

void KeywordMatcher::resetLine()
{
    if (++m_stamp == 0) { // wrapped: forget every old stamp
        std::fill(m_seen.begin(), m_seen.end(), 0);
        m_stamp = 1;
    }
    m_seenCount = 0;
}

void KeywordMatcher::markSeen(size_t i)
{
    m_seen[i] = m_stamp;
    ++m_seenCount;
}

class KeywordMatcher::SweepClient {
public:
    SweepClient(KeywordMatcher &matcher, const char *segment)
        : m_matcher(matcher), m_segment(segment), m_cursor(bytes(segment))
    {}
    bool wanted(int id) const { return !m_matcher.seen(size_t(id)); }
    void startLength() { m_cursor = cp932::BoundaryCursor(bytes(m_segment)); }
    bool atBoundary(const char *at) { return m_cursor.isBoundary(bytes(at)); }
    bool found(int id)
    {
        m_matcher.markSeen(size_t(id));
        return m_matcher.m_seenCount == qsizetype(m_matcher.m_words.size());
    }

private:
    KeywordMatcher &m_matcher;
    const char *m_segment;
    cp932::BoundaryCursor m_cursor;
};

// Marks the exact words that occur in [begin, end), a stretch starting at a
// unit boundary, in one pass per word length.
void KeywordMatcher::sweepExactWords(const char *begin, const char *end)
{
    SweepClient client(*this, begin);
    m_sweep.sweep(begin, end, client);
}

// Records the words that occur in [begin, end), a stretch of the current line
// starting at a unit boundary. When the line ends with this stretch, the first
// word missing settles it. True once every word has been seen in the line.
bool KeywordMatcher::checkSegment(const char *begin, const char *end, bool lineEnds)
{
    bool decoded = false;
    bool swept = false;
    // Looking for words one at a time may cost this much before the exact
    // ones still unseen are swept for together.
    const qsizetype allowance = 32 * (end - begin) + 4096;
    qsizetype spent = 0;
    for (size_t k = 0; k < m_order.size(); ++k) {
        const size_t i = m_order[k];
        if (seen(i))
            continue;
        bool present = false;
        if (swept && m_words[i].exact) {
            present = false; // the sweep would have marked it
        } else {
            qsizetype cost = 0;
            present = wordIn(m_words[i], begin, end, decoded, cost);
            spent += cost;
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
        if (!swept && spent > allowance && !m_sweep.empty()) {
            search::extraWork += spent;
            spent = 0;
            sweepExactWords(begin, end);
            swept = true;
        }
    }
    search::extraWork += spent;
    return m_seenCount == qsizetype(m_words.size());
}

// Scans [begin, end): whole lines, each ended by CR (or CR-LF) except the last,
// which ends at end. begin is a line start, or the overlap of a line that began
// in an earlier block (m_continuing).
bool KeywordMatcher::scanLines(const char *begin, const char *end)
{
    const char *p = begin;
    if (m_continuing) {
        const char *cr = findByte(p, end, '\r');
        const char *lineEnd = cr ? cr : end;
        const bool all = checkSegment(p, lineEnd, true);
        m_continuing = false;
        resetLine();
        if (all)
            return true;
        if (!cr)
            return false;
        p = cr + 1;
        if (p < end && *p == '\n')
            ++p;
    }

    if (!m_primary) {
        while (p < end) {
            const char *cr = findByte(p, end, '\r');
            const char *lineEnd = cr ? cr : end;
            resetLine();
            if (checkSegment(p, lineEnd, true))
                return true;
            if (!cr)
                break;
            p = cr + 1;
            if (p < end && *p == '\n')
                ++p;
            p = skipLacking(p, end);
            if (!p)
                break;
        }
        resetLine();
        return false;
    }

    // Look for the primary word's bytes (its exact form, or the forms of its
    // prefilter); only lines holding them at a unit boundary are checked.
    const Word &primary = m_words.front();
    AnyFinder finder(primary.needles, end);
    std::array<bool, 256> starts{}; // the first bytes of the primary word's needles
    for (const Needle &needle : primary.needles)
        starts[static_cast<unsigned char>(needle.bytes.front())] = true;
    cp932::BoundaryCursor cursor(bytes(p)); // reset at each line's start
    const char *floor = p;                  // a line start: no hit before it counts
    const char *lineStart = nullptr;
    const char *lineEnd = nullptr;
    const char *from = p;
    bool matched = false;
    while (from < end) {
        const char *hit = finder.find(from);
        if (!hit)
            break;
        if (!lineStart || hit >= lineEnd) {
            const char *cr = static_cast<const char *>(memrchr(floor, '\r', size_t(hit - floor)));
            lineStart = floor;
            if (cr) {
                lineStart = cr + 1;
                if (*lineStart == '\n')
                    ++lineStart;
            }
            if (hit < lineStart) { // begins at the LF of a CR-LF
                floor = from = lineStart;
                lineStart = nullptr;
                continue;
            }
            const char *next = findByte(hit, end, '\r');
            lineEnd = next ? next : end;
            cursor = cp932::BoundaryCursor(bytes(lineStart));
        }
        if (!cursor.isBoundary(bytes(hit))) {
            from = chars(cursor.skipLeadPairs(bytes(lineEnd),
                                              [&starts](unsigned char b) { return starts[b]; }));
            continue;
        }
        resetLine();
        if (primary.exact)
            markSeen(0);
        if (checkSegment(lineStart, lineEnd, true)) {
            matched = true;
            break;
        }
        if (lineEnd == end)
            break;
        floor = lineEnd + 1;
        if (floor < end && *floor == '\n')
            ++floor;
        floor = skipLacking(floor, end);
        if (!floor)
            break;
        from = floor;
        lineStart = nullptr;
    }
    resetLine();
    return matched;
}

qsizetype readBlock(ByteSource &source, char *buffer, qsizetype want, bool &atEnd)
{
    atEnd = false;
    qsizetype got = 0;
    while (got < want) {
        const qsizetype n = source.read(buffer + got, want - got);
        if (n < 0)
            return got > 0 ? got : -1;
        got += n;
        if (n == 0 || source.atEnd()) {
            atEnd = true;
            break;
        }
    }
    return got;
}

char *KeywordMatcher::room(qsizetype blockSize, qsizetype capacity)
{
    // Reads land at the buffer's start, aligned to a page: the system copies
    // into an aligned buffer markedly faster (a third less CPU time measured on
    // a warm cache, where copying is most of a search's work).
    const qsizetype block = blockFor(blockSize);
    return m_buffer.aligned(std::max(capacity, block + keptFor(block)), 4096);
}

bool KeywordMatcher::matches(ByteSource &source, qsizetype blockSize, qsizetype held,
                             bool heldAtEnd)
{
    if (m_never)
        return false;
    const qsizetype keep = m_span + 2; // the overlap of a line longer than `kept`
    const qsizetype block = blockFor(blockSize);
    const qsizetype kept = keptFor(block);
    char *buffer = room(blockSize, block + kept);

    m_continuing = false;
    resetLine();
    bool skipLineFeed = false; // the previous block ended with a CR
    qsizetype carry = 0;       // bytes kept at the front of the buffer
    for (;;) {
        qsizetype n = held;
        bool last = heldAtEnd;
        if (held > 0) {
            held = 0;
        } else {
            // A block, or with a short carry the overlap's room too.
            n = readBlock(source, buffer + carry, std::max(block + keep - carry, block), last);
            if (n < 0)
                return false;
        }
        const char *begin = buffer;
        const char *end = buffer + carry + n;
        if (skipLineFeed && n > 0) { // carry is 0 here
            if (*begin == '\n')
                ++begin;
            skipLineFeed = false;
        }
        if (last)
            return scanLines(begin, end);

        const char *partial = begin;
        if (const char *cr = static_cast<const char *>(memrchr(begin, '\r', size_t(end - begin)))) {
            if (scanLines(begin, cr + 1))
                return true;
            partial = cr + 1;
            if (partial == end) {
                skipLineFeed = true;
                carry = 0;
                continue;
            }
            if (*partial == '\n')
                ++partial;
        }
        if (end - partial > kept) {
            // The line goes on past this block. Search the part that is certain
            // (not a lead byte whose partner is still unread) and keep an overlap
            // that starts at a character boundary.
            if (!m_continuing) {
                resetLine();
                m_continuing = true;
            }
            const char *certain = end - (leadRunBefore(partial, end) % 2);
            if (checkSegment(partial, certain, false))
                return true;
            const char *overlap = std::max(partial, certain - m_span);
            if (!cp932::isUnitBoundary(bytes(partial), bytes(overlap)))
                --overlap;
            partial = overlap;
        }
        carry = end - partial;
        std::memmove(buffer, partial, size_t(carry));
    }
}
