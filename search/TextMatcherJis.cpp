// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// EUC-JP and ISO-2022-JP files: decoded to UTF-8 a block at a time and
// searched as UTF-8 text, so that words meet whole characters only; in EUC-JP
// only the lines that can match are decoded where a word has one byte form.

#include "search/TextMatcher.h"

#include "search/PairFind.h"
#include "text/JisEncodings.h"

#include <algorithm>
#include <cstring>

namespace {

// True when a byte from 80 up is among the n bytes.
bool hasHighByte(const char *data, qsizetype n)
{
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    unsigned char any = 0;
    for (qsizetype i = 0; i < n; ++i)
        any |= p[i];
    return any & 0x80;
}

enum class Outcome { NoMatch, Match, Invalid, Error };

constexpr qsizetype kValidateStep = 512;

template <typename Decoder>
Outcome scanWith(Decoder &decoder, bool iso, ByteSource &source, char *buf, qsizetype blockSize,
                 qsizetype have, bool atEnd, bool validate, UnitLineMatcher<char> &lines, char *out,
                 bool &replayable)
{
    lines.reset();
    replayable = false;
    qsizetype carry = 0;
    qsizetype n = have;
    bool first = true;
    bool matched = false;
    jis::EucJpEvidence evidence; // against code page 932, while validating EUC-JP
    for (;;) {
        // ISO-2022-JP is 7-bit; EUC-JP decodes without an error.
        if (validate && iso && hasHighByte(buf, n)) {
            replayable = first;
            return Outcome::Invalid;
        }
        if (validate && !iso)
            evidence.feed(buf, n);
        if (!matched || (validate && !iso)) {
            // While validating, in steps, so that text in another encoding
            // (code page 932, mostly) is given up at once rather than after
            // a whole block decoded.
            const qsizetype step = validate && !iso ? kValidateStep : n;
            char *end = out + carry;
            for (qsizetype at = 0; at < n; at += step) {
                end = decoder.appendUtf8(buf + at, std::min(step, n - at), end);
                if (validate && !iso && decoder.errors() != 0) {
                    replayable = first;
                    return Outcome::Invalid;
                }
            }
            if (atEnd)
                end = decoder.finishUtf8(end);
            if (validate && !iso && decoder.errors() != 0) {
                replayable = first;
                return Outcome::Invalid;
            }
            if (!matched) {
                const char *keep = end;
                if (lines.feed(out, end, atEnd, &keep)) {
                    if (!validate)
                        return Outcome::Match;
                    matched = true; // the rest is only validated
                } else if (!atEnd) {
                    carry = end - keep;
                    std::memmove(out, keep, size_t(carry));
                }
            }
        }
        if (atEnd)
            break;
        n = readBlock(source, buf, blockSize, atEnd);
        if (n < 0)
            return Outcome::Error;
        first = false;
    }
    if (validate && !iso && !evidence.eucJp()) {
        replayable = first;
        return Outcome::Invalid;
    }
    return matched ? Outcome::Match : Outcome::NoMatch;
}

const char *findLineBreak(const char *from, const char *end)
{
    const char *p = std::find_if(from, end, [](char c) { return c == '\r' || c == '\n'; });
    return p;
}

const char *findLastLineBreak(const char *begin, const char *end)
{
    for (const char *p = end; p > begin; --p) {
        if (p[-1] == '\r' || p[-1] == '\n')
            return p - 1;
    }
    return nullptr;
}

// EUC-JP with a driver: the bytes every matching line holds (the one byte form
// of a word). Lines wholly inside a block that lack them are not decoded; the
// first and the last line of each block, which may go on in the blocks beside
// it, are decoded as they are.
Outcome scanEucDriven(jis::EucJpDecoder &decoder, const QByteArray &driver, ByteSource &source,
                      char *buf, qsizetype blockSize, qsizetype have, bool atEnd, bool validate,
                      UnitLineMatcher<char> &lines, char *out, bool &replayable)
{
    lines.reset();
    replayable = false;
    qsizetype carry = 0; // decoded units kept at out's start
    qsizetype n = have;
    bool first = true;
    bool matched = false;
    qsizetype rare1 = 0, rare2 = 0;
    search::choosePair(driver.constData(), driver.size(), search::kUtf8TextRanks, rare1, rare2);
    const search::PairNeedle needle{driver.constData(), driver.size(), rare1, rare2};
    const auto invalid = [&] {
        replayable = first;
        return Outcome::Invalid;
    };
    // Decodes [from, to) after the kept units and feeds it (final: the file ends there).
    const auto decodeAndFeed = [&](const char *from, const char *to, bool final) {
        char *end = decoder.appendUtf8(from, to - from, out + carry);
        if (final)
            end = decoder.finishUtf8(end);
        const char *keep = end;
        const bool found = lines.feed(out, end, final, &keep);
        carry = found || final ? 0 : end - keep;
        if (carry > 0)
            std::memmove(out, keep, size_t(carry));
        return found;
    };
    // When validating, every byte goes through a decoder of its own that only
    // checks, a block at a time before the block is searched; it stops at
    // the first error, so that a file that is not EUC-JP (a compressed one,
    // mostly) is given up after its first bytes. The decoder that feeds the
    // lines sees only the bytes it decodes: after a line break its state is
    // clean.
    jis::EucJpDecoder validator;
    jis::EucJpEvidence evidence; // against code page 932
    for (;;) {
        const char *begin = buf, *end = buf + n;
        if (validate) {
            validator.check(buf, n);
            if (atEnd)
                validator.finishCheck();
            if (validator.errors() != 0)
                return invalid();
            evidence.feed(buf, n);
        }
        if (!matched) {
            const char *firstBreak = findLineBreak(begin, end);
            const char *lastBreak = firstBreak == end ? nullptr : findLastLineBreak(begin, end);
            if (!lastBreak || lastBreak == firstBreak) {
                matched = decodeAndFeed(begin, end, atEnd);
            } else {
                // The line going on from the last block, up to its break.
                matched = decodeAndFeed(begin, firstBreak + 1, false);
                const char *p = firstBreak + 1, *middleEnd = lastBreak + 1;
                while (!matched && p < middleEnd) {
                    const char *hit = search::findPair(p, middleEnd, needle);
                    if (!hit)
                        break;
                    const char *lineStart = hit;
                    while (lineStart > p && lineStart[-1] != '\r' && lineStart[-1] != '\n')
                        --lineStart;
                    const char *lineEnd = findLineBreak(hit, middleEnd) + 1;
                    matched = decodeAndFeed(lineStart, lineEnd, false);
                    p = lineEnd;
                }
                if (!matched)
                    matched = decodeAndFeed(middleEnd, end, atEnd);
            }
            if (matched && !validate)
                return Outcome::Match;
        }
        if (atEnd)
            break;
        n = readBlock(source, buf, blockSize, atEnd);
        if (n < 0)
            return Outcome::Error;
        first = false;
    }
    if (validate && !evidence.eucJp())
        return invalid();
    return matched ? Outcome::Match : Outcome::NoMatch;
}

} // namespace

