// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The decoders' common case, ASCII, copied as UTF-16 eight bytes at a time.
// Inline: it is the inner loop of every decoder that uses it.

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace asciirun {

// Copies bytes from p into dst, sixteen or eight at a time, while eight
// remain and all eight are below 80; p and dst move past what was copied.
// What is left (fewer than eight bytes, or a group holding a byte from 80 up)
// is the caller's.
inline void widen(const unsigned char *&p, const unsigned char *end, char16_t *&dst)
{
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; end - p >= 16; p += 16, dst += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        if (_mm_movemask_epi8(v) != 0)
            break;
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + 8), _mm_unpackhi_epi8(v, zero));
    }
#endif
    constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
    while (end - p >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, sizeof word);
        if (word & kHighBits)
            break;
        for (int k = 0; k < 8; ++k)
            dst[k] = p[k];
        p += 8;
        dst += 8;
    }
}

// The first byte from p on that is 80 or above, or end: ASCII passed over
// thirty-two bytes at a time where SSE2 is, else eight.
inline const unsigned char *skip(const unsigned char *p, const unsigned char *end)
{
#if defined(__SSE2__)
    for (; end - p >= 32; p += 32) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16));
        if (_mm_movemask_epi8(_mm_or_si128(a, b)) != 0)
            break;
    }
#endif
    for (std::uint64_t word; end - p >= 8; p += 8) {
        std::memcpy(&word, p, sizeof word);
        if (word & 0x8080808080808080ull)
            break;
    }
    while (p < end && *p < 0x80)
        ++p;
    return p;
}

} // namespace asciirun
