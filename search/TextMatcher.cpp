// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "search/TextMatcher.h"

#include "text/JisEncodings.h"
#include "text/Unicode.h"
#include "text/Utf16Scan.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif

using platform::EncodingMode;
using platform::FileEncoding;

namespace {

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// The whole 32-byte steps of copyLineFeedAsReturn; returns how many bytes it did.
__attribute__((target("avx2"))) qsizetype copyLineFeedAsReturnAvx2(char *to, const char *from,
                                                                   qsizetype n)
{
    const __m256i lineFeed = _mm256_set1_epi8('\n');
    const __m256i flip = _mm256_set1_epi8('\n' ^ '\r');
    qsizetype i = 0;
    for (; n - i >= 32; i += 32) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(from + i));
        const __m256i lf = _mm256_cmpeq_epi8(v, lineFeed);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(to + i),
                            _mm256_xor_si256(v, _mm256_and_si256(lf, flip)));
    }
    return i;
}
#endif

// Copies n bytes with each LF turned into a CR. A select rather than a
// search, cheaper than a search that stops at every line: 32 or 16 bytes at
// a time, each LF flipped to CR by the bits the two differ in (the compiler
// left the plain loop a byte at a time, not knowing whether `to` overlaps
// `from`). `to` may be `from`.
void copyLineFeedAsReturn(char *to, const char *from, qsizetype n)
{
    qsizetype i = 0;
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    static const bool avx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
    if (avx2)
        i = copyLineFeedAsReturnAvx2(to, from, n);
#endif
#if defined(__SSE2__)
    const __m128i lineFeed = _mm_set1_epi8('\n');
    const __m128i flip = _mm_set1_epi8('\n' ^ '\r');
    for (; n - i >= 16; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + i));
        const __m128i lf = _mm_cmpeq_epi8(v, lineFeed);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(to + i),
                         _mm_xor_si128(v, _mm_and_si128(lf, flip)));
    }
#endif
    for (; i < n; ++i)
        to[i] = from[i] == '\n' ? '\r' : from[i];
}

// Code page 932 bytes with each LF turned into a CR, for the modes in which a
// lone LF ends a line.
class LineFeedAsReturn final : public ByteSource {
public:
    explicit LineFeedAsReturn(ByteSource &bytes) : m_bytes(bytes) {}
    qsizetype read(char *buffer, qsizetype max) override
    {
        const qsizetype n = m_bytes.read(buffer, max);
        copyLineFeedAsReturn(buffer, buffer, n);
        return n;
    }
    bool atEnd() const override { return m_bytes.atEnd(); }

private:
    ByteSource &m_bytes;
};

} // namespace

TextMatcher::TextMatcher(const QStringList &words, EncodingMode mode, textfold::Folds folds)
    : m_mode(mode), m_cp932(words), m_utf8(words), m_utf16(words)
{
    if (folds.any()) {
        m_folded.emplace(words, mode, folds);
        m_never = m_folded->neverMatches();
        return;
    }
    m_cp932Never = m_cp932.neverMatches();
    if (platform::lineFeedEndsLine(mode)) {
        for (const QString &word : words)
            m_cp932Never = m_cp932Never || word.contains(u'\n');
    }
    switch (mode) {
    case EncodingMode::Cp932:
        m_never = m_cp932Never;
        break;
    case EncodingMode::Utf8:
    case EncodingMode::EucJp:
        m_never = m_utf8.neverMatches();
        break;
    case EncodingMode::Auto:
        m_never = m_cp932Never && m_utf8.neverMatches();
        break;
    }
    if (mode == EncodingMode::EucJp || mode == EncodingMode::Auto)
        m_words = words; // for the EUC-JP driver, made at the first EUC-JP file
}

// The longest word's one EUC-JP form: made when first needed, so that auto
// mode pays for the EUC-JP tables only where a file is EUC-JP.
const QByteArray &TextMatcher::eucDriver()
{
    if (!m_eucDriverMade) {
        m_eucDriverMade = true;
        for (const QString &word : std::as_const(m_words)) {
            const QByteArray form = jis::eucJpUniqueForm(word);
            if (form.size() > m_eucDriver.size())
                m_eucDriver = form;
        }
    }
    return m_eucDriver;
}

