// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "search/CaselessFind.h"

#include <algorithm>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define TARNWELL_CASELESS_X86 1
#endif

namespace search {

namespace {

bool isLowerLetter(char c)
{
    return c >= 'a' && c <= 'z';
}

char lowered(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c + 0x20) : c;
}

bool holds(const char *p, const CaselessNeedle &needle)
{
    const char *n = needle.lower.constData();
    for (qsizetype k = 0; k < needle.lower.size(); ++k) {
        if (lowered(p[k]) != n[k])
            return false;
    }
    return true;
}

} // namespace

CaselessNeedle caselessNeedle(const QByteArray &lower, const ByteRanks &ranks)
{
    CaselessNeedle needle;
    needle.lower = lower.left(kMaxCaseless);
    const auto rank = [&](qsizetype i) {
        const auto c = static_cast<unsigned char>(needle.lower[i]);
        return isLowerLetter(char(c)) ? std::max(ranks[c], ranks[c - 0x20]) : ranks[c];
    };
    const qsizetype n = needle.lower.size();
    qsizetype a = 0;
    for (qsizetype i = 1; i < n; ++i)
        if (rank(i) < rank(a))
            a = i;
    qsizetype b = a == 0 && n > 1 ? 1 : 0;
    for (qsizetype i = 0; i < n; ++i)
        if (i != a && rank(i) < rank(b))
            b = i;
    needle.rare1 = std::min(a, b);
    needle.rare2 = std::max(a, b);
    return needle;
}

const char *findCaseless(const char *from, const char *end, const CaselessNeedle &needle)
{
    const qsizetype n = needle.lower.size();
    if (n == 0 || end - from < n)
        return nullptr;
    const char *stop = end - n + 1; // one past the last possible start
    const char *p = from;
    const char b1 = needle.lower[needle.rare1], b2 = needle.lower[needle.rare2];
#ifdef TARNWELL_CASELESS_X86
    // A letter's byte with 0x20 set is its lower case; other bytes compare as
    // they are (a few non-letters collide, and the whole comparison settles it).
    const __m128i v1 = _mm_set1_epi8(b1), v2 = _mm_set1_epi8(b2);
    const __m128i m1 = _mm_set1_epi8(isLowerLetter(b1) ? 0x20 : 0);
    const __m128i m2 = _mm_set1_epi8(isLowerLetter(b2) ? 0x20 : 0);
    for (; stop - p >= 16; p += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + needle.rare1));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + needle.rare2));
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(
            _mm_cmpeq_epi8(_mm_or_si128(x, m1), v1), _mm_cmpeq_epi8(_mm_or_si128(y, m2), v2))));
        for (; mask != 0; mask &= mask - 1) {
            const char *start = p + __builtin_ctz(mask);
            if (holds(start, needle))
                return start;
        }
    }
#endif
    for (; p < stop; ++p) {
        if (lowered(p[needle.rare1]) == b1 && lowered(p[needle.rare2]) == b2 && holds(p, needle))
            return p;
    }
    return nullptr;
}

} // namespace search
