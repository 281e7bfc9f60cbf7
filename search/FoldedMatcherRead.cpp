// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// How FoldedMatcher reads a file: in code page 932 as it is, or in another mode
// by its byte order mark, or without one by what all its bytes are.

#include "search/FoldedMatcher.h"

#include "search/JisAsUtf8.h"
#include "search/Utf16AsUtf8.h"

#include <algorithm>

using platform::EncodingMode;
using platform::FileEncoding;
using Reading = FoldedMatcher::Reading;

bool FoldedMatcher::matches(ByteSource &source, qsizetype blockSize)
{
    m_last = FileEncoding::Cp932;
    if (m_never)
        return false;
    blockSize = std::max<qsizetype>(blockSize, 3);
    const qsizetype block = blockFor(blockSize);
    char *buf = m_buffer.data(2 * block + 16);
    if (m_mode == EncodingMode::Cp932)
        return scan(source, blockSize, 0, 0, false, Reading::Cp932, nullptr) == Scan::Match;

    // The first bytes: enough to see a byte order mark, or the whole file.
    bool atEnd = false;
    qsizetype have = readBlock(source, buf, block, atEnd);
    if (have < 0)
        return false;
    platform::FileDecision decision;
    if (platform::decideByMark(m_mode, buf, have, decision))
        return scanDecided(source, blockSize, buf, have, atEnd, decision);
    // No mark: the whole file decides (text/EncodingMode.h). Most files are
    // UTF-8, searched as such while that holds; any other is read once to
    // decide and again to search.
    Utf8Probe probe;
    const Scan utf8 = scan(source, blockSize, have, 0, atEnd, Reading::Utf8, &probe);
    if (utf8 == Scan::Match || utf8 == Scan::NoMatch) {
        m_last = FileEncoding::Utf8;
        return utf8 == Scan::Match;
    }
    if (utf8 == Scan::Error)
        return false;
    // Given up for a byte that is not UTF-8 (not for a designation): the
    // file has a byte from 80 up, so only EUC-JP or code page 932 is left.
    const bool notUtf8 = !probe.designations.found();
    if (atEnd) // one block: still in buf as read
        return decideWhole(source, block, buf, have, true, notUtf8, decision) &&
               scanDecided(source, blockSize, buf, have, true, decision);
    if (!source.rewind())
        return false;
    have = readBlock(source, buf, block, atEnd);
    if (have < 0 || !decideWhole(source, block, buf, have, atEnd, notUtf8, decision) ||
        !source.rewind())
        return false;
    bool again = false;
    const qsizetype first = readBlock(source, buf, block, again);
    if (first < 0)
        return false;
    return scanDecided(source, blockSize, buf, first, again, decision);
}

// The file read as the decision says, from its first bytes (have of them in buf).
bool FoldedMatcher::scanDecided(ByteSource &source, qsizetype blockSize, const char *buf,
                                qsizetype have, bool atEnd, const platform::FileDecision &decision)
{
    m_last = decision.encoding;
    switch (decision.encoding) {
    case FileEncoding::Cp932:
        return scan(source, blockSize, have, 0, atEnd, Reading::Cp932Lf, nullptr) == Scan::Match;
    case FileEncoding::Utf8:
        return scan(source, blockSize, have, decision.markSize, atEnd, Reading::Utf8, nullptr) ==
               Scan::Match;
    case FileEncoding::Utf16LE:
    case FileEncoding::Utf16BE: {
        Utf16AsUtf8 utf8(source, decision.encoding == FileEncoding::Utf16BE, buf + 2, have - 2);
        return scan(utf8, blockSize, 0, 0, false, Reading::Utf8, nullptr) == Scan::Match;
    }
    case FileEncoding::EucJp:
    case FileEncoding::Iso2022Jp: {
        JisAsUtf8 utf8(source, decision.encoding == FileEncoding::Iso2022Jp,
                       buf + decision.markSize, have - decision.markSize);
        return scan(utf8, blockSize, 0, 0, false, Reading::Utf8, nullptr) == Scan::Match;
    }
    }
    return false;
}

// Auto mode's decision for a file without a mark, from all its bytes: the
// first `have` in buf, then the rest of the source. With notUtf8 (the file is
// known to hold a byte from 80 up that is not UTF-8) only EUC-JP is checked,
// and the reading stops at its first error: code page 932.
bool FoldedMatcher::decideWhole(ByteSource &source, qsizetype block, char *buf, qsizetype have,
                                bool atEnd, bool notUtf8, platform::FileDecision &decision)
{
    platform::Utf8Validator utf8;
    jis::DesignationFinder designations;
    jis::EucJpDecoder euc;
    jis::EucJpEvidence evidence; // EUC-JP against code page 932
    bool high = false;
    decision = {};
    if (notUtf8) {
        for (;;) {
            euc.check(buf, have); // stops at the first error
            evidence.feed(buf, have);
            if (euc.errors() != 0 || atEnd)
                break;
            have = readBlock(source, buf, block, atEnd);
            if (have < 0)
                return false;
        }
        euc.finishCheck();
        decision.encoding =
            euc.errors() == 0 && evidence.eucJp() ? FileEncoding::EucJp : FileEncoding::Cp932;
        return true;
    }
    for (;;) {
        utf8.feed(buf, have);
        designations.feed(buf, have);
        for (qsizetype i = 0; i < have && !high; ++i)
            high = static_cast<unsigned char>(buf[i]) >= 0x80;
        euc.check(buf, have); // stops at the first error
        evidence.feed(buf, have);
        if (atEnd)
            break;
        have = readBlock(source, buf, block, atEnd);
        if (have < 0)
            return false;
    }
    euc.finishCheck();
    if (!high && designations.found())
        decision.encoding = FileEncoding::Iso2022Jp;
    else if (utf8.finish())
        decision.encoding = FileEncoding::Utf8;
    else if (euc.errors() == 0 && evidence.eucJp())
        decision.encoding = FileEncoding::EucJp;
    else
        decision.encoding = FileEncoding::Cp932;
    return true;
}
