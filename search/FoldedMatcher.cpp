// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "search/FoldedMatcher.h"

#include "search/PairFind.h"
#include "text/Cp932.h"
#include "text/Unicode.h"

#include <algorithm>
#include <cstring>

using platform::EncodingMode;
using platform::FileEncoding;
using Reading = FoldedMatcher::Reading;

namespace {

// What an invalid UTF-8 sequence decodes to here: a lone surrogate, which no
// folded word holds, so that it matches nothing (as in the exact search).
constexpr char16_t kInvalid = 0xDFFF;

bool isBreak(char c, Reading reading)
{
    return c == '\r' || (c == '\n' && reading != Reading::Cp932);
}

const char *findBreak(const char *from, const char *end, Reading reading)
{
    if (reading == Reading::Cp932)
        return static_cast<const char *>(std::memchr(from, '\r', size_t(end - from)));
    const char *p = std::find_if(from, end, [](char c) { return c == '\r' || c == '\n'; });
    return p == end ? nullptr : p;
}

// The start of the line after the break at br.
const char *afterBreak(const char *br, const char *end)
{
    const char *p = br + 1;
    return *br == '\r' && p < end && *p == '\n' ? p + 1 : p;
}

bool isContinuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The half-width character a code page 932 byte or a UTF-8 sequence of three
// bytes at p stands for, or 0.
char16_t halfWidthAt(const char *p, const char *end, Reading reading)
{
    const auto *b = reinterpret_cast<const unsigned char *>(p);
    if (reading != Reading::Utf8)
        return b[0] >= 0xA1 && b[0] <= 0xDF ? char16_t(0xFF61 + (b[0] - 0xA1)) : 0;
    if (end - p < 3 || b[0] != 0xEF || (b[1] != 0xBD && b[1] != 0xBE) || !isContinuation(p[2]))
        return 0;
    const char16_t c = char16_t(0xF000 | (b[1] & 0x3F) << 6 | (b[2] & 0x3F));
    return c >= 0xFF61 && c <= 0xFF9F ? c : 0;
}

bool isMark(char16_t c)
{
    return c == 0xFF9E || c == 0xFF9F;
}

} // namespace

FoldedMatcher::FoldedMatcher(const QStringList &words, EncodingMode mode, textfold::Folds folds)
    : m_mode(mode), m_folds(folds)
{
    for (const QString &word : words) {
        if (word.isEmpty())
            continue;
        const QString f = textfold::folded(word, folds);
        m_words.append(f);
        m_overlap = std::max(m_overlap, 6 * f.size() + 16);
        const bool cr = f.contains(u'\r'), lf = f.contains(u'\n');
        // A lone surrogate: no decoder gives one (an invalid sequence reads as one here).
        bool lone = false;
        for (qsizetype i = 0; i < f.size(); ++i) {
            if (f[i].isHighSurrogate() && i + 1 < f.size() && f[i + 1].isLowSurrogate())
                ++i;
            else
                lone = lone || f[i].isSurrogate();
        }
        m_linesNever = m_linesNever || cr || lf || lone;
        m_never = m_never || lone;
        m_never = m_never || cr || (lf && platform::lineFeedEndsLine(mode));
    }
    m_never = m_never || m_words.isEmpty();
    m_linesNever = m_linesNever || m_words.isEmpty();
    m_seen.assign(size_t(m_words.size()), 0);
    for (const QString &word : std::as_const(m_words))
        m_longWords.push_back(word.size() >= 32 ? std::make_shared<const LongWord>(word) : nullptr);
    if (m_never)
        return;

    const std::vector<std::vector<char16_t>> sources =
        textfold::unitsFoldingTo(m_words.join(QString()), folds);
    m_cp932Anchor = chooseFoldAnchor(m_words, sources, false);
    m_utf8Anchor = chooseFoldAnchor(m_words, sources, true);
    m_cp932Ascii = caselessWords(m_words, sources, false);
    m_utf8Ascii = caselessWords(m_words, sources, true);
    switch (mode) {
    case EncodingMode::Cp932:
        m_never = m_cp932Anchor.none;
        break;
    case EncodingMode::Utf8:
    case EncodingMode::EucJp:
        m_never = m_utf8Anchor.none;
        break;
    case EncodingMode::Auto:
        m_never = m_cp932Anchor.none && m_utf8Anchor.none;
        break;
    }
}

