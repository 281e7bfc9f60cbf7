// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// How KeywordMatcher turns the keyword's words into what it searches for: each
// word's byte forms in code page 932, or a prefilter of needles for a word
// with a character of several forms, and the word that drives the scan.

#include "search/KeywordMatcher.h"

#include "search/PairFind.h"
#include "text/Cp932.h"

#include <QHash>

#include <algorithm>

namespace {

// How common a needle's pair of rarest bytes is in text (lower: rarer), by the
// byte ranks the pair search uses; the rarest word drives the scan.
int commonness(const QByteArray &bytes, qsizetype rare1, qsizetype rare2)
{
    const auto rank = [&](qsizetype i) {
        return int(search::kCp932TextRanks[static_cast<unsigned char>(bytes[i])]);
    };
    return rare1 == rare2 ? 2 * rank(rare1) : rank(rare1) + rank(rare2);
}

} // namespace

KeywordMatcher::KeywordMatcher(const QStringList &words)
{
    for (const QString &text : words) {
        if (text.isEmpty())
            continue;
        Word word;
        word.text = text;
        // Lines never hold a CR: it always ends the line.
        const cp932::Encoding encoding =
            text.contains(QLatin1Char('\r')) ? cp932::Encoding{} : cp932::encode(text);
        switch (encoding.form) {
        case cp932::Form::Impossible:
            m_never = true;
            break;
        case cp932::Form::Unique:
            word.exact = true;
            word.needles.push_back(makeNeedle(encoding.bytes));
            m_span = std::max(m_span, encoding.bytes.size());
            break;
        case cp932::Form::Ambiguous:
            word.needles = prefilter(text);
            m_span = std::max(m_span, 2 * text.size()); // at most two bytes a character
            break;
        }
        m_words.push_back(std::move(word));
    }
    // Exact words first, the rarest (then the longest) at the front: it drives
    // the scan. Then the words with a prefilter, the fewest needles first.
    std::stable_sort(m_words.begin(), m_words.end(), [](const Word &a, const Word &b) {
        if (a.exact != b.exact)
            return a.exact;
        if (!a.exact) {
            if (a.needles.empty() != b.needles.empty())
                return b.needles.empty();
            return a.needles.size() < b.needles.size();
        }
        const Needle &na = a.needles.front(), &nb = b.needles.front();
        const int ca = commonness(na.bytes, na.rare1, na.rare2);
        const int cb = commonness(nb.bytes, nb.rare1, nb.rare2);
        if (ca != cb)
            return ca < cb;
        return na.bytes.size() > nb.bytes.size();
    });
    m_primary = !m_words.empty() && !m_words.front().needles.empty();
    if (m_words.empty())
        m_never = true;
    m_seen.assign(m_words.size(), 0);
    for (size_t i = 0; i < m_words.size(); ++i) {
        m_order.push_back(i);
        const Word &word = m_words[i];
        if (word.exact)
            m_sweep.add(int(i), word.needles.front().bytes.constData(),
                        word.needles.front().bytes.size());
    }
}

// The needle's two rarest bytes in text such as this matcher searches.
KeywordMatcher::Needle KeywordMatcher::makeNeedle(const QByteArray &bytes)
{
    Needle needle;
    needle.bytes = bytes;
    search::choosePair(bytes.constData(), bytes.size(), search::kCp932TextRanks, needle.rare1,
                       needle.rare2);
    return needle;
}

// A prefilter for a word with a character of several byte forms: the byte forms
// of the part of the word (a run of characters none of which is U+30FB) whose
// forms are at most kMaxNeedles in number, the longest such part (then the one
// with the fewest forms, then the first). Empty when every character is U+30FB.
//
// Linear in the word's length, however long: one pass finds, for each end, the
// longest part ending there (its start only moves forward); the needles are
// built by appending whole runs of single-form characters.
std::vector<KeywordMatcher::Needle> KeywordMatcher::prefilter(const QString &text)
{
    constexpr qsizetype kMaxNeedles = 8;
    // Characters of one form are looked up in the inverse table; the others (a
    // few hundred exist) have their forms listed once per distinct character.
    QHash<char16_t, QList<QByteArray>> listed;
    auto formsOf = [&listed](char16_t c) -> const QList<QByteArray> & {
        auto it = listed.constFind(c);
        if (it == listed.constEnd())
            it = listed.insert(c, cp932::unitForms(c));
        return *it;
    };
    const qsizetype size = text.size();
    std::vector<qsizetype> counts(static_cast<size_t>(size)); // byte forms of each character
    qsizetype bestStart = 0, bestLength = 0, bestCount = 0;
    qsizetype start = 0, count = 1; // the longest part ending at end, and its forms
    for (qsizetype end = 0; end < size; ++end) {
        const char16_t c = text[end].unicode();
        const qsizetype n = cp932::hasUniqueForm(c) ? 1 : formsOf(c).size();
        counts[size_t(end)] = n;
        if (n == 0) {
            start = end + 1;
            count = 1;
            continue;
        }
        count *= n;
        while (count > kMaxNeedles) // every count in the part is at least 1
            count /= counts[size_t(start++)];
        const qsizetype length = end + 1 - start;
        if (length > bestLength || (length > 0 && length == bestLength && count < bestCount)) {
            bestStart = start;
            bestLength = length;
            bestCount = count;
        }
    }
    std::vector<QByteArray> parts{QByteArray()};
    const QStringView view(text);
    for (qsizetype i = bestStart, stop = bestStart + bestLength; i < stop;) {
        qsizetype j = i;
        while (j < stop && cp932::hasUniqueForm(view[j].unicode()))
            ++j;
        if (j > i) { // a run of single-form characters: one encoding, appended to each part
            const QByteArray run = cp932::encode(view.sliced(i, j - i)).bytes;
            for (QByteArray &part : parts)
                part += run;
            i = j;
            continue;
        }
        std::vector<QByteArray> longer;
        for (const QByteArray &part : parts) {
            for (const QByteArray &form : formsOf(view[i].unicode()))
                longer.push_back(part + form);
        }
        parts = std::move(longer);
        ++i;
    }
    std::vector<Needle> needles;
    if (bestLength > 0) {
        for (const QByteArray &part : parts)
            needles.push_back(makeNeedle(part));
    }
    return needles;
}