// The blocks of every encoding share KeywordMatcher's room, so that a file
// found not to be UTF-8 after all is searched as code page 932 from the bytes
// where they were read.
char *TextMatcher::buffer(qsizetype blockSize)
{
    // A line cut by a block is kept whole up to a block's length.
    m_utf8.setLineRoom(utf8Block(blockSize));
    m_utf16.setLineRoom(utf16Block(blockSize) / 2);
    return m_cp932.room(blockSize,
                        std::max(utf8Block(blockSize) + m_utf8.mostKept(), utf16Block(blockSize)));
}

// The bytes read at a time: at least the overlap kept between pieces (see
// KeywordMatcher::matches), in bytes for UTF-8, in units for UTF-16.
qsizetype TextMatcher::utf8Block(qsizetype blockSize) const
{
    return std::max(blockSize, m_utf8.overlap());
}

qsizetype TextMatcher::utf16Block(qsizetype blockSize) const
{
    return std::max(blockSize, 2 * m_utf16.overlap() + 2);
}

bool TextMatcher::matchCp932(ByteSource &source, qsizetype blockSize)
{
    m_last = FileEncoding::Cp932;
    if (m_cp932Never)
        return false;
    LineFeedAsReturn lines(source);
    return m_cp932.matches(lines, blockSize);
}

// The first bytes, into buf (from buffer()): enough to see a byte order
// mark, or the whole file.
[[gnu::always_inline]] inline bool TextMatcher::readFirst(ByteSource &source, char *buf,
                                                          qsizetype blockSize, qsizetype &have,
                                                          bool &atEnd)
{
    have = 0;
    atEnd = false;
    while (have < 3) {
        const qsizetype n = source.read(buf + have, blockSize - have);
        if (n < 0)
            return false;
        have += n;
        if (n == 0 || source.atEnd()) {
            atEnd = true;
            break;
        }
    }
    return true;
}

bool TextMatcher::matches(ByteSource &source, qsizetype blockSize)
{
    if (m_folded) {
        const bool found = m_folded->matches(source, blockSize);
        m_last = m_folded->lastEncoding();
        return found;
    }
    if (m_mode == EncodingMode::Cp932) {
        m_last = FileEncoding::Cp932;
        return m_cp932.matches(source, blockSize);
    }
    if (m_never)
        return false;
    blockSize = std::max<qsizetype>(blockSize, 3); // a mark fits in the first block
    char *buf = buffer(blockSize);

    qsizetype have = 0;
    bool atEnd = false;
    if (!readFirst(source, buf, blockSize, have, atEnd))
        return false;

    platform::FileDecision decision;
    if (platform::decideByMark(m_mode, buf, have, decision)) {
        m_last = decision.encoding;
        if (decision.encoding == FileEncoding::Utf8)
            return scanUtf8(source, blockSize, have, decision.markSize, atEnd, false) ==
                   Scan::Match;
        if (decision.encoding == FileEncoding::EucJp)
            return scanJis(source, blockSize, have, atEnd, decision.encoding, false) == Scan::Match;
        return scanUtf16(source, blockSize, have, atEnd,
                         decision.encoding == FileEncoding::Utf16BE);
    }
    return matchAuto(source, blockSize, have, atEnd);
}

// Back to the file's first bytes after a scan gave it up: the bytes still
// held when it gave up before reading more, or the file read again.
bool TextMatcher::startAgain(ByteSource &source, qsizetype blockSize, qsizetype &have, bool &atEnd)
{
    return m_replayable ||
           (source.rewind() && readFirst(source, buffer(blockSize), blockSize, have, atEnd));
}

