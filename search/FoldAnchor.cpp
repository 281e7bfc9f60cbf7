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

// The longest run of a word's characters (at most kMaxCaseless) that read
// from ASCII bytes in either case or from longer forms (full-width Ａ, K),
// and in `longer` those longer forms. A text whose folded form holds the run
// holds it in ASCII bytes in either case, or one of the longer forms.
QByteArray asciiRun(const QStringList &words, const std::vector<std::vector<char16_t>> &sources,
                    bool utf8, std::vector<QByteArray> &longer)
{
    const auto lowered = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 0x20) : c; };
    // Whether character i of the words joined qualifies; adds its starts.
    const auto qualifies = [&](qsizetype i, char16_t c, std::vector<QByteArray> &out) {
        if (c >= 0x80 || c == 0)
            return false;
        std::vector<QByteArray> mine;
        for (const char16_t u : sources[size_t(i)]) {
            for (const QByteArray &form : formsOf(u, utf8)) {
                if (form.size() == 1 && lowered(char16_t(uchar(form[0]))) != lowered(c))
                    return false;
                if (form.size() > 1)
                    mine.push_back(form);
            }
        }
        for (const QByteArray &start : mine) {
            if (std::find(out.begin(), out.end(), start) == out.end())
                out.push_back(start);
        }
        return true;
    };
    QByteArray best;
    qsizetype offset = 0;
    for (const QString &word : words) {
        QByteArray run;
        std::vector<QByteArray> runStarts;
        for (qsizetype i = 0; i <= word.size(); ++i) {
            const bool more = i < word.size() && run.size() < search::kMaxCaseless;
            if (more && qualifies(offset + i, word[i].unicode(), runStarts)) {
                run += char(lowered(word[i].unicode()));
                continue;
            }
            if (run.size() > best.size()) {
                best = run;
                longer = runStarts;
            }
            // A new run from here, or from the next character.
            run.clear();
            runStarts.clear();
            if (i < word.size() && qualifies(offset + i, word[i].unicode(), runStarts))
                run += char(lowered(word[i].unicode()));
        }
        offset += word.size();
    }
    return best;
}

} // namespace

FoldAnchor chooseFoldAnchor(const QStringList &foldedWords,
                            const std::vector<std::vector<char16_t>> &sources, bool utf8)
{
    FoldAnchor anchor;
    const QString all = foldedWords.join(QString());
    const textfold::Run run = textfold::longestStableRun(foldedWords, sources);
    std::vector<QByteArray> longer;
    const QByteArray ascii = asciiRun(foldedWords, sources, utf8, longer);
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
        // The longer forms by all their bytes but the last.
        std::vector<FoldAnchor::Prefixed> prefixed;
        for (const QByteArray &form : longer) {
            const QByteArray prefix = form.first(form.size() - 1);
            auto group = std::find_if(prefixed.begin(), prefixed.end(),
                                      [&](const auto &g) { return g.prefix == prefix; });
            if (group == prefixed.end())
                group = prefixed.insert(prefixed.end(), {prefix, {}});
            group->last[static_cast<unsigned char>(form.back())] = true;
        }
        if (prefixed.size() <= 4) {
            anchor.caseless = search::caselessNeedle(ascii, utf8 ? search::kUtf8TextRanks
                                                                 : search::kCp932TextRanks);
            anchor.prefixed = std::move(prefixed);
            return anchor;
        }
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
                                                  const std::vector<std::vector<char16_t>> &sources,
                                                  bool utf8)
{
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
