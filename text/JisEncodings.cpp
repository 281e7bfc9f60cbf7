// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "text/JisEncodings.h"

#include "text/AsciiRun.h"
#include "text/Cp932.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif

namespace jis {
namespace {

#include "text/Jis0212Table.inc"

constexpr int kCells = 94;
constexpr std::uint64_t kHighBits = 0x8080808080808080ull;

// JIS X 0208 as code page 932 has it: each row and cell moved to its
// Shift_JIS bytes and read through code page 932's table.
const char16_t *table0208()
{
    static const std::array<char16_t, kCells *kCells> table = [] {
        std::array<char16_t, kCells * kCells> t{};
        for (int row = 0; row < kCells; ++row) {
            for (int cell = 0; cell < kCells; ++cell) {
                const int j1 = row + 0x21, j2 = cell + 0x21;
                const char16_t c = cp932::decodePair(
                    static_cast<unsigned char>((j1 + 1) / 2 + (j1 <= 0x5E ? 0x70 : 0xB0)),
                    static_cast<unsigned char>(j2 +
                                               ((j1 & 1) ? (j2 >= 0x60 ? 0x20 : 0x1F) : 0x7E)));
                // Pairs missing from the table read as U+30FB; so does 81 45.
                const bool missing = c == cp932::kReplacement && !(row == 0 && cell == 5);
                t[size_t(row * kCells + cell)] = missing ? 0 : c;
            }
        }
        return t;
    }();
    return table.data();
}

// The same characters as UTF-8: the bytes in the low three bytes (first byte
// lowest), their count in the top byte; 0 where there is none.
const std::uint32_t *table0208Utf8()
{
    static const std::array<std::uint32_t, kCells *kCells> table = [] {
        std::array<std::uint32_t, kCells * kCells> t{};
        const char16_t *chars = table0208();
        for (size_t i = 0; i < t.size(); ++i) {
            const std::uint32_t c = chars[i];
            if (c == 0)
                continue;
            if (c < 0x80)
                t[i] = c | (1u << 24);
            else if (c < 0x800)
                t[i] = (0xC0 | (c >> 6)) | ((0x80 | (c & 0x3F)) << 8) | (2u << 24);
            else
                t[i] = (0xE0 | (c >> 12)) | ((0x80 | ((c >> 6) & 0x3F)) << 8) |
                       ((0x80 | (c & 0x3F)) << 16) | (3u << 24);
        }
        return t;
    }();
    return table.data();
}

const char16_t *table0212()
{
    return &kJis0212[0][0];
}

// Writes decoded text as UTF-16 into a QString grown beforehand.
class Utf16Sink {
public:
    Utf16Sink(QString &out, qsizetype most, std::vector<qsizetype> *errors)
        : m_out(out), m_used(out.size()), m_errors(errors)
    {
        out.resize(m_used + most);
        m_begin = reinterpret_cast<char16_t *>(out.data());
        m_at = m_begin + m_used;
    }
    ~Utf16Sink() { m_out.resize(m_at - m_begin); }
    void ascii(unsigned char b) { *m_at++ = b; }
    void ascii8(const unsigned char *p)
    {
        for (int k = 0; k < 8; ++k)
            m_at[k] = p[k];
        m_at += 8;
    }
    void unit(char16_t c) { *m_at++ = c; }
    // The JIS X 0208 character at index; false when there is none.
    bool pair(const char16_t *t208, int index)
    {
        const char16_t c = t208[index];
        if (c == 0)
            return false;
        *m_at++ = c;
        return true;
    }
    void error()
    {
        if (m_errors)
            m_errors->push_back(m_at - m_begin);
        *m_at++ = u'\uFFFD';
    }

private:
    QString &m_out;
    qsizetype m_used;
    std::vector<qsizetype> *m_errors;
    char16_t *m_begin = nullptr;
    char16_t *m_at = nullptr;
};

class Utf8Sink {
public:
    explicit Utf8Sink(char *out)
        : m_at(reinterpret_cast<unsigned char *>(out)), m_pairs(table0208Utf8())
    {}
    // Writes four bytes and keeps those of the character: utf8Room() leaves
    // room for the one more.
    bool pair(const char16_t *, int index)
    {
        const std::uint32_t u = m_pairs[index];
        if (u == 0)
            return false;
        const unsigned char bytes[4] = {static_cast<unsigned char>(u),
                                        static_cast<unsigned char>(u >> 8),
                                        static_cast<unsigned char>(u >> 16), 0};
        std::memcpy(m_at, bytes, 4);
        m_at += u >> 24;
        return true;
    }
    void ascii(unsigned char b) { *m_at++ = b; }
    void ascii8(const unsigned char *p)
    {
        std::memcpy(m_at, p, 8);
        m_at += 8;
    }
    void unit(char16_t c)
    {
        if (c < 0x80) {
            *m_at++ = static_cast<unsigned char>(c);
        } else if (c < 0x800) {
            m_at[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
            m_at[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
            m_at += 2;
        } else {
            m_at[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
            m_at[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
            m_at[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
            m_at += 3;
        }
    }
    void error() { *m_at++ = kUtf8Error; }
    char *end() const { return reinterpret_cast<char *>(m_at); }

private:
    unsigned char *m_at;
    const std::uint32_t *m_pairs;
};

// Only counts errors.
struct NullSink {
    void ascii(unsigned char) {}
    void ascii8(const unsigned char *) {}
    void unit(char16_t) {}
    bool pair(const char16_t *t208, int index) { return t208[index] != 0; }
    void error() {}
};

template <typename Sink> void fail(qsizetype &errors, Sink &sink)
{
    ++errors;
    sink.error();
}

// EUC-JP ------------------------------------------------------------------

template <typename Sink>
void run(EucJpState &s, const unsigned char *p, const unsigned char *end, Sink &sink)
{
    const char16_t *t208 = table0208();
    // The state in locals: the sink's stores may alias it.
    unsigned char lead = s.lead;
    bool supplementary = s.jis0212;
    qsizetype errors = s.errors;
    while (p < end) {
        if (lead == 0) {
            // ASCII and JIS X 0208 pairs, the bulk of Japanese text.
            while (p < end) {
                if (*p < 0x80) {
                    std::uint64_t word;
                    if (end - p >= 8 && (std::memcpy(&word, p, sizeof word), !(word & kHighBits))) {
                        sink.ascii8(p);
                        p += 8;
                    } else {
                        sink.ascii(*p++);
                    }
                    continue;
                }
                if (end - p < 2 || p[0] < 0xA1 || p[0] == 0xFF || p[1] < 0xA1 || p[1] == 0xFF)
                    break;
                if (!sink.pair(t208, (p[0] - 0xA1) * kCells + (p[1] - 0xA1)))
                    break;
                p += 2;
            }
            if (p == end)
                break;
            const unsigned char b = *p++;
            if (b < 0x80)
                sink.ascii(b);
            else if (b == 0x8E || b == 0x8F || (b >= 0xA1 && b <= 0xFE))
                lead = b;
            else
                fail(errors, sink);
            continue;
        }
        const unsigned char b = *p;
        if (lead == 0x8F && !supplementary && b >= 0xA1 && b <= 0xFE) {
            supplementary = true;
            lead = b;
            ++p;
            continue;
        }
        const unsigned char first = lead;
        const bool x0212 = supplementary;
        lead = 0;
        supplementary = false;
        char16_t c = 0;
        if (first == 0x8E) {
            if (b >= 0xA1 && b <= 0xDF)
                c = char16_t(0xFF61 + b - 0xA1);
        } else if (first != 0x8F && b >= 0xA1 && b <= 0xFE) {
            c = (x0212 ? table0212() : t208)[(first - 0xA1) * kCells + (b - 0xA1)];
        }
        if (c != 0) {
            sink.unit(c);
            ++p;
            continue;
        }
        fail(errors, sink);
        if (first != 0x8E && b >= 0xA1 && b <= 0xFE) // any other byte is read again
            ++p;
    }
    s.lead = lead;
    s.jis0212 = supplementary;
    s.errors = errors;
}

template <typename Sink> void finishState(EucJpState &s, Sink &sink)
{
    if (s.lead != 0)
        fail(s.errors, sink);
    s.lead = 0;
    s.jis0212 = false;
}

// EUC-JP checked 64 bytes at a time ---------------------------------------

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// True when every cell of the JIS X 0208 rows that start with A1, B0-CE and
// D0-F3 holds a character, and those of the kana rows (A4, A5) up to F3:
// the rows nearly all Japanese text is made of, which the check below takes
// without the table.
bool rowsWholeAsExpected()
{
    const char16_t *t208 = table0208();
    for (int lead = 0xA1; lead <= 0xFE; ++lead) {
        for (int trail = 0xA1; trail <= 0xFE; ++trail) {
            const bool whole = lead == 0xA1 || (lead >= 0xB0 && lead <= 0xF3 && lead != 0xCF) ||
                               ((lead == 0xA4 || lead == 0xA5) && trail <= 0xF3);
            if (whole && t208[(lead - 0xA1) * kCells + (trail - 0xA1)] == 0)
                return false;
        }
    }
    return true;
}

// One bit a byte of a window of 64 bytes: from 80 up; A1-FE; the first byte
// of a pair of the rows above when its second byte is the next one.
struct WindowBits {
    std::uint64_t high = 0, inPairs = 0, leadOk = 0;
};

// How far the window whose bits these are is valid EUC-JP, from its first
// byte, a character's first: 64, or 63 when a pair starts at its last byte,
// or 0 when it may hold anything else. A run of bytes from 80 up is pairs
// from its first byte: adding each run's first bit to the run carries
// through it, which clears the runs that start at an even byte, so the
// first bytes of pairs are the even bytes of those and the odd bytes of the
// rest; each must have its second byte next to it, and no other byte may
// be from 80 up (an odd run ends in a first byte alone).
[[gnu::always_inline]] inline int validSpan(const WindowBits &w)
{
    constexpr std::uint64_t kEven = 0x5555555555555555ull;
    const std::uint64_t high = w.high;
    const std::uint64_t starts = high & ~(high << 1);
    const std::uint64_t runsEven = high & ~(high + (starts & kEven));
    const std::uint64_t leads = (runsEven & kEven) | ((high ^ runsEven) & ~kEven);
    const std::uint64_t trails = high ^ leads;
    if ((trails & ~w.inPairs) | (leads & ~w.leadOk) | ((leads << 1) ^ trails))
        return 0;
    return 64 - int(leads >> 63);
}

// Bytes of v from lo to hi (unsigned), as whole bytes of a mask.
__attribute__((target("avx2"))) inline __m256i inRange(__m256i v, unsigned char lo,
                                                       unsigned char hi)
{
    const __m256i d = _mm256_sub_epi8(v, _mm256_set1_epi8(static_cast<char>(lo)));
    return _mm256_cmpeq_epi8(_mm256_min_epu8(d, _mm256_set1_epi8(static_cast<char>(hi - lo))), d);
}

__attribute__((target("avx2"))) inline __m256i isByte(__m256i v, unsigned char b)
{
    return _mm256_cmpeq_epi8(v, _mm256_set1_epi8(static_cast<char>(b)));
}

// From p, the first byte of a character, past the windows of 64 bytes that
// are valid EUC-JP of ASCII and pairs of the rows above; stops at the first
// that may hold anything else (the byte-wise check decides it), or near end.
// (Without AVX2 every byte goes through the byte-wise check.)
__attribute__((target("avx2"))) const unsigned char *skipValidEucJp(const unsigned char *p,
                                                                    const unsigned char *end)
{
    while (end - p > 64) {
        __m256i v[2];
        WindowBits w;
#pragma GCC unroll 2
        for (int k = 0; k < 2; ++k) {
            v[k] = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + 32 * k));
            w.high |= std::uint64_t(unsigned(_mm256_movemask_epi8(v[k]))) << (32 * k);
        }
        if (w.high == 0) {
            p += 64;
            continue;
        }
#pragma GCC unroll 2
        for (int k = 0; k < 2; ++k) {
            const __m256i next =
                _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + 32 * k + 1));
            const __m256i whole =
                _mm256_or_si256(_mm256_andnot_si256(isByte(v[k], 0xCF), inRange(v[k], 0xB0, 0xF3)),
                                isByte(v[k], 0xA1));
            const __m256i kana = _mm256_and_si256(
                isByte(_mm256_and_si256(v[k], _mm256_set1_epi8(static_cast<char>(0xFE))), 0xA4),
                inRange(next, 0x00, 0xF3));
            w.inPairs |= std::uint64_t(unsigned(_mm256_movemask_epi8(inRange(v[k], 0xA1, 0xFE))))
                         << (32 * k);
            w.leadOk |= std::uint64_t(unsigned(_mm256_movemask_epi8(_mm256_or_si256(whole, kana))))
                        << (32 * k);
        }
        const int span = validSpan(w);
        if (span == 0)
            break;
        p += span;
    }
    return p;
}
#endif

// ISO-2022-JP -------------------------------------------------------------

enum Set : unsigned char { Ascii, Roman, Jis0208, Katakana, Jis0212 };

// The set ESC and these bytes after it select: -1 for none, -2 for a
// beginning that may still become one.
int designated(unsigned after, int count)
{
    switch (count == 2 ? after : count == 3 ? after | 0x1000000u : 0u) {
    case ('$' << 8) | 'B':
    case ('$' << 8) | '@':
        return Jis0208;
    case ('(' << 8) | 'B':
        return Ascii;
    case ('(' << 8) | 'J':
        return Roman;
    case ('(' << 8) | 'I':
        return Katakana;
    case 0x1000000u | ('$' << 16) | ('(' << 8) | 'D':
        return Jis0212;
    default:
        break;
    }
    if ((count == 1 && (after == '$' || after == '(')) ||
        (count == 2 && after == (('$' << 8) | '(')))
        return -2;
    return -1;
}

// A byte other than ESC in the current set.
template <typename Sink>
void plain(Iso2022JpState &s, unsigned char b, Sink &sink, const char16_t *t208)
{
    if (s.lead != 0) {
        const unsigned char lead = s.lead;
        s.lead = 0;
        if (b >= 0x21 && b <= 0x7E) {
            const char16_t *table = s.set == Jis0212 ? table0212() : t208;
            const char16_t c = table[(lead - 0x21) * kCells + (b - 0x21)];
            if (c != 0)
                sink.unit(c);
            else
                fail(s.errors, sink);
            return;
        }
        fail(s.errors, sink); // and b is read on its own
    }
    if (b >= 0x80) {
        fail(s.errors, sink);
    } else if (b <= 0x20 || b == 0x7F) {
        sink.ascii(b);
        if ((b == '\r' || b == '\n') && s.set != Roman)
            s.set = Ascii;
    } else {
        switch (s.set) {
        case Ascii:
            sink.ascii(b);
            break;
        case Roman:
            sink.unit(b == 0x5C ? u'\u00A5' : b == 0x7E ? u'\u203E' : char16_t(b));
            break;
        case Katakana:
            if (b <= 0x5F)
                sink.unit(char16_t(0xFF61 + b - 0x21));
            else
                fail(s.errors, sink);
            break;
        default: // JIS X 0208, JIS X 0212
            s.lead = b;
            break;
        }
    }
}

// An escape that named no set: ESC is one error, the bytes after it are text.
template <typename Sink> void abandonEscape(Iso2022JpState &s, Sink &sink)
{
    const char16_t *t208 = table0208();
    const int count = s.escape - 1;
    const unsigned intermediates = s.intermediates;
    s.escape = 0;
    s.intermediates = 0;
    fail(s.errors, sink);
    for (int k = count - 1; k >= 0; --k)
        plain(s, static_cast<unsigned char>(intermediates >> (8 * k)), sink, t208);
}

template <typename Sink>
void run(Iso2022JpState &s, const unsigned char *p, const unsigned char *end, Sink &sink)
{
    const char16_t *t208 = table0208();
    while (p < end) {
        const unsigned char b = *p;
        if (s.escape != 0) {
            const unsigned after = (unsigned(s.intermediates) << 8) | b;
            const int set = designated(after, s.escape);
            if (set == -2) { // ESC $ or ESC ( or ESC $ (, so far
                s.intermediates = static_cast<unsigned short>(after);
                ++s.escape;
                ++p;
                continue;
            }
            if (set >= 0) {
                s.set = static_cast<unsigned char>(set);
                s.escape = 0;
                s.intermediates = 0;
                ++p;
                continue;
            }
            abandonEscape(s, sink);
            continue; // b is read again
        }
        if (s.set == Ascii && s.lead == 0) {
            while (end - p >= 8) { // ASCII without ESC, eight bytes at a time
                std::uint64_t word;
                std::memcpy(&word, p, sizeof word);
                // A byte is 1B exactly when its XOR with 1B is zero.
                const std::uint64_t x = word ^ 0x1B1B1B1B1B1B1B1Bull;
                if ((word & kHighBits) || ((x - 0x0101010101010101ull) & ~x & kHighBits))
                    break;
                sink.ascii8(p);
                p += 8;
            }
            if (p == end)
                break;
        }
        if (s.set == Jis0208 && s.lead == 0) {
            while (end - p >= 2 && p[0] >= 0x21 && p[0] <= 0x7E && p[1] >= 0x21 &&
                   p[1] <= 0x7E) { // JIS X 0208 pairs
                if (!sink.pair(t208, (p[0] - 0x21) * kCells + (p[1] - 0x21)))
                    break;
                p += 2;
            }
            if (p == end)
                break;
        }
        ++p;
        const unsigned char c = *(p - 1);
        if (c == 0x1B) {
            if (s.lead != 0) {
                s.lead = 0;
                fail(s.errors, sink);
            }
            s.escape = 1;
            continue;
        }
        plain(s, c, sink, t208);
    }
}

template <typename Sink> void finishState(Iso2022JpState &s, Sink &sink)
{
    if (s.escape != 0)
        abandonEscape(s, sink);
    if (s.lead != 0)
        fail(s.errors, sink);
    s = Iso2022JpState{0, 0, 0, 0, s.errors};
}

} // namespace

char16_t jis0208(int row, int cell)
{
    if (row < 0 || row >= kCells || cell < 0 || cell >= kCells)
        return 0;
    return table0208()[row * kCells + cell];
}

char16_t jis0212(int row, int cell)
{
    if (row < 0 || row >= kCells || cell < 0 || cell >= kCells)
        return 0;
    return kJis0212[row][cell];
}

template <typename State>
void Decoder<State>::append(const char *data, qsizetype size, QString &out,
                            std::vector<qsizetype> *errors)
{
    Utf16Sink sink(out, size + 4, errors);
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    run(m_state, p, p + size, sink);
}

template <typename State> void Decoder<State>::finish(QString &out, std::vector<qsizetype> *errors)
{
    Utf16Sink sink(out, 4, errors);
    finishState(m_state, sink);
}

template <typename State>
char *Decoder<State>::appendUtf8(const char *data, qsizetype size, char *out)
{
    Utf8Sink sink(out);
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    run(m_state, p, p + size, sink);
    return sink.end();
}

template <typename State> char *Decoder<State>::finishUtf8(char *out)
{
    Utf8Sink sink(out);
    finishState(m_state, sink);
    return sink.end();
}

template <typename State> void Decoder<State>::check(const char *data, qsizetype size)
{
    NullSink sink;
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    run(m_state, p, p + size, sink);
}

template <> void Decoder<EucJpState>::check(const char *data, qsizetype size)
{
    if (m_state.errors != 0) // not EUC-JP already
        return;
    NullSink sink;
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    const unsigned char *end = p + size;
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    static const bool fast =
        (__builtin_cpu_init(), __builtin_cpu_supports("avx2")) && rowsWholeAsExpected();
    while (fast && end - p > 64) {
        if (m_state.lead != 0) { // up to the next character's first byte
            run(m_state, p, p + 1, sink);
            ++p;
            continue;
        }
        const unsigned char *past = skipValidEucJp(p, end);
        if (past != p) {
            p = past;
            continue;
        }
        run(m_state, p, p + 64, sink); // a window the fast check left
        p += 64;
        if (m_state.errors != 0) // not EUC-JP: the rest changes nothing
            return;
    }
#endif
    run(m_state, p, end, sink);
}

template <typename State> void Decoder<State>::finishCheck()
{
    NullSink sink;
    finishState(m_state, sink);
}

template class Decoder<EucJpState>;
template class Decoder<Iso2022JpState>;

QByteArray eucJpUniqueForm(QStringView text)
{
    // Per character: its one cell (row * 94 + cell, 0212 cells after 0208's),
    // or kNone, or kMany when several cells decode to it.
    static constexpr std::uint16_t kNone = 0xFFFF, kMany = 0xFFFE;
    static const std::vector<std::uint16_t> cells = [] {
        std::vector<std::uint16_t> c(0x10000, kNone);
        for (int i = 0; i < 2 * kCells * kCells; ++i) {
            const char16_t u =
                i < kCells * kCells ? table0208()[i] : table0212()[i - kCells * kCells];
            if (u != 0)
                c[u] = c[u] == kNone ? std::uint16_t(i) : kMany;
        }
        return c;
    }();
    QByteArray out;
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u < 0x80) {
            out += char(u);
        } else if (u >= 0xFF61 && u <= 0xFF9F) {
            out += char(0x8E);
            out += char(0xA1 + (u - 0xFF61));
        } else if (cells[u] < 2 * kCells * kCells) {
            int i = cells[u];
            if (i >= kCells * kCells) {
                out += char(0x8F);
                i -= kCells * kCells;
            }
            out += char(0xA1 + i / kCells);
            out += char(0xA1 + i % kCells);
        } else {
            return QByteArray();
        }
    }
    return out;
}

