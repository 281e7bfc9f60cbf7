// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "KeywordMatcher.h"

#include "Cp932.h"
#include "Cp932Boundary.h"

#include <QHash>

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define TARNWELL_PACKED_PAIR_X86 1
#endif

namespace {

// How common each byte is in the text searched, from 0 (the rarest) to 255 (the
// commonest): the ranks of the byte frequencies of C and C++ headers, English
// documentation and Japanese prose in code page 932, each weighted alike
// (made by bench/byte-ranks.py from the benchmark corpora). Only a guide for
// which two bytes of a needle to look for; any choice is correct.
// clang-format off
constexpr std::array<unsigned char, 256> kByteRank = { // a row per high nibble
      4,   0,   2,   3,   5,  10,  12,  21,  20, 194, 245,  23,  19, 231,  26,  32,
      8,  11,  13,   7,  16,  15,  35,  37,  29,   9,  25,  22,  41,  14,  28,  30,
    255,  70, 230, 184,  82, 112, 136, 189, 211, 210, 226, 119, 220, 229, 233, 238,
    204, 201, 199, 182, 171, 170, 165, 134, 162, 167, 196, 192, 224, 205, 223,  60,
    142, 219, 206, 215, 197, 222, 195, 190, 180, 225, 125, 151, 213, 198, 212, 208,
    218, 110, 209, 228, 221, 187, 186, 160, 193, 152, 126, 188, 214, 128, 124, 243,
    117, 249, 227, 242, 240, 254, 237, 232, 236, 252, 132, 202, 244, 234, 250, 246,
    239, 149, 247, 251, 253, 235, 217, 200, 203, 216, 146, 145, 137, 161,  77,  18,
    109, 207, 248, 241,  61,  81,  92, 131, 133, 155, 166, 177, 157, 181, 179, 173,
    163, 164, 159, 185, 143, 169, 138, 158,  88,  39,  91,  46,  85,  84,  96,  71,
    113,  34, 156,  52, 114,  40, 106,  62,  56, 127, 153, 130,  90, 105, 108, 103,
     49, 135,  53, 144,  36, 154, 118, 175,  64,  93,  73, 116, 107, 140, 102,  59,
     86, 122, 115,  69, 147, 168, 150,  95, 148, 174,  97,  54, 191, 178, 104,  89,
      6,  65,  51,  76,  94,  47, 100,  68,  50,  55,  83,  80, 139, 120,  58,  98,
    123,  72,  79, 101,  38,  67, 129, 121, 141, 183, 172,  57,  78,  99,  63,  42,
    176, 111,  17,  87,  27,  48,  45,  44,  74,  33,  43,  66,  75,  31,  24,   1,
};
// clang-format on

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

// The starts from p on that hold the needle's two rarest bytes at their offsets,
// tested a vector's worth at a time while a whole vector of starts lies before
// stop; each start that holds both is compared whole. Returns the first
// occurrence, or null with p at the first start not tested.
struct PackedPair {
    const char *bytes; // the needle
    qsizetype size;
    qsizetype i1, i2; // the offsets of its two rarest bytes
};

#ifdef TARNWELL_PACKED_PAIR_X86
__attribute__((target("avx2"))) const char *findPairsAvx2(const char *&p, const char *stop,
                                                          const PackedPair &k)
{
    const __m256i v1 = _mm256_set1_epi8(k.bytes[k.i1]);
    const __m256i v2 = _mm256_set1_epi8(k.bytes[k.i2]);
    for (; stop - p >= 32; p += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + k.i1));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + k.i2));
        auto mask = static_cast<unsigned>(_mm256_movemask_epi8(
            _mm256_and_si256(_mm256_cmpeq_epi8(a, v1), _mm256_cmpeq_epi8(b, v2))));
        for (; mask != 0; mask &= mask - 1) {
            const char *start = p + __builtin_ctz(mask);
            if (std::memcmp(start, k.bytes, size_t(k.size)) == 0)
                return start;
        }
    }
    return nullptr;
}

const char *findPairsSse2(const char *&p, const char *stop, const PackedPair &k)
{
    const __m128i v1 = _mm_set1_epi8(k.bytes[k.i1]);
    const __m128i v2 = _mm_set1_epi8(k.bytes[k.i2]);
    for (; stop - p >= 16; p += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + k.i1));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + k.i2));
        auto mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, v1), _mm_cmpeq_epi8(b, v2))));
        for (; mask != 0; mask &= mask - 1) {
            const char *start = p + __builtin_ctz(mask);
            if (std::memcmp(start, k.bytes, size_t(k.size)) == 0)
                return start;
        }
    }
    return nullptr;
}
#endif

