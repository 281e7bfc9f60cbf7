// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "text/Unicode.h"

#include "text/AsciiRun.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define TARNWELL_UTF8_AVX2 1
#endif

namespace platform {

namespace {

constexpr quint64 kHighBits = 0x8080808080808080ULL;

// The start of a sequence: how many continuation bytes follow (-1: the byte
// cannot start one) and the range the first of them must lie in.
int sequenceStart(unsigned char b, unsigned char &lower, unsigned char &upper)
{
    lower = 0x80;
    upper = 0xBF;
    if (b >= 0xC2 && b <= 0xDF)
        return 1;
    if (b >= 0xE0 && b <= 0xEF) {
        if (b == 0xE0)
            lower = 0xA0;
        else if (b == 0xED)
            upper = 0x9F;
        return 2;
    }
    if (b >= 0xF0 && b <= 0xF4) {
        if (b == 0xF0)
            lower = 0x90;
        else if (b == 0xF4)
            upper = 0x8F;
        return 3;
    }
    return -1;
}

#ifdef TARNWELL_UTF8_AVX2
// UTF-8 validation 32 bytes at a time, by the lookup method of Keiser and
// Lemire ("Validating UTF-8 in less than one instruction per byte", 2021).
// Each byte is checked against the one before it by three table lookups on
// nibbles (the first byte's high and low nibble, the second byte's high
// nibble), whose bits name the errors a pair can show; a third or fourth byte
// of a sequence is checked by looking two and three bytes back.
namespace utf8simd {

constexpr char kTooShort = 1 << 0;  // a lead byte, then no continuation byte
constexpr char kTooLong = 1 << 1;   // ASCII, then a continuation byte
constexpr char kOverlong3 = 1 << 2; // E0 80..9F
constexpr char kTooLarge = 1 << 3;  // F4 90..BF, F5..FF
constexpr char kSurrogate = 1 << 4; // ED A0..BF
constexpr char kOverlong2 = 1 << 5; // C0, C1
constexpr char kTooLarge1000 = 1 << 6;
constexpr char kOverlong4 = 1 << 6; // F0 80..8F
constexpr char kTwoConts = char(1 << 7);
constexpr char kCarry = kTooShort | kTooLong | kTwoConts;

__attribute__((target("avx2"))) inline __m256i table(char a0, char a1, char a2, char a3, char a4,
                                                     char a5, char a6, char a7, char a8, char a9,
                                                     char a10, char a11, char a12, char a13,
                                                     char a14, char a15)
{
    return _mm256_setr_epi8(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15,
                            a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15);
}

// The bytes of `input` shifted back by N, the first N taken from the end of
// `previous`.
template <int N>
__attribute__((target("avx2"))) inline __m256i before(__m256i input, __m256i previous)
{
    return _mm256_alignr_epi8(input, _mm256_permute2x128_si256(previous, input, 0x21), 16 - N);
}

__attribute__((target("avx2"))) inline __m256i highNibbles(__m256i v)
{
    return _mm256_and_si256(_mm256_srli_epi16(v, 4), _mm256_set1_epi8(0x0F));
}

// Nonzero bytes where `input` (after `previous`) breaks UTF-8.
__attribute__((target("avx2"))) inline __m256i errors(__m256i input, __m256i previous)
{
    const __m256i prev1 = before<1>(input, previous);
    const __m256i byte1High = _mm256_shuffle_epi8(
        table(kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong,
              kTwoConts, kTwoConts, kTwoConts, kTwoConts, kTooShort | kOverlong2, kTooShort,
              kTooShort | kOverlong3 | kSurrogate,
              kTooShort | kTooLarge | kTooLarge1000 | kOverlong4),
        highNibbles(prev1));
    const __m256i byte1Low = _mm256_shuffle_epi8(
        table(kCarry | kOverlong3 | kOverlong2 | kOverlong4, kCarry | kOverlong2, kCarry, kCarry,
              kCarry | kTooLarge, kCarry | kTooLarge | kTooLarge1000,
              kCarry | kTooLarge | kTooLarge1000, kCarry | kTooLarge | kTooLarge1000,
              kCarry | kTooLarge | kTooLarge1000, kCarry | kTooLarge | kTooLarge1000,
              kCarry | kTooLarge | kTooLarge1000, kCarry | kTooLarge | kTooLarge1000,
              kCarry | kTooLarge | kTooLarge1000, kCarry | kTooLarge | kTooLarge1000 | kSurrogate,
              kCarry | kTooLarge | kTooLarge1000, kCarry | kTooLarge | kTooLarge1000),
        _mm256_and_si256(prev1, _mm256_set1_epi8(0x0F)));
    const __m256i byte2High = _mm256_shuffle_epi8(
        table(kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,
              kTooShort,
              kTooLong | kOverlong2 | kTwoConts | kOverlong3 | kTooLarge1000 | kOverlong4,
              kTooLong | kOverlong2 | kTwoConts | kOverlong3 | kTooLarge,
              kTooLong | kOverlong2 | kTwoConts | kSurrogate | kTooLarge,
              kTooLong | kOverlong2 | kTwoConts | kSurrogate | kTooLarge, kTooShort, kTooShort,
              kTooShort, kTooShort),
        highNibbles(input));
    const __m256i special = _mm256_and_si256(_mm256_and_si256(byte1High, byte1Low), byte2High);
    // A third byte (E0 and up two back) or fourth byte (F0 and up three back)
    // must continue; kTwoConts marked exactly the continuation bytes after one.
    const __m256i third = _mm256_subs_epu8(before<2>(input, previous), _mm256_set1_epi8(0x60));
    const __m256i fourth = _mm256_subs_epu8(before<3>(input, previous), _mm256_set1_epi8(0x70));
    const __m256i must =
        _mm256_and_si256(_mm256_or_si256(third, fourth), _mm256_set1_epi8(char(0x80)));
    return _mm256_xor_si256(must, special);
}

// Nonzero where the last three bytes begin a sequence that needs more bytes.
__attribute__((target("avx2"))) inline __m256i unfinished(__m256i input)
{
    const __m256i limits = _mm256_setr_epi8(
        char(0xFF), char(0xFF), char(0xFF), char(0xFF), char(0xFF), char(0xFF), char(0xFF),
        char(0xFF), char(0xFF), char(0xFF), char(0xFF), char(0xFF), char(0xFF), char(0xFF),
        char(0xFF), char(0xFF), char(0xFF), char(0xFF), char(0xFF), char(0xFF), char(0xFF),
        char(0xFF), char(0xFF), char(0xFF), char(0xFF), char(0xFF), char(0xFF), char(0xFF),
        char(0xFF), char(0xEF), char(0xDF), char(0xBF));
    return _mm256_subs_epu8(input, limits);
}

// Validates from p (a character boundary) while 32 bytes are left. Returns
// the character boundary it got to (a sequence cut by the last block is left
// to the caller, from its lead byte on), or null for invalid bytes.
__attribute__((target("avx2"))) const unsigned char *validate(const unsigned char *p,
                                                              const unsigned char *e)
{
    __m256i error = _mm256_setzero_si256();
    __m256i previous = _mm256_setzero_si256();
    __m256i previousUnfinished = _mm256_setzero_si256();
    for (; e - p >= 32; p += 32) {
        const __m256i input = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
        if (_mm256_movemask_epi8(input) == 0) {
            error = _mm256_or_si256(error, previousUnfinished);
            previousUnfinished = _mm256_setzero_si256();
        } else {
            error = _mm256_or_si256(error, errors(input, previous));
            previousUnfinished = unfinished(input);
        }
        previous = input;
        // Checked now and then, so that an invalid file stops early.
        if ((reinterpret_cast<quintptr>(p) & 1023) < 32 && !_mm256_testz_si256(error, error))
            return nullptr;
    }
    if (!_mm256_testz_si256(error, error))
        return nullptr;
    // Back to the lead byte of a sequence the last block cut.
    if (p[-1] >= 0xC0)
        return p - 1;
    if (p[-2] >= 0xE0)
        return p - 2;
    if (p[-3] >= 0xF0)
        return p - 3;
    return p;
}

} // namespace utf8simd
#endif
} // namespace

bool Utf8Validator::feed(const char *data, qsizetype size)
{
    if (!m_valid)
        return false;
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    const auto *e = p + size;
    int needed = m_needed;
    unsigned char lower = m_lower, upper = m_upper;
    while (p < e) {
        if (needed == 0) {
#ifdef TARNWELL_UTF8_AVX2
            static const bool avx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
            if (avx2 && e - p >= 64) {
                p = utf8simd::validate(p, e);
                if (!p) {
                    m_valid = false;
                    return false;
                }
            }
#endif
            // Plain ASCII eight bytes at a time.
            while (e - p >= 8) {
                quint64 w;
                std::memcpy(&w, p, 8);
                if (w & kHighBits)
                    break;
                p += 8;
            }
            if (p == e)
                break;
            const unsigned char b = *p;
            if (b < 0x80) {
                ++p;
                continue;
            }
            // The common whole sequences at once: two bytes, and three bytes
            // with a lead that takes any continuation (most of CJK).
            if (b >= 0xC2 && b <= 0xDF && e - p >= 2 && (p[1] & 0xC0) == 0x80) {
                p += 2;
                continue;
            }
            if (b >= 0xE1 && b <= 0xEF && b != 0xED && e - p >= 3 && (p[1] & 0xC0) == 0x80 &&
                (p[2] & 0xC0) == 0x80) {
                p += 3;
                continue;
            }
            ++p;
            needed = sequenceStart(b, lower, upper);
            if (needed < 0) {
                m_valid = false;
                return false;
            }
            continue;
        }
        const unsigned char b = *p++;
        if (b < lower || b > upper) {
            m_valid = false;
            return false;
        }
        lower = 0x80;
        upper = 0xBF;
        --needed;
    }
    m_needed = needed;
    m_lower = lower;
    m_upper = upper;
    return true;
}

void appendUtf8(const char *data, qsizetype size, QString &out, char16_t replacement,
                std::vector<qsizetype> *errors)
{
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    const auto *e = p + size;
    // Each byte gives at most one unit (a four-byte sequence two; an error
    // takes at least a byte): written in place, the string cut to what was
    // written at the end.
    const qsizetype used = out.size();
    out.resize(used + size);
    char16_t *const begin = reinterpret_cast<char16_t *>(out.data());
    char16_t *dst = begin + used;
    auto addError = [&] {
        if (errors)
            errors->push_back(dst - begin);
        *dst++ = replacement;
    };
    char32_t cp = 0;
    int needed = 0;
    unsigned char lower = 0x80, upper = 0xBF;
    while (p < e) {
        const unsigned char b = *p;
        if (needed == 0) {
            if (b < 0x80) {
                // ASCII runs eight bytes at a time.
                *dst++ = b;
                ++p;
                asciirun::widen(p, e, dst);
                continue;
            }
            // A whole two- or three-byte sequence (most non-ASCII text) at once.
            if (b >= 0xC2 && b <= 0xEF && e - p >= 3) {
                const unsigned char b1 = p[1];
                if (b < 0xE0) {
                    if (b1 >= 0x80 && b1 <= 0xBF) {
                        *dst++ = char16_t(((b & 0x1F) << 6) | (b1 & 0x3F));
                        p += 2;
                        continue;
                    }
                } else {
                    const unsigned char b2 = p[2];
                    const unsigned char low = b == 0xE0 ? 0xA0 : 0x80;
                    const unsigned char high = b == 0xED ? 0x9F : 0xBF;
                    if (b1 >= low && b1 <= high && b2 >= 0x80 && b2 <= 0xBF) {
                        *dst++ = char16_t(((b & 0x0F) << 12) | ((b1 & 0x3F) << 6) | (b2 & 0x3F));
                        p += 3;
                        continue;
                    }
                }
            }
            ++p;
            needed = sequenceStart(b, lower, upper);
            if (needed < 0) {
                needed = 0;
                addError();
                continue;
            }
            cp = b & (0x3F >> needed);
            continue;
        }
        if (b < lower || b > upper) {
            // The sequence so far is one error; b starts afresh (not consumed).
            needed = 0;
            lower = 0x80;
            upper = 0xBF;
            addError();
            continue;
        }
        ++p;
        lower = 0x80;
        upper = 0xBF;
        cp = (cp << 6) | (b & 0x3F);
        if (--needed == 0) {
            if (cp >= 0x10000) {
                *dst++ = QChar::highSurrogate(cp);
                *dst++ = QChar::lowSurrogate(cp);
            } else {
                *dst++ = char16_t(cp);
            }
        }
    }
    if (needed != 0)
        addError();
    out.resize(dst - begin);
}

void appendUtf16(const char *data, qsizetype size, bool bigEndian, QString &out,
                 char16_t replacement, std::vector<qsizetype> *errors)
{
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    const qsizetype units = size / 2;
    const qsizetype used = out.size();
    // At most one unit a unit, and one for a last odd byte: written in
    // place, the string cut to what was written at the end.
    out.resize(used + units + 1);
    char16_t *const begin = reinterpret_cast<char16_t *>(out.data());
    char16_t *dst = begin + used;
    auto addError = [&] {
        if (errors)
            errors->push_back(dst - begin);
        *dst++ = replacement;
    };
    auto unit = [&](qsizetype i) {
        const unsigned char a = p[2 * i], b = p[2 * i + 1];
        return char16_t(bigEndian ? (a << 8) | b : (b << 8) | a);
    };
    for (qsizetype i = 0; i < units; ++i) {
        const char16_t u = unit(i);
        if (!QChar::isSurrogate(u)) {
            *dst++ = u;
        } else if (QChar::isHighSurrogate(u) && i + 1 < units &&
                   QChar::isLowSurrogate(unit(i + 1))) {
            *dst++ = u;
            *dst++ = unit(++i);
        } else {
            addError();
        }
    }
    if (size % 2)
        addError();
    out.truncate(dst - begin);
}

} // namespace platform
