// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Tests whether a file has one line holding every word of the keyword under
// the folds of loose matching (text/Fold.h), in the encoding mode the run was
// given: the same files, encodings and lines as TextMatcher reads, each
// candidate line decoded, folded and compared with the folded words.
//
// Which lines are candidates: those that hold what FoldAnchor.h chooses for
// the file's encoding (the bytes of a run no fold reaches, a run of ASCII in
// either case, or one of the byte forms of one character). Where every word
// is ASCII under the case fold alone, a candidate line is checked on its
// bytes; otherwise it is decoded and folded whole, so that a match never
// begins or ends inside a half-width kana and its voiced mark. In auto mode a
// file without a mark is searched as UTF-8 until a byte says otherwise, and
// only then read whole to decide its encoding and searched again.
//
// Memory stays bounded: a line longer than a block is searched in pieces that
// overlap by the most bytes an occurrence of the longest word can take, with a
// record of the words already seen in that line; no piece ends just after a
// half-width kana a mark may follow, nor starts at such a mark. UTF-16 files
// are read through their UTF-8 form. Copyable: each worker holds its own copy.

#include "search/FoldAnchor.h"
#include "search/KeywordMatcher.h"
#include "search/ScratchBuffer.h"
#include "search/TwoWay.h"
#include "text/EncodingMode.h"
#include "text/Fold.h"
#include "text/JisEncodings.h"
#include "text/Unicode.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

class FoldedMatcher {
public:
    FoldedMatcher(const QStringList &words, platform::EncodingMode mode, textfold::Folds folds);

    bool neverMatches() const { return m_never; }
    bool linesNeverMatch() const { return m_linesNever; }
    bool matches(ByteSource &source, qsizetype blockSize);
    bool matchesLines(const std::vector<QString> &lines);
    bool matchesLine(QStringView line);
    platform::FileEncoding lastEncoding() const { return m_last; }

    // How a file's bytes are read: code page 932 with lines at CR (CR-LF),
    // code page 932 with lines at LF too, UTF-8 with lines at CR or LF.
    enum class Reading { Cp932, Cp932Lf, Utf8 };

private:
    enum class Scan { NoMatch, Match, Invalid, Error };
    // Auto mode's first reading of a file without a mark, as UTF-8: it gives
    // up (feed or finish false) at the first byte that is not UTF-8, or at an
    // ISO-2022-JP designation, which may make the file ISO-2022-JP.
    struct Utf8Probe {
        platform::Utf8Validator utf8;
        jis::DesignationFinder designations;
        bool feed(const char *data, qsizetype size)
        {
            return utf8.feed(data, size) && !designations.feedUntilHigh(data, size);
        }
        bool finish() { return utf8.finish(); }
    };
    bool scanDecided(ByteSource &source, qsizetype blockSize, const char *buf, qsizetype have,
                     bool atEnd, const platform::FileDecision &decision);
    bool decideWhole(ByteSource &source, qsizetype block, char *buf, qsizetype have, bool atEnd,
                     bool notUtf8, platform::FileDecision &decision);
    Scan scan(ByteSource &source, qsizetype blockSize, qsizetype have, qsizetype start, bool atEnd,
              Reading reading, Utf8Probe *probe);
    bool scanLines(const char *begin, const char *end, Reading reading);
    const char *findAnchor(const char *from, const char *end, const FoldAnchor &anchor);
    bool check(const char *begin, const char *end, Reading reading, bool lineEnds);
    bool checkFolded(bool lineEnds);
    bool checkAscii(const char *begin, const char *end, Reading reading, bool lineEnds);
    template <typename Holds> bool checkWords(Holds holds, bool lineEnds);
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
    // A long word's own search, linear whatever the text and the word hold
    // (QString's is not: "x" then 9,999 "ガ" over a run of "ガ"); shared by the
    // copies, read only.
    struct LongWord {
        explicit LongWord(const QString &word)
            : text(reinterpret_cast<const char16_t *>(word.utf16()), size_t(word.size())),
              finder(text.data(), qsizetype(text.size()))
        {}
        LongWord(const LongWord &) = delete;
        LongWord &operator=(const LongWord &) = delete;
        const std::u16string text;
        const search::TwoWay<char16_t> finder;
    };
    std::vector<std::shared_ptr<const LongWord>> m_longWords; // per word; null: short
    bool m_never = false;
    bool m_linesNever = false;
    qsizetype m_overlap = 16; // the most bytes an occurrence of a word can take
    FoldAnchor m_cp932Anchor;
    FoldAnchor m_utf8Anchor;
    // Every word as caseless ASCII, checked on a line's bytes; or empty.
    std::vector<search::CaselessNeedle> m_cp932Ascii;
    std::vector<search::CaselessNeedle> m_utf8Ascii;
    platform::FileEncoding m_last = platform::FileEncoding::Cp932;

    std::vector<unsigned char> m_seen; // per word: seen in the line in progress
    qsizetype m_seenCount = 0;
    bool m_continuing = false;        // the line in progress began in an earlier block
    std::vector<const char *> m_next; // per anchor form: its next hit, or null
    const char *m_nextCaseless = nullptr;
    std::vector<const char *> m_nextPrefixed;
    ScratchBuffer<char> m_buffer;
    QString m_text;
    QString m_folded;
};