// A file without a mark in auto mode: ISO-2022-JP, UTF-8, EUC-JP or code page
// 932, in that order (text/EncodingMode.h).
bool TextMatcher::matchAuto(ByteSource &source, qsizetype blockSize, qsizetype have, bool atEnd)
{
    char *buf = buffer(blockSize);
    m_last = FileEncoding::Utf8;
    m_replayable = false;
    m_findEscapes = true;
    Scan scan = scanUtf8(source, blockSize, have, 0, atEnd, true);
    if (scan == Scan::Escape) {
        m_last = FileEncoding::Iso2022Jp;
        if (!startAgain(source, blockSize, have, atEnd))
            return false;
        scan = scanJis(source, blockSize, have, atEnd, FileEncoding::Iso2022Jp, true);
        if (scan != Scan::Invalid)
            return scan == Scan::Match;
        // A byte from 80 up: the designations do not count.
        m_last = FileEncoding::Utf8;
        if (!startAgain(source, blockSize, have, atEnd))
            return false;
        m_findEscapes = false;
        scan = scanUtf8(source, blockSize, have, 0, atEnd, true);
    }
    switch (scan) {
    case Scan::Match:
        return true;
    case Scan::NoMatch:
    case Scan::Error:
    case Scan::Escape:
        return false;
    case Scan::Invalid:
        break;
    }
    // Not UTF-8: EUC-JP when valid throughout.
    m_last = FileEncoding::EucJp;
    if (!startAgain(source, blockSize, have, atEnd))
        return false;
    scan = scanJis(source, blockSize, have, atEnd, FileEncoding::EucJp, true);
    if (scan != Scan::Invalid)
        return scan == Scan::Match;
    // Neither: code page 932 from the file's first byte.
    m_last = FileEncoding::Cp932;
    if (m_cp932Never)
        return false;
    if (m_replayable) {
        // The held bytes are where KeywordMatcher reads to; their LFs become
        // CRs in place, and the rest of the file as it is read.
        copyLineFeedAsReturn(buf, buf, have);
        LineFeedAsReturn rest(source);
        return m_cp932.matches(rest, blockSize, have, atEnd);
    }
    return source.rewind() && matchCp932(source, blockSize);
}

// Searches the UTF-8 text from buf[start] (buf holds `have` bytes), reading
// the rest of the file. With validate, every byte is checked first and the
// scan gives up at the first invalid one; a match is then reported only once
// the whole file proved valid.
template <bool validate>
[[gnu::noinline]] TextMatcher::Scan TextMatcher::scanUtf8Of(ByteSource &source, qsizetype blockSize,
                                                            qsizetype have, qsizetype start,
                                                            bool atEnd)
{
    char *buf = buffer(blockSize);
    const qsizetype block = utf8Block(blockSize); // and room for mostKept() before it
    m_utf8.reset();
    m_replayable = false;
    platform::Utf8Validator validator;
    jis::DesignationFinder designations;
    // Proves bytes valid UTF-8 (NoMatch) or not (Invalid), or finds a
    // designation before the first byte from 80 up (Escape). The bytes the
    // search for designations passes before that byte are ASCII, valid UTF-8
    // that leaves the validator as it was: it starts after them.
    const auto prove = [&](const char *from, qsizetype n) {
        qsizetype ascii = 0;
        if (m_findEscapes) {
            if (designations.feedUntilHigh(from, n))
                return Scan::Escape;
            ascii = designations.asciiLength();
        }
        return validator.feed(from + ascii, n - ascii) ? Scan::NoMatch : Scan::Invalid;
    };
    if constexpr (validate) {
        const Scan proof = prove(buf + start, have - start);
        if (proof != Scan::NoMatch) {
            m_replayable = true; // nothing was dropped yet
            return proof;
        }
    }
    const char *begin = buf + start;
    const char *end = buf + have;
    bool matched = false;
    for (;;) {
        qsizetype carry = 0;
        if (!matched) {
            const char *keep = end;
            if (m_utf8.feed(begin, end, atEnd, &keep)) {
                if constexpr (!validate)
                    return Scan::Match;
                matched = true; // the rest is only validated
            } else if (!atEnd) {
                carry = end - keep;
                std::memmove(buf, keep, size_t(carry));
            }
        }
        if (atEnd)
            break;
        // A block, or with a short carry the overlap's room too.
        const qsizetype want = std::max(block + m_utf8.overlap() - carry, block);
        const qsizetype n = readBlock(source, buf + carry, want, atEnd);
        if (n < 0)
            return Scan::Error;
        if constexpr (validate) {
            const Scan proof = prove(buf + carry, n);
            if (proof != Scan::NoMatch)
                return proof;
        }
        begin = buf;
        end = buf + carry + n;
    }
    if (validate && !validator.finish())
        return Scan::Invalid;
    return matched ? Scan::Match : Scan::NoMatch;
}