const char *findPairs(const char *&p, const char *stop, const PackedPair &k)
{
#ifdef TARNWELL_PACKED_PAIR_X86
    // 32 starts at a time where the processor can, then 16 at a time for what is
    // left (every search ends there, so both paths are always in use).
    static const bool avx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
    if (avx2) {
        if (const char *hit = findPairsAvx2(p, stop, k))
            return hit;
    }
    return findPairsSse2(p, stop, k);
#else
    // Elsewhere: memchr for the rarest byte, then the other byte and the whole.
    const char rare = k.bytes[k.i1];
    while (p < stop) {
        const char *at = static_cast<const char *>(std::memchr(p + k.i1, rare, size_t(stop - p)));
        if (!at)
            break;
        const char *start = at - k.i1;
        if (start[k.i2] == k.bytes[k.i2] && std::memcmp(start, k.bytes, size_t(k.size)) == 0)
            return start;
        p = start + 1;
    }
    p = stop;
    return nullptr;
#endif
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

// The needle's two rarest bytes by kByteRank, at two different offsets (the
// first of equally rare ones), in offset order.
KeywordMatcher::Needle KeywordMatcher::makeNeedle(const QByteArray &bytes)
{
    Needle needle;
    needle.bytes = bytes;
    auto rank = [&bytes](qsizetype i) { return kByteRank[static_cast<unsigned char>(bytes[i])]; };
    qsizetype rarest = 0;
    for (qsizetype i = 1; i < bytes.size(); ++i) {
        if (rank(i) < rank(rarest))
            rarest = i;
    }
    qsizetype second = rarest == 0 ? 1 : 0;
    for (qsizetype i = second + 1; i < bytes.size(); ++i) {
        if (i != rarest && rank(i) < rank(second))
            second = i;
    }
    if (bytes.size() < 2)
        second = rarest;
    needle.rare1 = std::min(rarest, second);
    needle.rare2 = std::max(rarest, second);
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
//
// A needle of one byte is memchr. A longer one is found by its two rarest bytes
// at their offsets (the memchr crate's "packed pair"): 32 or 16 starts at a time
// are tested for both bytes with vector compares, and only the starts that hold
// both are compared whole. Searching for one byte alone stops at every
// occurrence of it, which for a common byte ("f" of "snprintf" in C) costs a
// call per few dozen bytes; the pair is far rarer.
const char *KeywordMatcher::find(const char *from, const char *end, const Needle &needle)
{
    const qsizetype n = needle.bytes.size();
    if (end - from < n)
        return nullptr;
    const char *first = needle.bytes.constData();
    if (n == 1)
        return findByte(from, end, first[0]);
    const qsizetype i1 = needle.rare1, i2 = needle.rare2;
    const char *p = from;
    const char *stop = end - n + 1; // one past the last possible start
    if (const char *hit = findPairs(p, stop, {first, n, i1, i2}))
        return hit;
    // The last starts, fewer than one vector's worth, one at a time.
    const char b1 = first[i1], b2 = first[i2];
    for (; p < stop; ++p) {
        if (p[i1] == b1 && p[i2] == b2 && std::memcmp(p, first, size_t(n)) == 0)
            return p;
    }
    return nullptr;
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

bool KeywordMatcher::matches(ByteSource &source, qsizetype blockSize)
{
    if (m_never)
        return false;
    blockSize = std::max<qsizetype>(blockSize, 1);
    const qsizetype keep = m_span + 2; // the most a piece leaves over for the next
    const qsizetype capacity = blockSize + keep;
    // Reads land at the buffer's start, aligned to a page: the system copies
    // into an aligned buffer markedly faster (a third less CPU time measured on
    // a warm cache, where copying is most of a search's work).
    char *buffer = m_buffer.aligned(capacity, 4096);

    m_continuing = false;
    resetLine();
    bool skipLineFeed = false; // the previous block ended with a CR
    qsizetype carry = 0;       // bytes kept at the front of the buffer
    for (;;) {
        const qsizetype n = source.read(buffer + carry, capacity - carry);
        if (n < 0)
            return false;
        const char *begin = buffer;
        const char *end = buffer + carry + n;
        if (skipLineFeed && n > 0) { // carry is 0 here
            if (*begin == '\n')
                ++begin;
            skipLineFeed = false;
        }
        if (n == 0 || source.atEnd())
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
