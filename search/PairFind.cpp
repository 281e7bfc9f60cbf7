// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "search/PairFind.h"

#include "search/TwoWay.h"
#include "search/WorkCount.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define TARNWELL_PACKED_PAIR_X86 1
#endif

namespace search {

// clang-format off
// Code page 932 text: the ranks of the byte frequencies of C and C++ headers,
// English documentation and Japanese prose in code page 932, each weighted
// alike (made by bench/byte-ranks.py from the benchmark corpora).
const ByteRanks kCp932TextRanks = { // a row per high nibble
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

// UTF-8 text: the same, with Japanese prose in UTF-8 (the ja-utf8 corpus) in
// place of code page 932 (bench/byte-ranks.py, as its help says).
const ByteRanks kUtf8TextRanks = { // a row per high nibble
      5,   0,   2,   4,   9,  15,  21,  34,  31, 191, 245,  39,  30,  23,  42,  53,
     11,  18,  24,  10,  27,  26,  62,  66,  47,  14,  41,  35,  71,  25,  44,  49,
    255,  90, 228, 178,  91, 100, 123, 189, 216, 215, 226, 102, 225, 227, 231, 238,
    204, 201, 199, 172, 164, 161, 156, 119, 153, 157, 193, 190, 220, 205, 219,  88,
    103, 211, 196, 210, 194, 223, 188, 185, 167, 221,  99, 135, 213, 195, 209, 206,
    218,  95, 212, 229, 222, 183, 165, 125, 174, 142,  97, 110, 207, 108,  87, 244,
     92, 248, 224, 241, 240, 254, 236, 230, 232, 251, 113, 202, 243, 234, 249, 246,
    239, 136, 247, 250, 252, 233, 214, 198, 203, 217, 134, 133, 115, 130,  84,  29,
    200, 242, 237, 235, 162, 118, 132, 143, 179, 158, 138, 186, 187, 152,  96, 149,
    145, 112, 163, 137, 116, 176, 141, 173, 106, 168, 124, 127, 117, 105, 114, 139,
    144, 148, 121, 126, 169, 109, 159, 175, 177, 128, 170, 184, 111, 150, 197, 182,
    140, 104,  93, 166, 107, 101,  98, 122, 147, 155, 120, 129, 181, 131, 154, 146,
     12,  86,  94,  89,   6,  68,  54,  52,   8,  74,  32,  81,  37,  72,  79,  65,
      7,  61,  22,  85,   3,  75,  56,  63,  33,  70,  38,  83,  28,  82,  78,  45,
     57,  76,  73, 253, 160, 208, 192, 180, 171, 151,  13,  80,  48,  69,  64,  67,
     46,  50,  20,  77,  36,  55,  59,  60,  19,  43,  17,  58,  16,  51,  40,   1,
};
// clang-format on

void choosePair(const char *needle, qsizetype size, const ByteRanks &ranks, qsizetype &rare1,
                qsizetype &rare2)
{
    auto rank = [&](qsizetype i) { return ranks[static_cast<unsigned char>(needle[i])]; };
    qsizetype rarest = 0;
    for (qsizetype i = 1; i < size; ++i) {
        if (rank(i) < rank(rarest))
            rarest = i;
    }
    // The second: the next rarest byte, which may be the same byte again ("ff"
    // of "offset" is far rarer than "f" and "o" apart). Not where the needle
    // holds a run of the rarest byte: a run of it in the text would pass every
    // start, and each start would match the needle's run before failing, so
    // there a byte unlike the first is taken, where the needle has one.
    const char first = needle[rarest];
    qsizetype run = 0, longestRun = 0;
    for (qsizetype i = 0; i < size; ++i) {
        run = needle[i] == first ? run + 1 : 0;
        longestRun = std::max(longestRun, run);
    }
    const bool wantUnlike = longestRun >= kLongRun;
    qsizetype second = -1;
    for (qsizetype i = 0; i < size; ++i) {
        if (i == rarest)
            continue;
        if (second < 0) {
            second = i;
            continue;
        }
        const bool unlike = needle[i] != first, secondUnlike = needle[second] != first;
        if ((wantUnlike && unlike != secondUnlike) ? unlike : rank(i) < rank(second))
            second = i;
    }
    if (second < 0)
        second = rarest;
    rare1 = std::min(rarest, second);
    rare2 = std::max(rarest, second);
}

namespace {

// The starts from p on that hold the needle's two rarest bytes at their offsets,
// tested a vector's worth at a time while a whole vector of starts lies before
// stop; each start that holds both is compared whole. Returns the first
// occurrence, or null with p at the first start not tested.
struct PackedPair {
    const char *bytes; // the needle
    qsizetype size;
    qsizetype i1, i2; // the offsets of its two rarest bytes
    const char *from; // where the search began
    qsizetype work;   // bytes compared in candidates so far
    bool gaveUp;      // the comparing outgrew the scan: p is where to go on

    // True when the needle is at start. Compared in pieces, so that a
    // candidate costs about what it matches; false with gaveUp set once the
    // comparing clearly outweighs the bytes scanned.
    bool holds(const char *start)
    {
        constexpr qsizetype kPiece = 64;
        qsizetype done = 0;
        while (done < size) {
            const qsizetype piece = std::min(kPiece, size - done);
            if (std::memcmp(start + done, bytes + done, size_t(piece)) != 0)
                break;
            done += piece;
        }
        if (done == size)
            return true;
        work += done + kPiece;
        if (work > kSpareWork + 2 * (start - from))
            gaveUp = true;
        return false;
    }

    // The comparing allowed before the fallback, beyond twice the bytes scanned.
    static constexpr qsizetype kSpareWork = 4096;
};

#ifdef TARNWELL_PACKED_PAIR_X86
// The starts at p that hold both bytes, a byte of all ones each.
__attribute__((target("avx2"), always_inline)) inline __m256i
pairsAt(const char *p, qsizetype i1, qsizetype i2, __m256i v1, __m256i v2)
{
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + i1));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + i2));
    return _mm256_and_si256(_mm256_cmpeq_epi8(a, v1), _mm256_cmpeq_epi8(b, v2));
}

