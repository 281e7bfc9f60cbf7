// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// What every line that can hold the folded words holds in its bytes, in code
// page 932 or in UTF-8, chosen once per search: the candidates of a folded
// search (FoldedMatcher.h), which are then decoded, folded and compared.
//
// In order of preference:
// - the bytes of the longest run of characters that only themselves fold to
//   (most kanji), where that run has one byte form;
// - a run of ASCII bytes whose letters may be in either case, where the
//   characters that fold to each of the run's characters are that ASCII
//   character in one case or the other or have longer forms (full-width Ａ is
//   82 60, K is E2 84 AA): a candidate holds the run, or the start of one of
//   those longer forms ("Release" finds "RELEASE" and "ＲＥＬＥＡＳＥ" with no
//   decoding until a line holds the run or such a form);
// - one of the byte forms of every character that folds to one chosen
//   character (in code page 932 Ａ is 82 60, A is 41; テ 83 65, て 82 C4, ﾃ C3);
// - nothing, when no byte sequence of the encoding can read as the words.

#include "search/CaselessFind.h"
#include "text/Fold.h"

#include <QByteArray>
#include <QStringList>

#include <array>

#include <vector>

struct FoldAnchor {
    std::vector<QByteArray> forms;   // a candidate line holds one of them,
    search::CaselessNeedle caseless; // or, where not empty, this run
    // or one of these: a prefix, then a last byte that `last` allows.
    struct Prefixed {
        QByteArray prefix;
        std::array<bool, 256> last{};
    };
    std::vector<Prefixed> prefixed;
    bool none = false; // no line can hold the words
};

// sources: textfold::unitsFoldingTo() of the folded words joined.
FoldAnchor chooseFoldAnchor(const QStringList &foldedWords,
                            const std::vector<std::vector<char16_t>> &sources, bool utf8);

// Where every folded word is ASCII of at most kMaxCaseless bytes, each of its
// characters reached only by itself in either case (caseless ASCII as above):
// the words as needles, so that a line can be checked on its bytes with no
// decoding. Empty otherwise.
std::vector<search::CaselessNeedle> caselessWords(const QStringList &foldedWords,
                                                  const std::vector<std::vector<char16_t>> &sources,
                                                  bool utf8);