void FoldedMatcher::resetLine()
{
    std::fill(m_seen.begin(), m_seen.end(), 0);
    m_seenCount = 0;
}

// Records the words of which holds(i) says the line in progress holds word
// i; true once it holds every one. A line that ends here is settled by its
// first missing word.
template <typename Holds> bool FoldedMatcher::checkWords(Holds holds, bool lineEnds)
{
    for (qsizetype i = 0; i < m_words.size(); ++i) {
        if (m_seen[size_t(i)])
            continue;
        if (holds(i)) {
            m_seen[size_t(i)] = 1;
            ++m_seenCount;
        } else if (lineEnds) {
            break;
        }
    }
    const bool all = m_seenCount == m_words.size();
    if (lineEnds)
        resetLine();
    return all;
}

bool FoldedMatcher::checkFolded(bool lineEnds)
{
    return checkWords(
        [this](qsizetype i) {
            if (const LongWord *word = m_longWords[size_t(i)].get()) {
                const auto *text = reinterpret_cast<const char16_t *>(m_folded.utf16());
                return word->finder.find(text, text + m_folded.size()) != nullptr;
            }
            return m_folded.contains(m_words[i]);
        },
        lineEnds);
}

// The same on the bytes of [begin, end), where every word is caseless ASCII:
// an occurrence counts where a character starts (in code page 932 an ASCII
// byte may be the second byte of a pair).
bool FoldedMatcher::checkAscii(const char *begin, const char *end, Reading reading, bool lineEnds)
{
    const std::vector<search::CaselessNeedle> &needles =
        reading == Reading::Utf8 ? m_utf8Ascii : m_cp932Ascii;
    const auto *b = reinterpret_cast<const unsigned char *>(begin);
    return checkWords(
        [&](qsizetype i) {
            for (const char *p = begin;; ++p) {
                p = search::findCaseless(p, end, needles[size_t(i)]);
                if (!p)
                    return false;
                if (reading == Reading::Utf8 ||
                    cp932::isUnitBoundary(b, reinterpret_cast<const unsigned char *>(p)))
                    return true;
            }
        },
        lineEnds);
}

bool FoldedMatcher::check(const char *begin, const char *end, Reading reading, bool lineEnds)
{
    if (!(reading == Reading::Utf8 ? m_utf8Ascii : m_cp932Ascii).empty())
        return checkAscii(begin, end, reading, lineEnds);
    m_text.clear();
    if (reading == Reading::Utf8)
        platform::appendUtf8(begin, end - begin, m_text, kInvalid);
    else
        cp932::appendDecoded(begin, end - begin, m_text);
    m_folded.clear();
    textfold::appendFolded(m_text, m_folds, m_folded);
    return checkFolded(lineEnds);
}

bool FoldedMatcher::matchesLines(const std::vector<QString> &lines)
{
    for (const QString &line : lines)
        if (matchesLine(line))
            return true;
    return false;
}

bool FoldedMatcher::matchesLine(QStringView line)
{
    if (m_linesNever)
        return false;
    resetLine();
    m_folded.clear();
    textfold::appendFolded(line, m_folds, m_folded);
    return checkFolded(true);
}

