// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Loose matching: three independent folds that map characters a user takes for
// one another onto one form, applied to the keyword and the text alike. Each
// is an explicit table below; nothing here is Unicode compatibility
// normalization (① stays apart from 1, ㈱ from (株), ㌔ from キロ).
//
// - case: Unicode's simple case folding, one character to one, no locale
//   rules (I folds to i, never to dotless ı; ß stays ß and never becomes ss).
//   Latin, full-width Latin, Greek and Cyrillic alike. Characters outside the
//   BMP are left as they are.
// - width: the full-width forms U+FF01-FF5E with ASCII U+0021-007E, the
//   ideographic space U+3000 with U+0020, the full-width signs U+FFE0-FFE6
//   with ¢ £ ¬ ¯ ¦ ¥ ₩, and half-width katakana U+FF61-FF9F with their
//   full-width forms, where a half-width voiced or semi-voiced mark (ﾞ ﾟ)
//   composes with the kana before it (ｶﾞ is ガ, ﾊﾟ is パ, ｳﾞ is ヴ); a mark
//   that composes with nothing is the full-width mark ゛ ゜. Two characters
//   that code page 932 and JIS decode one byte pair to differently fold
//   together as well: 〜 U+301C with ～ U+FF5E (both ~), − U+2212 with
//   － U+FF0D (both -). ￥ U+FFE5 folds with ¥ U+00A5, not with the backslash
//   that the byte 5C is in code page 932 (＼ U+FF3C folds with that one).
// - kana: hiragana U+3041-3096 with katakana U+30A1-30F6, ゝゞ with ヽヾ.
//   Voiced and small kana stay apart (は is not ば, つ is not っ); ー and
//   ヷ-ヺ stay as they are.
// The folded form: width first (half-width kana become full-width katakana),
// then kana (hiragana become katakana), then case (to the folded, mostly
// lower case, form).

#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

namespace textfold {

struct Folds {
    bool caseless = false; // 大文字と小文字を区別しない
    bool width = false;    // 全角と半角を区別しない
    bool kana = false;     // ひらがなとカタカナを区別しない

    bool any() const { return caseless || width || kana; }
    bool operator==(const Folds &) const = default;
};

// The folded form of one character with no composition: a half-width kana
// folds alone (ｶ is カ), a half-width mark to the full-width mark.
char16_t foldUnit(char16_t c, Folds folds);

// The character a half-width kana and a following half-width mark (U+FF9E
// or U+FF9F) compose to under the width fold, or 0 when they do not compose.
char16_t composeHalfWidth(char16_t kana, char16_t mark);

// Appends the folded form of text to out. With origins, appends for each unit
// appended the index in text of the first unit it stands for (a composed pair
// stands for two), so a folded range [a, b) covers text from origins[a] to
// the origin of b (or text.size() at the end).
void appendFolded(QStringView text, Folds folds, QString &out,
                  std::vector<qsizetype> *origins = nullptr);
QString folded(QStringView text, Folds folds);

// True when the unit is a half-width kana a following mark may compose with,
// or such a mark: a text cut just after the one or just before the other may
// cut a composed pair in two.
bool isComposingHalfWidth(char16_t c);

// For each character of `chars` (folded characters), the units whose folded
// form it is: those that fold to it (itself among them when it folds to
// itself), and the half-width kana that compose with a mark to a character
// that does. A folded text that holds the character comes from a text that
// holds one of these. One pass over every unit: for setting up a search.
std::vector<std::vector<char16_t>> unitsFoldingTo(QStringView chars, Folds folds);

// The longest run of characters within one of the (folded) words that only
// themselves fold to, most kanji: a text whose folded form holds the run
// holds these very characters, so their bytes can be searched for as they
// are. sources is unitsFoldingTo() of the words joined; start counts in the
// words joined. length is 0 where no character qualifies.
struct Run {
    qsizetype start = 0;
    qsizetype length = 0;
};
Run longestStableRun(const QStringList &words, const std::vector<std::vector<char16_t>> &sources);

} // namespace textfold