QString firstNotInEucJp(QStringView text)
{
    static const std::vector<bool> held = [] {
        std::vector<bool> h(0x10000, false);
        for (char16_t c = 0; c < 0x80; ++c)
            h[c] = true;
        for (char16_t c = 0xFF61; c <= 0xFF9F; ++c)
            h[c] = true;
        for (int i = 0; i < kCells * kCells; ++i) {
            h[table0208()[i]] = true;
            h[table0212()[i]] = true;
        }
        h[0] = true; // 0 marks an empty cell; NUL is ASCII anyway
        return h;
    }();
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!text[i].isSurrogate() && held[text[i].unicode()])
            continue;
        const bool pair =
            text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        return text.mid(i, pair ? 2 : 1).toString();
    }
    return QString();
}

bool isValidEucJp(const char *data, qsizetype size)
{
    EucJpDecoder decoder;
    decoder.check(data, size);
    decoder.finishCheck();
    return decoder.errors() == 0;
}

void EucJpEvidence::feed(const char *data, qsizetype size)
{
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    const unsigned char *end = p + size;
    qsizetype kana = m_kana, rare = m_rare;
    bool second = m_second;
    while (!m_settled && p < end) {
        if (*p < 0x80) {
            second = false;
            p = asciirun::skip(p, end);
            continue;
        }
        const unsigned char b = *p++;
        if (b >= 0xE0 || b == 0x8E || b == 0x8F)
            m_settled = true;
        else if (!second && b >= 0xA1 && b <= 0xA5)
            ++kana;
        else if (!second && ((b >= 0xA6 && b <= 0xAF) || b >= 0xD0))
            ++rare;
        second = !second;
    }
    m_kana = kana;
    m_rare = rare;
    m_second = second;
}