// The scan proper is a function of its own, with no call in it: a call clobbers
// every vector register, and inside one loop with the candidates' comparisons
// the compiler keeps the patterns, the position and the offsets on the stack
// and loads them again at every step. Returns the first vector's worth of
// starts from q on, while a whole one lies before stop, with a start that
// holds both bytes (*mask: which), or the first start not tested (*mask 0).
__attribute__((target("avx2"), noinline)) const char *scanPairsAvx2(const char *q, const char *stop,
                                                                    qsizetype i1, qsizetype i2,
                                                                    char b1, char b2,
                                                                    unsigned *mask)
{
    const __m256i v1 = _mm256_set1_epi8(b1), v2 = _mm256_set1_epi8(b2);
    const qsizetype n = stop - q;
    qsizetype at = 0;
    // Two vectors' worth a step, tested together.
    for (; at + 64 <= n; at += 64) {
        const __m256i x = pairsAt(q + at, i1, i2, v1, v2);
        const __m256i y = pairsAt(q + at + 32, i1, i2, v1, v2);
        if (!_mm256_testz_si256(_mm256_or_si256(x, y), _mm256_or_si256(x, y))) {
            const auto m = static_cast<unsigned>(_mm256_movemask_epi8(x));
            *mask = m != 0 ? m : static_cast<unsigned>(_mm256_movemask_epi8(y));
            return q + at + (m != 0 ? 0 : 32);
        }
    }
    for (; at + 32 <= n; at += 32) {
        if (const auto m =
                static_cast<unsigned>(_mm256_movemask_epi8(pairsAt(q + at, i1, i2, v1, v2)));
            m != 0) {
            *mask = m;
            return q + at;
        }
    }
    *mask = 0;
    return q + at;
}

