// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Tests whether a file has one line holding every word of the keyword under
// the folds of loose matching (text/Fold.h), in the encoding mode the run was
// given: the same files, encodings and lines as TextMatcher reads, each
// candidate line decoded, folded and compared with the folded words.
//
// Which lines are candidates: where some word holds a run of characters that
// no fold changes or reaches (most kanji), only lines holding the bytes of
// that run; otherwise only lines holding one of the byte forms, in the file's
// own encoding, of every character that folds to one chosen character of a
// word (in code page 932 Ａ is 82 60, A is 41; テ 83 65, て 82 C4, ﾃ C3). A
// line is searched whole, so that a match never begins or ends inside a
// half-width kana and its voiced mark.
//
// Memory stays bounded: a line longer than a block is searched in pieces that
// overlap by the most bytes an occurrence of the longest word can take, with a
// record of the words already seen in that line; no piece ends just after a
// half-width kana a mark may follow, nor starts at such a mark. UTF-16 files
// are read through their UTF-8 form. Copyable: each worker holds its own copy.

#include "search/KeywordMatcher.h"
#include "search/ScratchBuffer.h"
#include "text/EncodingMode.h"
#include "text/Fold.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

class FoldedMatcher {
public:
    FoldedMatcher(const QStringList &words, platform::EncodingMode mode, textfold::Folds folds);

    bool neverMatches() const { return m_never; }
    bool linesNeverMatch() const { return m_linesNever; }
    bool matches(ByteSource &source, qsizetype blockSize);
    bool matchesLines(const std::vector<QString> &lines);
    platform::FileEncoding lastEncoding() const { return m_last; }

    // How a file's bytes are read: code page 932 with lines at CR (CR-LF),
    // code page 932 with lines at LF too, UTF-8 with lines at CR or LF.
    enum class Reading { Cp932, Cp932Lf, Utf8 };

private:
    enum class Scan { NoMatch, Match, Invalid, Error };
    // The byte forms of which every candidate line holds one; `none`: no
    // line of this reading can hold the word at all.
    struct Anchor {
        std::vector<QByteArray> forms;
        bool none = false;
        bool any() const { return !forms.empty() || none; }
    };

    bool scanDecided(ByteSource &source, qsizetype blockSize, const char *buf, qsizetype have,
                     bool atEnd, const platform::FileDecision &decision);
    bool decideWhole(ByteSource &source, qsizetype block, char *buf, qsizetype have, bool atEnd,
                     platform::FileDecision &decision);
    Scan scan(ByteSource &source, qsizetype blockSize, qsizetype have, qsizetype start, bool atEnd,
              Reading reading, platform::Utf8Validator *validator);
    bool scanLines(const char *begin, const char *end, Reading reading);
    const char *findAnchor(const char *from, const char *end, const Anchor &anchor);
    bool check(const char *begin, const char *end, Reading reading, bool lineEnds);
    bool checkFolded(bool lineEnds);
    const char *pieceEnd(const char *begin, const char *end, Reading reading) const;
    const char *overlapStart(const char *begin, const char *end, Reading reading) const;
    void resetLine();
    qsizetype blockFor(qsizetype blockSize) const
    {
        return std::max(blockSize, 2 * m_overlap + 16);
    }

    platform::EncodingMode m_mode;
    textfold::Folds m_folds;
    QStringList m_words; // folded
    bool m_never = false;
    bool m_linesNever = false;
    qsizetype m_overlap = 16; // the most bytes an occurrence of a word can take
    Anchor m_cp932Anchor;
    Anchor m_utf8Anchor;
    platform::FileEncoding m_last = platform::FileEncoding::Cp932;

    std::vector<unsigned char> m_seen; // per word: seen in the line in progress
    qsizetype m_seenCount = 0;
    bool m_continuing = false;        // the line in progress began in an earlier block
    std::vector<const char *> m_next; // per anchor form: its next hit, or null
    ScratchBuffer<char> m_buffer;
    QString m_text;
    QString m_folded;
};