bool looksEucJp(const char *data, qsizetype size)
{
    EucJpEvidence evidence;
    evidence.feed(data, size);
    return evidence.eucJp() && isValidEucJp(data, size);
}

bool DesignationFinder::feed(const char *data, qsizetype size)
{
    enum : unsigned char { NoEscape, Esc, EscDollar, EscParen };
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    const unsigned char *end = p + size;
    while (!m_found && p < end) {
        if (m_escape == NoEscape) {
            p = static_cast<const unsigned char *>(std::memchr(p, 0x1B, size_t(end - p)));
            if (!p)
                break;
            m_escape = Esc;
            ++p;
            continue;
        }
        const unsigned char b = *p++;
        if (m_escape == Esc) {
            m_escape = b == '$' ? EscDollar : b == '(' ? EscParen : b == 0x1B ? Esc : NoEscape;
        } else {
            m_found =
                m_escape == EscDollar ? (b == 'B' || b == '@') : (b == 'B' || b == 'J' || b == 'I');
            m_escape = b == 0x1B ? Esc : NoEscape;
        }
    }
    return m_found;
}

namespace {

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
__attribute__((target("avx2"))) const unsigned char *findEscapeOrHighAvx2(const unsigned char *p,
                                                                          const unsigned char *end)
{
    const __m256i esc = _mm256_set1_epi8(0x1B);
    for (; end - p >= 32; p += 32) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
        const auto mask = static_cast<unsigned>(_mm256_movemask_epi8(v) |
                                                _mm256_movemask_epi8(_mm256_cmpeq_epi8(v, esc)));
        if (mask != 0)
            return p + __builtin_ctz(mask);
    }
    return p;
}
#endif

