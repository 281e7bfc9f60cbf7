// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "search/FoldAnchor.h"

#include "text/Cp932.h"

#include <algorithm>

namespace {

// The byte forms of one character; empty when none decodes to it.
QList<QByteArray> formsOf(char16_t c, bool utf8)
{
    if (utf8)
        return {QString(QChar(c)).toUtf8()};
    return cp932::unitForms(c);
}

// True when the characters that fold to the ASCII character c (folded) read
// from one byte each, and those bytes are c in both cases for a letter (the
// case fold is on), c itself for anything else.
bool caselessAscii(char16_t c, const std::vector<char16_t> &sources, bool utf8)
{
    if (c >= 0x80 || c == 0 || (c >= u'A' && c <= u'Z'))
        return false;
    const bool letter = c >= u'a' && c <= u'z';
    const char lower = char(c);
    const char upper = letter ? char(lower - 0x20) : lower;
    bool sawLower = false, sawUpper = false;
    for (const char16_t u : sources) {
        for (const QByteArray &form : formsOf(u, utf8)) {
            if (form.size() != 1 || (form[0] != lower && form[0] != upper))
                return false;
            sawLower = sawLower || form[0] == lower;
            sawUpper = sawUpper || form[0] == upper;
        }
    }
    return sawLower && sawUpper;
}

// The longest run of a word's characters that caselessAscii() accepts.
QByteArray caselessRun(const QStringList &words, const std::vector<std::vector<char16_t>> &sources,
                       bool utf8)
{
    QByteArray best;
    qsizetype offset = 0;
    for (const QString &word : words) {
        QByteArray run;
        for (qsizetype i = 0; i <= word.size(); ++i) {
            if (i < word.size() &&
                caselessAscii(word[i].unicode(), sources[size_t(offset + i)], utf8)) {
                run += char(word[i].unicode());
                continue;
            }
            if (run.size() > best.size())
                best = run;
            run.clear();
        }
        offset += word.size();
    }
    return best.left(search::kMaxCaseless);
}

} // namespace

FoldAnchor chooseFoldAnchor(const QStringList &foldedWords, textfold::Folds folds, bool utf8)
{
    FoldAnchor anchor;
    const QString all = foldedWords.join(QString());
    const std::vector<std::vector<char16_t>> sources = textfold::unitsFoldingTo(all, folds);
    const textfold::Run run = textfold::longestStableRun(foldedWords, sources);
    const QByteArray ascii = caselessRun(foldedWords, sources, utf8);
    if (run.length > 0 && run.length >= ascii.size()) {
        const QStringView stable = QStringView(all).sliced(run.start, run.length);
        if (utf8) {
            anchor.forms.push_back(stable.toUtf8());
            return anchor;
        }
        const cp932::Encoding encoding = cp932::encode(stable);
        if (encoding.form == cp932::Form::Unique) {
            anchor.forms.push_back(encoding.bytes);
            return anchor;
        }
        if (encoding.form == cp932::Form::Impossible) {
            anchor.none = true; // such characters match only themselves
            return anchor;
        }
    }
    if (!ascii.isEmpty()) {
        anchor.caseless =
            search::caselessNeedle(ascii, utf8 ? search::kUtf8TextRanks : search::kCp932TextRanks);
        return anchor;
    }
    // One character: the fewest forms, then the longest shortest form.
    qsizetype best = -1, bestCount = 0, bestShortest = 0;
    for (qsizetype i = 0; i < all.size(); ++i) {
        if (all[i].isSurrogate())
            continue;
        qsizetype count = 0, shortest = 8;
        bool usable = true;
        for (const char16_t u : sources[size_t(i)]) {
            const QList<QByteArray> forms = formsOf(u, utf8);
            usable = usable && u != u'\u30FB' && !QChar::isSurrogate(u);
            count += forms.size();
            for (const QByteArray &form : forms)
                shortest = std::min(shortest, form.size());
        }
        if (!usable)
            continue;
        if (count == 0) { // no byte sequence reads as the word here
            anchor.none = true;
            return anchor;
        }
        if (best < 0 || shortest > bestShortest ||
            (shortest == bestShortest && count < bestCount)) {
            best = i;
            bestCount = count;
            bestShortest = shortest;
        }
    }
    if (best < 0 || bestCount > 16)
        return anchor; // every line is a candidate
    for (const char16_t u : sources[size_t(best)]) {
        for (const QByteArray &form : formsOf(u, utf8))
            anchor.forms.push_back(form);
    }
    return anchor;
}

std::vector<search::CaselessNeedle> caselessWords(const QStringList &foldedWords,
                                                  textfold::Folds folds, bool utf8)
{
    const std::vector<std::vector<char16_t>> sources =
        textfold::unitsFoldingTo(foldedWords.join(QString()), folds);
    std::vector<search::CaselessNeedle> out;
    qsizetype offset = 0;
    for (const QString &word : foldedWords) {
        if (word.size() > search::kMaxCaseless)
            return {};
        QByteArray bytes;
        for (qsizetype i = 0; i < word.size(); ++i) {
            if (!caselessAscii(word[i].unicode(), sources[size_t(offset + i)], utf8))
                return {};
            bytes += char(word[i].unicode());
        }
        out.push_back(
            search::caselessNeedle(bytes, utf8 ? search::kUtf8TextRanks : search::kCp932TextRanks));
        offset += word.size();
    }
    return out;
}