// The earliest hit of any of the anchor's forms in [from, end); each form's
// next hit is kept while from moves forward (m_next reset per stretch).
const char *FoldedMatcher::findAnchor(const char *from, const char *end, const FoldAnchor &anchor)
{
    const char *best = nullptr;
    if (!anchor.caseless.lower.isEmpty()) {
        if (!(m_nextCaseless == end || (m_nextCaseless && m_nextCaseless >= from))) {
            const char *hit = search::findCaseless(from, end, anchor.caseless);
            m_nextCaseless = hit ? hit : end;
        }
        if (m_nextCaseless != end)
            best = m_nextCaseless;
    }
    for (size_t k = 0; k < anchor.prefixed.size(); ++k) {
        const FoldAnchor::Prefixed &p = anchor.prefixed[k];
        const char *&next = m_nextPrefixed[k];
        if (!(next == end || (next && next >= from))) {
            const qsizetype n = p.prefix.size();
            const search::PairNeedle needle{p.prefix.constData(), n, 0, n - 1};
            const char *hit = search::findPair(from, end, needle);
            while (hit && (end - hit <= n || !p.last[static_cast<unsigned char>(hit[n])]))
                hit = search::findPair(hit + 1, end, needle);
            next = hit ? hit : end;
        }
        if (next != end && (!best || next < best))
            best = next;
    }
    for (size_t k = 0; k < anchor.forms.size(); ++k) {
        const QByteArray &form = anchor.forms[k];
        if (m_next[k] == end || (m_next[k] && m_next[k] >= from)) {
            // known
        } else {
            qsizetype rare1 = 0, rare2 = 0;
            search::choosePair(form.constData(), form.size(), search::kCp932TextRanks, rare1,
                               rare2);
            const char *hit =
                search::findPair(from, end, {form.constData(), form.size(), rare1, rare2});
            m_next[k] = hit ? hit : end;
        }
        if (m_next[k] != end && (!best || m_next[k] < best))
            best = m_next[k];
    }
    return best;
}

// Lines in [begin, end), the last one ending at end. begin is a line start,
// or the rest of a line begun in an earlier block (m_continuing).
bool FoldedMatcher::scanLines(const char *begin, const char *end, Reading reading)
{
    const char *p = begin;
    if (m_continuing) {
        const char *br = findBreak(p, end, reading);
        m_continuing = false;
        if (check(p, br ? br : end, reading, true))
            return true;
        if (!br)
            return false;
        p = afterBreak(br, end);
    }
    const FoldAnchor &anchor = reading == Reading::Utf8 ? m_utf8Anchor : m_cp932Anchor;
    if (anchor.none)
        return false;
    m_next.assign(anchor.forms.size(), nullptr);
    m_nextPrefixed.assign(anchor.prefixed.size(), nullptr);
    m_nextCaseless = nullptr;
    const bool anchored = !anchor.forms.empty() || !anchor.caseless.lower.isEmpty();
    while (p < end) {
        const char *lineStart = p;
        if (anchored) {
            const char *hit = findAnchor(p, end, anchor);
            if (!hit)
                return false;
            lineStart = hit;
            while (lineStart > p && !isBreak(lineStart[-1], reading))
                --lineStart;
            if (lineStart > p && lineStart[-1] == '\r' && *lineStart == '\n')
                ++lineStart; // the LF of a CR-LF (code page 932 lines)
        }
        const char *br = findBreak(lineStart, end, reading);
        if (check(lineStart, br ? br : end, reading, true))
            return true;
        if (!br)
            return false;
        p = afterBreak(br, end);
    }
    return false;
}

// Where a piece of a long line [begin, end) may end: not inside a character
// whose bytes are still unread, nor just after a half-width kana a mark in
// the next piece may compose with.
const char *FoldedMatcher::pieceEnd(const char *begin, const char *end, Reading reading) const
{
    const char *cut = end;
    if (reading == Reading::Utf8) {
        const char *q = end - 1;
        while (q > begin && q > end - 4 && isContinuation(*q))
            --q;
        const auto lead = static_cast<unsigned char>(*q);
        const qsizetype length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        if (end - q < length)
            cut = q;
        if (cut - begin >= 3 &&
            textfold::isComposingHalfWidth(halfWidthAt(cut - 3, cut, reading)) &&
            !isMark(halfWidthAt(cut - 3, cut, reading)))
            cut -= 3;
        return cut;
    }
    qsizetype run = 0;
    while (cut - run > begin && cp932::isLeadByte(static_cast<unsigned char>(cut[-run - 1])))
        ++run;
    cut -= run % 2;
    const auto *b = reinterpret_cast<const unsigned char *>(begin);
    if (cut > begin && cp932::isUnitBoundary(b, b + (cut - 1 - begin))) {
        const char16_t c = halfWidthAt(cut - 1, cut, reading);
        if (textfold::isComposingHalfWidth(c) && !isMark(c))
            --cut;
    }
    return cut;
}

