// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/TextSink.h"

#include "text/Unicode.h"
#include "text/Utf16Scan.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <utility>

namespace documents {

TextSink::TextSink(Kind kind, const Limits &limits) : m_limit(limits.textUnits)
{
    m_text.kind = kind;
}

void TextSink::append(QStringView run)
{
    if (m_overLimit)
        return;
    if (m_units + run.size() > m_limit) {
        m_overLimit = true;
        return;
    }
    m_units += run.size();
    m_line.append(run);
}

void TextSink::append(char16_t unit)
{
    append(QStringView(&unit, 1));
}

void TextSink::endLine()
{
    if (m_overLimit)
        return;
    // A line costs its text and one unit for its end, so that a document of
    // empty paragraphs is bounded too.
    if (++m_units > m_limit) {
        m_overLimit = true;
        return;
    }
    keep(m_line);
    m_line.resize(0);
}

void TextSink::endLineIfAny()
{
    if (!m_line.isEmpty())
        endLine();
}

void TextSink::appendLine(QStringView run)
{
    if (!m_line.isEmpty()) {
        append(run);
        endLine();
        return;
    }
    if (m_overLimit || run.isEmpty())
        return;
    // Its text and its end, counted as append() and endLine() count them.
    if (m_units + run.size() + 1 > m_limit) {
        append(run);
        endLine();
        return;
    }
    m_units += run.size() + 1;
    keep(run);
}

void TextSink::appendLines(QStringView text)
{
    const char16_t *start = text.utf16();
    const char16_t *const end = start + text.size();
    if (atOnce() && m_check->checkLines && counted(qint64(utf16scan::lineUnits(start, end)))) {
        if (!m_check->found)
            m_check->found = m_check->checkLines(m_check->context, text);
        return;
    }
    for (;;) {
        const char16_t *at = utf16scan::findEither(start, end, u'\r', u'\n');
        appendLine(QStringView(start, at));
        if (at == end)
            break;
        start = at + 1;
    }
}

namespace {

// What the lines of valid UTF-8 cost as appendLines() counts the UTF-16 they
// decode to: a unit for each byte that starts a character and one more for
// each that starts a four-byte one, less the line ends (CR or LF, which never
// occur inside a character), and one for each line that holds any.
qint64 utf8LineUnits(const char *p, const char *end)
{
    qint64 units = 0;
    bool before = true; // the byte before is a line end (or there is none)
#if defined(__SSE2__)
    if (end - p >= 16) {
        const __m128i cr = _mm_set1_epi8('\r');
        const __m128i lf = _mm_set1_epi8('\n');
        const __m128i zero = _mm_setzero_si128();
        // Per byte, less the units it adds (0 to 2), summed before a lane wraps.
        __m128i counts = zero;
        __m128i last = _mm_set_epi8(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -1);
        const auto sum = [&](__m128i lanes) {
            // The lanes hold 0 to -254: their negations, summed in two halves.
            const __m128i sums = _mm_sad_epu8(_mm_sub_epi8(zero, lanes), zero);
            return qint64(_mm_cvtsi128_si32(sums)) + qint64(_mm_extract_epi16(sums, 4));
        };
        int round = 0;
        for (; end - p >= 16; p += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
            const __m128i lineEnd = _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf));
            // 80 to BF continue a character; F0 and up start a four-byte one.
            const __m128i follows = _mm_cmplt_epi8(v, _mm_set1_epi8(-64));
            const __m128i four = _mm_cmpgt_epi8(v, _mm_set1_epi8(-17));
            const __m128i wide = _mm_and_si128(four, _mm_cmplt_epi8(v, zero));
            const __m128i prior = _mm_or_si128(_mm_slli_si128(lineEnd, 1), last);
            counts = _mm_add_epi8(
                counts, _mm_andnot_si128(_mm_or_si128(follows, lineEnd), _mm_set1_epi8(-1)));
            counts = _mm_add_epi8(counts, wide);
            counts = _mm_add_epi8(counts, _mm_andnot_si128(prior, lineEnd));
            last = _mm_srli_si128(lineEnd, 15);
            if (++round == 127) {
                units += sum(counts);
                counts = zero;
                round = 0;
            }
        }
        units += sum(counts);
        before = _mm_cvtsi128_si32(last) != 0;
    }
#endif
    for (; p < end; ++p) {
        const auto b = static_cast<unsigned char>(*p);
        const bool isEnd = b == '\r' || b == '\n';
        units += (!isEnd && (b & 0xC0) != 0x80) + (b >= 0xF0) + (isEnd && !before);
        before = isEnd;
    }
    return units + !before;
}

} // namespace

void TextSink::appendUtf8Lines(QByteArrayView text)
{
    const char *const begin = text.data();
    if (atOnce() && m_check->checkUtf8Lines && counted(utf8LineUnits(begin, begin + text.size()))) {
        if (!m_check->found)
            m_check->found = m_check->checkUtf8Lines(m_check->context, text);
        return;
    }
    QString decoded;
    platform::appendUtf8(begin, text.size(), decoded);
    appendLines(decoded);
}

void TextSink::keep(QStringView line)
{
    if (!m_check) {
        // Copied out at its size; m_line keeps its room for the next.
        m_text.lines.emplace_back(line.constData(), line.size());
    } else if (!m_check->found) {
        m_check->found = m_check->check(m_check->context, line);
    }
}

void TextSink::beginPart(const QString &label)
{
    endLineIfAny();
    if (m_overLimit)
        return;
    const qsizetype line = lineCount();
    if (!m_text.locations.empty() && m_text.locations.back().line == line)
        m_text.locations.back().label = label; // a part with no lines
    else
        m_text.locations.push_back({line, label});
}

DocumentText TextSink::take()
{
    endLineIfAny();
    // A part with no lines at the end (an empty last sheet, notes with no
    // text) would point past the last line.
    while (!m_text.locations.empty() && m_text.locations.back().line >= lineCount())
        m_text.locations.pop_back();
    return std::exchange(m_text, DocumentText{m_text.kind, {}, {}});
}

} // namespace documents