// The same, 16 starts at a time, for processors without AVX2 and for what is
// left after the wider scan.
__attribute__((noinline)) const char *scanPairsSse2(const char *q, const char *stop, qsizetype i1,
                                                    qsizetype i2, char b1, char b2, unsigned *mask)
{
    const __m128i v1 = _mm_set1_epi8(b1), v2 = _mm_set1_epi8(b2);
    for (; stop - q >= 16; q += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(q + i1));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(q + i2));
        const auto m = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, v1), _mm_cmpeq_epi8(b, v2))));
        if (m != 0) {
            *mask = m;
            return q;
        }
    }
    *mask = 0;
    return q;
}

// The candidates of each vector's worth that the scan stops at, compared whole.
template <const char *(*scan)(const char *, const char *, qsizetype, qsizetype, char, char,
                              unsigned *),
          int kWidth>
const char *findPairsWith(const char *&p, const char *stop, PackedPair &k)
{
    const char *q = p;
    for (;;) {
        unsigned mask = 0;
        q = scan(q, stop, k.i1, k.i2, k.bytes[k.i1], k.bytes[k.i2], &mask);
        if (mask == 0)
            break;
        for (; mask != 0; mask &= mask - 1) {
            const char *start = q + __builtin_ctz(mask);
            if (k.holds(start) || k.gaveUp) {
                p = q;
                return k.gaveUp ? nullptr : start;
            }
        }
        q += kWidth;
    }
    p = q;
    return nullptr;
}
#endif

const char *findPairs(const char *&p, const char *stop, PackedPair &k)
{
#ifdef TARNWELL_PACKED_PAIR_X86
    // 32 starts at a time where the processor can, then 16 at a time for what is
    // left (every search ends there, so both paths are always in use).
    static const bool avx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
    if (avx2) {
        if (const char *hit = findPairsWith<scanPairsAvx2, 32>(p, stop, k); hit || k.gaveUp)
            return hit;
    }
    return findPairsWith<scanPairsSse2, 16>(p, stop, k);
#else
    // Elsewhere: memchr for the rarest byte, then the other byte and the whole.
    const char rare = k.bytes[k.i1];
    while (p < stop) {
        const char *at = static_cast<const char *>(std::memchr(p + k.i1, rare, size_t(stop - p)));
        if (!at)
            break;
        const char *start = at - k.i1;
        if (start[k.i2] == k.bytes[k.i2]) {
            if (k.holds(start))
                return start;
            if (k.gaveUp) {
                p = start;
                return nullptr;
            }
        }
        p = start + 1;
    }
    p = stop;
    return nullptr;
#endif
}

} // namespace

const char *findPair(const char *from, const char *end, const PairNeedle &needle)
{
    const qsizetype n = needle.size;
    if (end - from < n)
        return nullptr;
    const char *first = needle.bytes;
    if (n == 1)
        return static_cast<const char *>(std::memchr(from, first[0], size_t(end - from)));
    const qsizetype i1 = needle.rare1, i2 = needle.rare2;
    const char *p = from;
    const char *stop = end - n + 1; // one past the last possible start
    PackedPair k{first, n, i1, i2, from, 0, false};
    const char *hit = findPairs(p, stop, k);
    // The last starts, fewer than one vector's worth, one at a time.
    const char b1 = first[i1], b2 = first[i2];
    for (; !hit && !k.gaveUp && p < stop; ++p) {
        if (p[i1] == b1 && p[i2] == b2 && k.holds(p))
            hit = p;
        else if (k.gaveUp)
            break;
    }
    extraWork += k.work;
    if (k.gaveUp) // from p on in time linear in what is left
        return TwoWay<char>(first, n).find(p, end);
    return hit;
}

} // namespace search