// Where the next piece of a long line starts: m_overlap bytes before the end
// of the last piece, at a character that is not a mark composing with the
// kana before it. begin is the last piece's start, a character boundary.
const char *FoldedMatcher::overlapStart(const char *begin, const char *end, Reading reading) const
{
    const char *o = std::max(begin, end - m_overlap);
    const auto *b = reinterpret_cast<const unsigned char *>(begin);
    // A sequence has at most three continuation bytes; a longer run is
    // invalid throughout, and each of its bytes reads alone.
    const auto back = [&](const char *at) {
        if (reading == Reading::Utf8) {
            --at;
            for (int k = 0; k < 3 && at > begin && isContinuation(*at); ++k)
                --at;
            return at;
        }
        return cp932::isUnitBoundary(b, b + (at - 1 - begin)) ? at - 1 : at - 2;
    };
    if (reading == Reading::Utf8) {
        for (int k = 0; k < 3 && o > begin && isContinuation(*o); ++k)
            --o;
    } else if (o > begin && !cp932::isUnitBoundary(b, b + (o - begin))) {
        --o;
    }
    if (o > begin && isMark(halfWidthAt(o, end, reading))) {
        const char *before = back(o);
        if (textfold::composeHalfWidth(halfWidthAt(before, end, reading),
                                       halfWidthAt(o, end, reading)))
            o = before;
    }
    return o;
}

FoldedMatcher::Scan FoldedMatcher::scan(ByteSource &source, qsizetype blockSize, qsizetype have,
                                        qsizetype start, bool atEnd, Reading reading,
                                        Utf8Probe *validator)
{
    const qsizetype block = blockFor(blockSize);
    char *buf = m_buffer.data(2 * block + 16);
    resetLine();
    m_continuing = false;
    if (validator && !validator->feed(buf + start, have - start))
        return Scan::Invalid;
    const char *begin = buf + start;
    const char *end = buf + have;
    bool matched = false;
    bool skipLineFeed = false; // the last block ended with a CR
    for (;;) {
        qsizetype carry = 0;
        if (!matched) {
            if (skipLineFeed && begin < end) {
                if (*begin == '\n')
                    ++begin;
                skipLineFeed = false;
            }
            const char *tail = end;
            if (atEnd) {
                matched = scanLines(begin, end, reading);
            } else {
                const char *last = end;
                while (last > begin && !isBreak(last[-1], reading))
                    --last;
                tail = begin;
                if (last > begin) {
                    if (scanLines(begin, last - 1, reading))
                        matched = true;
                    tail = last;
                    if (last[-1] == '\r' && tail == end)
                        skipLineFeed = true;
                    else if (last[-1] == '\r' && *tail == '\n')
                        ++tail;
                }
                if (!matched && end - tail > block) {
                    // A line longer than a block: this piece, then an overlap.
                    if (!m_continuing) {
                        resetLine();
                        m_continuing = true;
                    }
                    const char *cut = pieceEnd(tail, end, reading);
                    matched = check(tail, cut, reading, false);
                    tail = overlapStart(tail, cut, reading);
                }
            }
            if (!matched) {
                carry = end - tail;
                std::memmove(buf, tail, size_t(carry));
            }
        }
        if (atEnd || (matched && !validator))
            break;
        const qsizetype n = readBlock(source, buf + carry, block, atEnd);
        if (n < 0)
            return Scan::Error;
        if (validator && !validator->feed(buf + carry, n))
            return Scan::Invalid;
        begin = buf;
        end = buf + carry + n;
    }
    if (validator && !validator->finish())
        return Scan::Invalid;
    return matched ? Scan::Match : Scan::NoMatch;
}