// The first byte in [p, end) that is ESC or from 80 up, or end.
const unsigned char *findEscapeOrHigh(const unsigned char *p, const unsigned char *end)
{
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    static const bool avx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
    if (avx2) {
        p = findEscapeOrHighAvx2(p, end);
        if (end - p >= 32)
            return p;
    }
#endif
#if defined(__SSE2__)
    const __m128i esc = _mm_set1_epi8(0x1B);
    for (; end - p >= 16; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const int mask = _mm_movemask_epi8(v) | _mm_movemask_epi8(_mm_cmpeq_epi8(v, esc));
        if (mask != 0)
            return p + __builtin_ctz(static_cast<unsigned>(mask));
    }
#endif
    while (p < end && *p != 0x1B && *p < 0x80)
        ++p;
    return p;
}

} // namespace

bool DesignationFinder::feedUntilHigh(const char *data, qsizetype size)
{
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    const unsigned char *end = p + size;
    m_ascii = m_high ? 0 : size;
    while (!m_found && !m_high && p < end) {
        // An escape sequence in progress takes the next bytes as feed() does.
        const unsigned char *at = m_escape == 0 ? findEscapeOrHigh(p, end) : p;
        if (at == end)
            break;
        if (*at >= 0x80) {
            m_high = true;
            m_ascii = at - reinterpret_cast<const unsigned char *>(data);
            break;
        }
        feed(reinterpret_cast<const char *>(at), 1);
        p = at + 1;
    }
    return m_found;
}

bool looksIso2022Jp(const char *data, qsizetype size)
{
    for (qsizetype i = 0; i < size; ++i) {
        if (static_cast<unsigned char>(data[i]) >= 0x80)
            return false;
    }
    DesignationFinder finder;
    return finder.feed(data, size);
}

} // namespace jis