// Searches UTF-16 text after its two-byte mark (buf holds `have` bytes),
// reading the rest of the file. Only whole units count; a last odd byte is
// no character of any word.
bool TextMatcher::scanUtf16(ByteSource &source, qsizetype blockSize, qsizetype have, bool atEnd,
                            bool bigEndian)
{
    char *buf = buffer(blockSize);
    const qsizetype block = utf16Block(blockSize);
    const qsizetype unitCapacity = block / 2 + m_utf16.mostKept() + 2;
    char16_t *units = m_units.data(unitCapacity);
    m_utf16.reset();
    int pending = -1; // a first byte whose partner is still unread
    qsizetype count = 0;
    auto append = [&](const char *bytes, qsizetype n) {
        const auto *b = reinterpret_cast<const unsigned char *>(bytes);
        for (qsizetype i = 0; i < n; ++i) {
            if (pending < 0) {
                pending = b[i];
                continue;
            }
            const unsigned hi = bigEndian ? unsigned(pending) : b[i];
            const unsigned lo = bigEndian ? b[i] : unsigned(pending);
            units[count++] = char16_t((hi << 8) | lo);
            pending = -1;
        }
    };
    append(buf + 2, have - 2);
    for (;;) {
        const char16_t *keep = units + count;
        if (m_utf16.feed(units, units + count, atEnd, &keep))
            return true;
        if (atEnd)
            return false;
        count = units + count - keep;
        std::memmove(units, keep, size_t(count) * sizeof(char16_t));
        const qsizetype n = readBlock(source, buf, block, atEnd);
        if (n < 0)
            return false;
        append(buf, n);
    }
}

bool TextMatcher::matchesLines(const std::vector<QString> &lines)
{
    if (m_folded)
        return m_folded->matchesLines(lines);
    if (m_utf16.neverMatches())
        return false;
    for (const QString &line : lines)
        if (matchesLine(line))
            return true;
    return false;
}

bool TextMatcher::matchesLine(QStringView line)
{
    if (m_folded)
        return m_folded->matchesLine(line);
    return matchesLinesIn(line);
}

bool TextMatcher::matchesUtf8LinesIn(QByteArrayView text)
{
    if (m_folded) {
        QString decoded;
        platform::appendUtf8(text.data(), text.size(), decoded);
        return matchesLinesIn(decoded);
    }
    // Valid UTF-8 holds a word exactly where its UTF-16 does (UnitLineMatcher.h).
    if (m_utf8.neverMatches())
        return false;
    m_utf8.reset();
    const char *keep = nullptr;
    return m_utf8.feed(text.data(), text.data() + text.size(), true, &keep);
}

bool TextMatcher::matchesLinesIn(QStringView text)
{
    const char16_t *start = text.utf16();
    const char16_t *const end = start + text.size();
    if (!m_folded) {
        // The exact search ends lines at the same units: one pass.
        if (m_utf16.neverMatches())
            return false;
        m_utf16.reset();
        const char16_t *keep = nullptr;
        return m_utf16.feed(start, end, true, &keep);
    }
    for (;;) {
        const char16_t *at = utf16scan::findEither(start, end, u'\r', u'\n');
        if (at != start && m_folded->matchesLine(QStringView(start, at)))
            return true;
        if (at == end)
            return false;
        start = at + 1;
    }
}
