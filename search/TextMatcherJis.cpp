// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// EUC-JP and ISO-2022-JP files: decoded to UTF-8 a block at a time and
// searched as UTF-8 text, so that words meet whole characters only.

#include "search/TextMatcher.h"

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
    for (;;) {
        // ISO-2022-JP is 7-bit; EUC-JP decodes without an error.
        if (validate && iso && hasHighByte(buf, n)) {
            replayable = first;
            return Outcome::Invalid;
        }
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
        outcome = scanWith(decoder, false, source, buf, blockSize, have, atEnd, validate, m_utf8,
                           out, m_replayable);
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