// Searches the file from its first bytes (buf holds `have` of them). With
// validate, the scan gives up (Invalid) at the first block that shows the file
// is not in the encoding, and a match counts once the whole file proved to be.
TextMatcher::Scan TextMatcher::scanJis(ByteSource &source, qsizetype blockSize, qsizetype have,
                                       bool atEnd, platform::FileEncoding encoding, bool validate)
{
    char *buf = buffer(blockSize);
    char *out = m_decoded.data(m_utf8.mostKept() + jis::EucJpDecoder::utf8Room(blockSize));
    Outcome outcome;
    if (encoding == platform::FileEncoding::Iso2022Jp) {
        jis::Iso2022JpDecoder decoder;
        outcome = scanWith(decoder, true, source, buf, blockSize, have, atEnd, validate, m_utf8,
                           out, m_replayable);
    } else {
        jis::EucJpDecoder decoder;
        const QByteArray &driver = eucDriver();
        outcome = driver.isEmpty() ? scanWith(decoder, false, source, buf, blockSize, have, atEnd,
                                              validate, m_utf8, out, m_replayable)
                                   : scanEucDriven(decoder, driver, source, buf, blockSize, have,
                                                   atEnd, validate, m_utf8, out, m_replayable);
    }
    switch (outcome) {
    case Outcome::Match:
        return Scan::Match;
    case Outcome::Invalid:
        return Scan::Invalid;
    case Outcome::Error:
        return Scan::Error;
    case Outcome::NoMatch:
        break;
    }
    return Scan::NoMatch;
}
