// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The viewer's text as lines the way the search reads them, for going to the
// next or previous line that holds every word of the keyword (F3, Shift+F3).
//
// A line ends at CR-LF or a lone CR; a lone LF ends one too only where the
// index says so (LineIndex::loneLfEndsLine), and otherwise stays inside it, so
// one such line may cover several of the index's lines. Its raw range is
// decoded in one piece, as the search decodes a line, and it holds the keyword
// when it contains every word: exactly and case-sensitively, or under the folds
// of loose matching (text/Fold.h), the line and the words folded alike and the
// occurrence covering the line's own characters (ガス in xｶﾞｽy covers ｶﾞｽ).
// Memory stays bounded however long a line is: a long line is decoded in
// overlapping pieces, never cut between a half-width kana and its mark.

#include "text/Fold.h"
#include "viewer/LineIndex.h"

#include <QStringList>

struct MatchLineHit {
    qsizetype offset = -1; // of the first word's first occurrence; -1: none
    qsizetype length = 0;  // characters of that occurrence
};

enum class MatchDirection { Next, Previous };

// The first occurrence of words.first() in the nearest line that holds every
// word of words, after (Next) or before (Previous) the line that holds the
// offset `from`. words are non-empty texts; nothing is found when there are
// none.
MatchLineHit findMatchLine(const LineIndex &index, const QStringList &words, qsizetype from,
                           MatchDirection direction, textfold::Folds folds = {});

// The first occurrence of word in the text under the folds, or none.
MatchLineHit findFirstUnderFolds(const LineIndex &index, const QString &word,
                                 textfold::Folds folds);
