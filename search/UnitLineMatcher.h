// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Finds a line holding every word in text whose encoding needs no boundary
// check: UTF-8 bytes (Unit = char) or UTF-16 units (Unit = char16_t).
//
// A valid UTF-8 form of a word starts with a byte that never continues a
// sequence, so wherever its bytes occur the WHATWG decoder decodes them as the
// word itself (an unfinished sequence before them ends as U+FFFD first); and a
// decoded occurrence of the word always comes from its one byte form. UTF-16
// units need nothing more once they are whole units: a word never starts with
// a low surrogate nor ends with a high one. So the words are searched for as
// they are, and an invalid sequence, which decodes to U+FFFD, never matches a
// word's U+FFFD (that is only ever the literal character).
//
// Lines end at CR or LF units (CR-LF, a lone CR, a lone LF). The text is fed
// in pieces; a line cut by a piece's end is kept whole for the next piece up
// to the line room, and a longer one is searched in parts that overlap by the
// longest word less one unit, with a record of the words already seen.
// A line's words are looked for the rarest first (then the one the last line
// lacked), the first missing one settling the line; once that costs several
// times the line, the words still unseen are found in a pass per word length.
// No line before the next occurrence of the word the last line lacked can
// match, so the search for lines goes on from there.

#include "search/WordSweep.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <string>
#include <vector>

template <typename Unit> class UnitLineMatcher {
public:
    // words: the keyword's words; a word holding CR, LF or a lone surrogate
    // can never be in a line.
    explicit UnitLineMatcher(const QStringList &words);

    bool neverMatches() const { return m_never; }
    // The units kept between pieces of a line longer than lineRoom (the
    // longest word less one).
    qsizetype overlap() const { return m_span - 1; }
    // Up to how many units an unfinished line is kept whole for the next
    // piece, with several words (one word needs only the overlap): such a
    // line is then checked once, whole, and its first missing word settles
    // it. Longer lines are searched in pieces. 0 until set.
    void setLineRoom(qsizetype units) { m_lineRoom = units; }
    // The most units feed() leaves for the next piece.
    qsizetype mostKept() const
    {
        return m_words.size() > 1 ? std::max(overlap(), m_lineRoom) : overlap();
    }

    // Forgets any line in progress: the next piece starts a file's text.
    void reset();
    // Scans [begin, end), which continues the text fed before (the units kept
    // from the last piece, then new ones). True when a line holds every word.
    // When not final and there is no match, *keepFrom tells where the units
    // to feed again with the next piece begin (at most mostKept() of them).
    bool feed(const Unit *begin, const Unit *end, bool final, const Unit **keepFrom);

private:
    using Needle = std::basic_string<Unit>;
    struct Word {
        Needle units;
        int rarity = 0;          // higher: rarer (the rarest word leads)
        qsizetype rareIndex = 0; // UTF-16: the unit searched for first
        qsizetype rare1 = 0;     // UTF-8: the two bytes searched for first
        qsizetype rare2 = 0;     // (UTF-16: a second unit checked, unlike the first)
    };

    static const Unit *find(const Unit *from, const Unit *end, const Word &word);
    bool checkSegment(const Unit *begin, const Unit *end, bool lineEnds);
    void resetLine();
    bool seen(size_t i) const { return m_seen[i] == m_stamp; }
    void markSeen(size_t i);
    class SweepClient;

    std::vector<Word> m_words; // the one searched for first at the front
    bool m_never = false;
    qsizetype m_span = 1;
    std::vector<quint32> m_seen; // per word: seen in the line in progress if m_stamp
    quint32 m_stamp = 1;
    qsizetype m_seenCount = 0;
    std::vector<size_t> m_order;     // the order looked in: a word a line lacked first
    search::WordSweep<Unit> m_sweep; // every word, for lines with many
    bool m_continuing = false;       // the piece starts inside a line begun before
    qsizetype m_lineRoom = 0;
};

extern template class UnitLineMatcher<char>;
extern template class UnitLineMatcher<char16_t>;
