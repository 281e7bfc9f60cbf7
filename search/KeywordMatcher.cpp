// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "search/KeywordMatcher.h"

#include "search/PairFind.h"
#include "text/Cp932.h"
#include "text/Cp932Boundary.h"

#include <QHash>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// A coarse rarity of a byte (higher: rarer) that orders the words: the rarest
// word drives the scan.
constexpr std::array<unsigned char, 256> makeRarity()
{
    std::array<unsigned char, 256> r{};
    for (int b = 0; b < 256; ++b)
        r[b] = 3;
    for (int b = 0x80; b < 0x100; ++b)
        r[b] = 2;
    for (int b = 'A'; b <= 'Z'; ++b)
        r[b] = 2;
    for (int b = 'a'; b <= 'z'; ++b)
        r[b] = 1;
    for (int b = '0'; b <= '9'; ++b)
        r[b] = 1;
    for (unsigned char b : {'(', ')', ';', ',', '.', '=', '_', '-', '/', '*', '{', '}', '"', '\'',
                            ':', '<', '>', '#'})
        r[b] = 1;
    for (unsigned char b : {' ', '\n', '\t', 'e', 't', 'a', 'o', 'i', 'n', 's', 'r', 'l', 'c', 'd',
                            'u', 'p', 'm', 'h'})
        r[b] = 0;
    // Lead bytes of punctuation, hiragana and katakana.
    for (unsigned char b : {0x81, 0x82, 0x83})
        r[b] = 0;
    for (unsigned char b :
         {'q', 'z', 'x', 'j', 'Q', 'Z', 'X', 'J', '~', '^', '`', '|', '@', '$', '%', '!', '?', '&'})
        r[b] = 3;
    return r;
}

constexpr std::array<unsigned char, 256> kRarity = makeRarity();

int rarity(const QByteArray &bytes)
{
    int best = -1;
    for (char c : bytes)
        best = std::max(best, int(kRarity[static_cast<unsigned char>(c)]));
    return best;
}

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

KeywordMatcher::KeywordMatcher(const QStringList &words)
{
    for (const QString &text : words) {
        if (text.isEmpty())
            continue;
        Word word;
        word.text = text;
        // Lines never hold a CR: it always ends the line.
        const cp932::Encoding encoding =
            text.contains(QLatin1Char('\r')) ? cp932::Encoding{} : cp932::encode(text);
        switch (encoding.form) {
        case cp932::Form::Impossible:
            m_never = true;
            break;
        case cp932::Form::Unique:
            word.exact = true;
            word.needles.push_back(makeNeedle(encoding.bytes));
            m_span = std::max(m_span, encoding.bytes.size());
            break;
        case cp932::Form::Ambiguous:
            word.needles = prefilter(text);
            m_span = std::max(m_span, 2 * text.size()); // at most two bytes a character
            break;
        }
        m_words.push_back(std::move(word));
    }
    // Exact words first, the rarest (then the longest) at the front: it drives
    // the scan. Then the words with a prefilter, the fewest needles first.
    std::stable_sort(m_words.begin(), m_words.end(), [](const Word &a, const Word &b) {
        if (a.exact != b.exact)
            return a.exact;
        if (!a.exact) {
            if (a.needles.empty() != b.needles.empty())
                return b.needles.empty();
            return a.needles.size() < b.needles.size();
        }
        const QByteArray &na = a.needles.front().bytes, &nb = b.needles.front().bytes;
        const int ra = rarity(na), rb = rarity(nb);
        if (ra != rb)
            return ra > rb;
        return na.size() > nb.size();
    });
    m_primary = !m_words.empty() && !m_words.front().needles.empty();
    if (m_words.empty())
        m_never = true;
    m_seen.assign(m_words.size(), 0);
}

// The needle's two rarest bytes in text such as this matcher searches.
KeywordMatcher::Needle KeywordMatcher::makeNeedle(const QByteArray &bytes)
{
    Needle needle;
    needle.bytes = bytes;
    search::choosePair(bytes.constData(), bytes.size(), search::kCp932TextRanks, needle.rare1,
                       needle.rare2);
    return needle;
}

