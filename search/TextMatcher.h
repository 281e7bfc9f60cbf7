// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Tests whether a file has one line holding every word of the keyword, reading
// it in the encoding mode the run was given (text/EncodingMode.h):
// - cp932: KeywordMatcher alone, exactly as it is;
// - utf-8: the UTF-8 bytes of the words in the file's bytes after any mark;
// - auto: the mark decides at once; without one, a single pass validates the
//   bytes as UTF-8 while searching them as UTF-8, and the first invalid byte
//   hands the file to KeywordMatcher (from the bytes still held, or from the
//   file's start again). A UTF-8 match counts only once the last byte is known
//   valid. The first ISO-2022-JP designation in bytes still valid hands the
//   file to the ISO-2022-JP scan (from the start), which gives it back if a
//   byte from 80 up follows; a file not UTF-8 is tried as EUC-JP the same
//   way before it goes to KeywordMatcher (text/EncodingMode.h has the rule).
// - euc-jp, and ISO-2022-JP in auto: the text decoded to UTF-8 a block at a
//   time (text/JisEncodings.h) and searched as UTF-8 text is, so that a match
//   never starts or ends inside a character (TextMatcherJis.cpp).
// Where a lone LF ends a line, code page 932 bytes reach KeywordMatcher with
// every LF turned into a CR: the same lines, one empty line more per CR-LF
// (which no word matches), and a lead byte before an LF stands alone as it
// does at any line's end.
//
// With any fold of loose matching (text/Fold.h) the whole search is
// FoldedMatcher's instead, chosen here once per run, so that the exact search
// reads as it always has.
//
// Memory stays bounded: one block and the longest word's overlap (with
// several words, room for a line as long as a block before the block), in
// room that every encoding shares with KeywordMatcher. Copyable: each worker holds
// its own copy.

#include "search/FoldedMatcher.h"
#include "search/KeywordMatcher.h"
#include "search/ScratchBuffer.h"
#include "search/UnitLineMatcher.h"
#include "text/EncodingMode.h"
#include "text/Fold.h"

#include <QStringList>

#include <optional>
#include <vector>

class TextMatcher {
public:
    TextMatcher(const QStringList &words, platform::EncodingMode mode, textfold::Folds folds = {});

    // True when no file can match in this mode.
    bool neverMatches() const { return m_never; }

    // True when a line of the source holds every word. A read error counts
    // as no match. blockSize is the number of bytes read at a time (>= 1).
    bool matches(ByteSource &source, qsizetype blockSize);

    // The same words in a document's text: true when one of the lines holds
    // every word (exact, case-sensitive unless folded, whatever the mode).
    bool matchesLines(const std::vector<QString> &lines);
    // The same on one line.
    bool matchesLine(QStringView line);
    // The same on text whose lines end at CR or LF units, as a reader's
    // lines would be split from it (empty ones dropped).
    bool matchesLinesIn(QStringView text);
    // The same on valid UTF-8.
    bool matchesUtf8LinesIn(QByteArrayView text);
    // True when no document's line can match (a word holds a line break).
    bool linesNeverMatch() const
    {
        return m_folded ? m_folded->linesNeverMatch() : m_utf16.neverMatches();
    }
    // How the last file given to matches() was read (as far as it was read:
    // a file rejected early in auto mode may not be settled).
    platform::FileEncoding lastEncoding() const { return m_last; }

private:
    enum class Scan { NoMatch, Match, Invalid, Error, Escape };

    char *buffer(qsizetype blockSize);
    qsizetype utf8Block(qsizetype blockSize) const;
    qsizetype utf16Block(qsizetype blockSize) const;
    bool matchCp932(ByteSource &source, qsizetype blockSize);
    Scan scanUtf8(ByteSource &source, qsizetype blockSize, qsizetype have, qsizetype start,
                  bool atEnd, bool validate)
    {
        return validate ? scanUtf8Of<true>(source, blockSize, have, start, atEnd)
                        : scanUtf8Of<false>(source, blockSize, have, start, atEnd);
    }
    template <bool validate>
    Scan scanUtf8Of(ByteSource &source, qsizetype blockSize, qsizetype have, qsizetype start,
                    bool atEnd);
    bool scanUtf16(ByteSource &source, qsizetype blockSize, qsizetype have, bool atEnd,
                   bool bigEndian);
    Scan scanJis(ByteSource &source, qsizetype blockSize, qsizetype have, bool atEnd,
                 platform::FileEncoding encoding, bool validate);
    bool readFirst(ByteSource &source, char *buf, qsizetype blockSize, qsizetype &have,
                   bool &atEnd);
    bool startAgain(ByteSource &source, qsizetype blockSize, qsizetype &have, bool &atEnd);
    bool matchAuto(ByteSource &source, qsizetype blockSize, qsizetype have, bool atEnd);
    const QByteArray &eucDriver();

    platform::EncodingMode m_mode;
    KeywordMatcher m_cp932;
    UnitLineMatcher<char> m_utf8;
    UnitLineMatcher<char16_t> m_utf16;
    bool m_cp932Never = false; // in this mode's line rule
    bool m_never = false;
    platform::FileEncoding m_last = platform::FileEncoding::Cp932;
    bool m_replayable = false;  // the invalid byte came in the bytes still held
    bool m_findEscapes = false; // the UTF-8 scan looks for ISO-2022-JP designations

    ScratchBuffer<char16_t> m_units;
    std::optional<FoldedMatcher> m_folded; // with any fold: every file goes there
    ScratchBuffer<char> m_decoded;         // EUC-JP and ISO-2022-JP text as UTF-8
    QStringList m_words;                   // in the modes that may read EUC-JP
    QByteArray m_eucDriver;                // the longest word of one EUC-JP form, or empty
    bool m_eucDriverMade = false;
};
