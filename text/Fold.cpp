// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "text/Fold.h"

#include <QChar>
#include <QHash>

#include <array>
#include <mutex>

namespace textfold {

namespace {

// U+FF61-FF9F: the full-width form of each half-width character.
constexpr char16_t kHalfWidth[] = {
    u'。', u'「', u'」', u'、', u'・', u'ヲ', u'ァ', u'ィ', u'ゥ', u'ェ', u'ォ', u'ャ', u'ュ',
    u'ョ', u'ッ', u'ー', u'ア', u'イ', u'ウ', u'エ', u'オ', u'カ', u'キ', u'ク', u'ケ', u'コ',
    u'サ', u'シ', u'ス', u'セ', u'ソ', u'タ', u'チ', u'ツ', u'テ', u'ト', u'ナ', u'ニ', u'ヌ',
    u'ネ', u'ノ', u'ハ', u'ヒ', u'フ', u'ヘ', u'ホ', u'マ', u'ミ', u'ム', u'メ', u'モ', u'ヤ',
    u'ユ', u'ヨ', u'ラ', u'リ', u'ル', u'レ', u'ロ', u'ワ', u'ン', u'゛', u'゜',
};
static_assert(sizeof(kHalfWidth) / sizeof(kHalfWidth[0]) == 0xFF9F - 0xFF61 + 1);

// U+FFE0-FFE6: ¢ £ ¬ ¯ ¦ ¥ ₩.
constexpr char16_t kSigns[] = {u'\u00A2', u'\u00A3', u'\u00AC', u'\u00AF',
                               u'\u00A6', u'\u00A5', u'\u20A9'};

constexpr char16_t kVoicedMark = u'\uFF9E';
constexpr char16_t kSemiVoicedMark = u'\uFF9F';

char16_t foldWidth(char16_t c)
{
    if (c >= 0xFF01 && c <= 0xFF5E)
        return char16_t(c - 0xFEE0);
    if (c >= 0xFF61 && c <= 0xFF9F)
        return kHalfWidth[c - 0xFF61];
    if (c >= 0xFFE0 && c <= 0xFFE6)
        return kSigns[c - 0xFFE0];
    switch (c) {
    case u'\u3000':
        return u' ';
    case u'\u301C': // WAVE DASH: JIS's reading of the pair cp932 reads as U+FF5E
        return u'~';
    case u'\u2212': // MINUS SIGN: JIS's reading of the pair cp932 reads as U+FF0D
        return u'-';
    default:
        return c;
    }
}

char16_t foldKana(char16_t c)
{
    if ((c >= 0x3041 && c <= 0x3096) || c == 0x309D || c == 0x309E)
        return char16_t(c + 0x60);
    return c;
}

char16_t foldCase(char16_t c)
{
    if (c < 0x80)
        return c >= u'A' && c <= u'Z' ? char16_t(c + 0x20) : c;
    if (QChar::isSurrogate(c))
        return c;
    return char16_t(QChar::toCaseFolded(char32_t(c)));
}

// Every unit's fold under one choice of folds, made the first time that
// choice is used (a unit of a composed pair folds alone here).
const char16_t *foldTable(Folds folds)
{
    static std::array<std::vector<char16_t>, 8> tables;
    static std::array<std::once_flag, 8> made;
    const int bits = int(folds.caseless) | int(folds.width) << 1 | int(folds.kana) << 2;
    std::call_once(made[size_t(bits)], [&] {
        std::vector<char16_t> &t = tables[size_t(bits)];
        t.resize(0x10000);
        for (char32_t u = 0; u <= 0xFFFF; ++u)
            t[u] = foldUnit(char16_t(u), folds);
    });
    return tables[size_t(bits)].data();
}

} // namespace

char16_t foldUnit(char16_t c, Folds folds)
{
    if (folds.width)
        c = foldWidth(c);
    if (folds.kana)
        c = foldKana(c);
    if (folds.caseless)
        c = foldCase(c);
    return c;
}

char16_t composeHalfWidth(char16_t kana, char16_t mark)
{
    if (kana < 0xFF61 || kana > 0xFF9D)
        return 0;
    const char16_t full = kHalfWidth[kana - 0xFF61];
    if (mark == kVoicedMark) {
        // カ-ト take the voiced form at the next code point, except ッ (small).
        if ((full >= u'カ' && full <= u'ト' && full != u'ッ') ||
            (full >= u'ハ' && full <= u'ホ' && (full - u'ハ') % 3 == 0))
            return char16_t(full + 1);
        switch (full) {
        case u'ウ':
            return u'ヴ';
        case u'ワ':
            return u'ヷ';
        case u'ヲ':
            return u'ヺ';
        default:
            return 0;
        }
    }
    if (mark == kSemiVoicedMark && full >= u'ハ' && full <= u'ホ' && (full - u'ハ') % 3 == 0)
        return char16_t(full + 2);
    return 0;
}

bool isComposingHalfWidth(char16_t c)
{
    return c == kVoicedMark || c == kSemiVoicedMark || composeHalfWidth(c, kVoicedMark) != 0;
}

void appendFolded(QStringView text, Folds folds, QString &out, std::vector<qsizetype> *origins)
{
    const char16_t *table = foldTable(folds);
    const qsizetype size = text.size();
    const qsizetype start = out.size();
    out.resize(start + size);
    char16_t *to = reinterpret_cast<char16_t *>(out.data()) + start;
    const char16_t *from = reinterpret_cast<const char16_t *>(text.utf16());
    qsizetype n = 0;
    for (qsizetype i = 0; i < size; ++i) {
        char16_t c = from[i];
        if (origins)
            origins->push_back(i);
        if (folds.width && c >= 0xFF61 && i + 1 < size) {
            if (const char16_t composed = composeHalfWidth(c, from[i + 1])) {
                // A voiced katakana: no other fold changes it.
                to[n++] = composed;
                ++i;
                continue;
            }
        }
        to[n++] = table[c];
    }
    out.resize(start + n);
}

std::vector<std::vector<char16_t>> unitsFoldingTo(QStringView chars, Folds folds)
{
    std::vector<unsigned char> wanted(0x10000, 0);
    for (const QChar c : chars)
        wanted[c.unicode()] = 1;
    const char16_t *table = foldTable(folds);
    QHash<char16_t, std::vector<char16_t>> found;
    for (char32_t u = 0; u <= 0xFFFF; ++u) {
        const auto c = char16_t(u);
        if (QChar::isSurrogate(c))
            continue;
        if (const char16_t f = table[u]; wanted[f])
            found[f].push_back(c);
        if (folds.width && c >= 0xFF61 && c <= 0xFF9D) {
            for (const char16_t mark : {kVoicedMark, kSemiVoicedMark}) {
                if (const char16_t composed = composeHalfWidth(c, mark);
                    composed && wanted[composed])
                    found[composed].push_back(c);
            }
        }
    }
    std::vector<std::vector<char16_t>> out;
    for (const QChar c : chars)
        out.push_back(found.value(c.unicode()));
    return out;
}

Run longestStableRun(const QStringList &words, const std::vector<std::vector<char16_t>> &sources)
{
    // ・ is left out: code page 932 decodes every undefined unit to it too.
    const auto stable = [&](qsizetype i, char16_t c) {
        return sources[size_t(i)].size() == 1 && sources[size_t(i)][0] == c && c != u'\u30FB' &&
               !QChar::isSurrogate(c);
    };
    Run best;
    qsizetype offset = 0;
    for (const QString &word : words) {
        for (qsizetype i = 0; i < word.size();) {
            qsizetype j = i;
            while (j < word.size() && stable(offset + j, word[j].unicode()))
                ++j;
            if (j - i > best.length)
                best = {offset + i, j - i};
            i = j + 1;
        }
        offset += word.size();
    }
    return best;
}

QString folded(QStringView text, Folds folds)
{
    QString out;
    appendFolded(text, folds, out);
    return out;
}

} // namespace textfold
