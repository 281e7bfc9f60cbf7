// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Searches of UTF-16 text for one unit, or for either of two, eight units at
// a time where SSE2 is: the C library has memchr for bytes and wmemchr for
// 32-bit units, nothing for 16-bit ones; and the count of a text's lines.
// Inline: each is an inner loop.

#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace utf16scan {

// The first unit from p on that is a or b, or end where there is none.
inline const char16_t *findEither(const char16_t *p, const char16_t *end, char16_t a, char16_t b)
{
    // Where hits are dense (a run of the unit looked for), the next is
    // often the first: taken before any vector is set up.
    if (p < end && (*p == a || *p == b))
        return p;
#if defined(__SSE2__)
    const __m128i wantA = _mm_set1_epi16(static_cast<short>(a));
    const __m128i wantB = _mm_set1_epi16(static_cast<short>(b));
    for (; end - p >= 8; p += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const int mask =
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(v, wantA), _mm_cmpeq_epi16(v, wantB)));
        if (mask != 0)
            return p + __builtin_ctz(static_cast<unsigned>(mask)) / 2;
    }
#endif
    while (p < end && *p != a && *p != b)
        ++p;
    return p;
}

// The first unit from p on that is c, or end where there is none.
inline const char16_t *find(const char16_t *p, const char16_t *end, char16_t c)
{
    return findEither(p, end, c, c);
}

// What the lines of [p, end) cost where each line is counted as its units
// and one more for its end: the units that are no line end (CR or LF), and
// one for each line that holds any (a line ends at each CR or LF, so a CR-LF
// pair ends a line and then an empty one).
inline std::size_t lineUnits(const char16_t *p, const char16_t *end)
{
    const std::size_t size = std::size_t(end - p);
    std::size_t ends = 0;  // units that end a line
    std::size_t lines = 0; // lines with units, ended
    bool before = true;    // the unit before is a line end (or there is none)
#if defined(__SSE2__)
    if (end - p >= 8) {
        const __m128i cr = _mm_set1_epi16(u'\r');
        const __m128i lf = _mm_set1_epi16(u'\n');
        // Per lane, minus the count of line ends and of lines ended at the
        // lane; summed before a lane can wrap.
        __m128i endsIn = _mm_setzero_si128();
        __m128i linesIn = _mm_setzero_si128();
        __m128i last = _mm_set_epi16(0, 0, 0, 0, 0, 0, 0, -1); // lane 0: before
        const auto sum = [](__m128i counts) {
            // Lanes of -1 to -32768, as 32-bit sums.
            const __m128i wide = _mm_madd_epi16(counts, _mm_set1_epi16(-1));
            const __m128i pairs = _mm_add_epi32(wide, _mm_srli_si128(wide, 8));
            return std::size_t(
                unsigned(_mm_cvtsi128_si32(_mm_add_epi32(pairs, _mm_srli_si128(pairs, 4)))));
        };
        int round = 0;
        for (; end - p >= 8; p += 8) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
            const __m128i hit = _mm_or_si128(_mm_cmpeq_epi16(v, cr), _mm_cmpeq_epi16(v, lf));
            const __m128i prior = _mm_or_si128(_mm_slli_si128(hit, 2), last);
            endsIn = _mm_add_epi16(endsIn, hit);
            linesIn = _mm_add_epi16(linesIn, _mm_andnot_si128(prior, hit));
            last = _mm_srli_si128(hit, 14);
            if (++round == 32767) {
                ends += sum(endsIn);
                lines += sum(linesIn);
                endsIn = linesIn = _mm_setzero_si128();
                round = 0;
            }
        }
        ends += sum(endsIn);
        lines += sum(linesIn);
        before = _mm_cvtsi128_si32(last) != 0;
    }
#endif
    for (; p < end; ++p) {
        const bool isEnd = *p == u'\r' || *p == u'\n';
        ends += isEnd;
        lines += isEnd && !before;
        before = isEnd;
    }
    return size - ends + lines + !before;
}

} // namespace utf16scan