// A prefilter for a word with a character of several byte forms: the byte forms
// of the part of the word (a run of characters none of which is U+30FB) whose
// forms are at most kMaxNeedles in number, the longest such part (then the one
// with the fewest forms, then the first). Empty when every character is U+30FB.
//
// Linear in the word's length, however long: one pass finds, for each end, the
// longest part ending there (its start only moves forward); the needles are
// built by appending whole runs of single-form characters.
std::vector<KeywordMatcher::Needle> KeywordMatcher::prefilter(const QString &text)
{
    constexpr qsizetype kMaxNeedles = 8;
    // Characters of one form are looked up in the inverse table; the others (a
    // few hundred exist) have their forms listed once per distinct character.
    QHash<char16_t, QList<QByteArray>> listed;
    auto formsOf = [&listed](char16_t c) -> const QList<QByteArray> & {
        auto it = listed.constFind(c);
        if (it == listed.constEnd())
            it = listed.insert(c, cp932::unitForms(c));
        return *it;
    };
    const qsizetype size = text.size();
    std::vector<qsizetype> counts(static_cast<size_t>(size)); // byte forms of each character
    qsizetype bestStart = 0, bestLength = 0, bestCount = 0;
    qsizetype start = 0, count = 1; // the longest part ending at end, and its forms
    for (qsizetype end = 0; end < size; ++end) {
        const char16_t c = text[end].unicode();
        const qsizetype n = cp932::hasUniqueForm(c) ? 1 : formsOf(c).size();
        counts[size_t(end)] = n;
        if (n == 0) {
            start = end + 1;
            count = 1;
            continue;
        }
        count *= n;
        while (count > kMaxNeedles) // every count in the part is at least 1
            count /= counts[size_t(start++)];
        const qsizetype length = end + 1 - start;
        if (length > bestLength || (length > 0 && length == bestLength && count < bestCount)) {
            bestStart = start;
            bestLength = length;
            bestCount = count;
        }
    }
    std::vector<QByteArray> parts{QByteArray()};
    const QStringView view(text);
    for (qsizetype i = bestStart, stop = bestStart + bestLength; i < stop;) {
        qsizetype j = i;
        while (j < stop && cp932::hasUniqueForm(view[j].unicode()))
            ++j;
        if (j > i) { // a run of single-form characters: one encoding, appended to each part
            const QByteArray run = cp932::encode(view.sliced(i, j - i)).bytes;
            for (QByteArray &part : parts)
                part += run;
            i = j;
            continue;
        }
        std::vector<QByteArray> longer;
        for (const QByteArray &part : parts) {
            for (const QByteArray &form : formsOf(view[i].unicode()))
                longer.push_back(part + form);
        }
        parts = std::move(longer);
        ++i;
    }
    std::vector<Needle> needles;
    if (bestLength > 0) {
        for (const QByteArray &part : parts)
            needles.push_back(makeNeedle(part));
    }
    return needles;
}

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

bool KeywordMatcher::wordIn(const Word &word, const char *begin, const char *end, bool &decoded)
{
    if (word.exact)
        return findAtBoundary(begin, end, word.needles.front()) != nullptr;
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
    std::fill(m_seen.begin(), m_seen.end(), 0);
    m_seenCount = 0;
}

// Records the words that occur in [begin, end), a stretch of the current line
// starting at a unit boundary. When the line ends with this stretch, the first
// word missing settles it. True once every word has been seen in the line.
bool KeywordMatcher::checkSegment(const char *begin, const char *end, bool lineEnds)
{
    bool decoded = false;
    for (size_t i = 0; i < m_words.size(); ++i) {
        if (m_seen[i])
            continue;
        if (wordIn(m_words[i], begin, end, decoded)) {
            m_seen[i] = 1;
            ++m_seenCount;
        } else if (lineEnds) {
            return false;
        }
    }
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
        if (primary.exact) {
            m_seen[0] = 1;
            m_seenCount = 1;
        }
        if (checkSegment(lineStart, lineEnd, true)) {
            matched = true;
            break;
        }
        if (lineEnd == end)
            break;
        floor = lineEnd + 1;
        if (floor < end && *floor == '\n')
            ++floor;
        from = floor;
        lineStart = nullptr;
    }
    resetLine();
    return matched;
}

char *KeywordMatcher::room(qsizetype blockSize, qsizetype capacity)
{
    // Reads land at the buffer's start, aligned to a page: the system copies
    // into an aligned buffer markedly faster (a third less CPU time measured on
    // a warm cache, where copying is most of a search's work).
    const qsizetype keep = m_span + 2; // the most a piece leaves over for the next
    return m_buffer.aligned(std::max(capacity, std::max<qsizetype>(blockSize, 1) + keep), 4096);
}

bool KeywordMatcher::matches(ByteSource &source, qsizetype blockSize, qsizetype held,
                             bool heldAtEnd)
{
    if (m_never)
        return false;
    blockSize = std::max<qsizetype>(blockSize, 1);
    const qsizetype keep = m_span + 2;
    const qsizetype capacity = blockSize + keep;
    char *buffer = room(blockSize, capacity);

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
            n = source.read(buffer + carry, capacity - carry);
            if (n < 0)
                return false;
            last = n == 0 || source.atEnd();
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
        if (end - partial > keep) {
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
