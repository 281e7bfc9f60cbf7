// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Searches of UTF-16 text for one unit, or for either of two, eight units at
// a time where SSE2 is: the C library has memchr for bytes and wmemchr for
// 32-bit units, nothing for 16-bit ones. Inline: each is an inner loop.

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

} // namespace utf16scan
