// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/PdfDocument.h"

#include "documents/TextSink.h"

#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-page.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

namespace documents {

namespace {

void quiet(const std::string &, void *) {}

QString unitsOf(const poppler::ustring &text)
{
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(text.data()),
                              qsizetype(text.size()));
}

bool oneCharacter(const QString &text)
{
    return text.size() == 1 || (text.size() == 2 && text.at(0).isHighSurrogate());
}

// Japanese script as lines are set in it: kana, kanji, the ideographic
// punctuation and the full-width forms (a surrogate is taken for a kanji of
// the supplementary planes).
bool japanese(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x3000 && u <= 0x30FF) || (u >= 0x3400 && u <= 0x9FFF) ||
           (u >= 0xF900 && u <= 0xFAFF) || (u >= 0xFE10 && u <= 0xFE4F) ||
           (u >= 0xFF00 && u <= 0xFFEF) || c.isSurrogate();
}

bool allJapanese(const QString &text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), japanese);
}

// The forms punctuation takes in vertical writing (U+FE10-FE19, U+FE30-FE48),
// as the user types them: 「︑」 reads as 「、」.
void uprightForms(QString &line)
{
    for (QChar &c : line) {
        const char16_t u = c.unicode();
        if ((u >= 0xFE10 && u <= 0xFE19) || (u >= 0xFE30 && u <= 0xFE48)) {
            const QString plain = c.decomposition();
            if (plain.size() == 1)
                c = plain.at(0);
        }
    }
}

// Right-to-left scripts: Hebrew, Arabic, Syriac, Thaana, N'Ko and their
// neighbours (U+0590-08FF), the Hebrew and Arabic presentation forms, and
// the right-to-left blocks of the supplementary planes (U+10800-10FFF,
// U+1E800-1EFFF, known by their high surrogates). A line holding none is
// left exactly as poppler gave it.
bool rightToLeft(char16_t u)
{
    if (u < 0x0590)
        return false;
    if (u <= 0x08FF)
        return true;
    if (u < 0xD802) // kana, kanji
        return false;
    return u <= 0xD803 || u == 0xD83A || u == 0xD83B || (u >= 0xFB1D && u <= 0xFDFF) ||
           (u >= 0xFE70 && u <= 0xFEFE);
}

bool holdsRightToLeft(const QString &line)
{
    return std::any_of(line.begin(), line.end(), [](QChar c) { return rightToLeft(c.unicode()); });
}

// A character as the bidirectional rules class it: strong left to right,
// strong right to left, a number (written left to right whatever the
// script around it), or neutral (spaces, punctuation: they take the
// direction of the text around them).
enum class Bidi : char { Left, Right, Number, Neutral };

// A character with the marks set on it (harakat, shadda, niqqud): it
// moves as one. In visual order a right-to-left shaper draws a mark before
// its base (the next character to its right); a mark that ends a word has
// no base after it and belongs to the character before it.
struct Cluster {
    qsizetype start, size;
    qsizetype marksFirst; // marks before the base
    Bidi bidi;
};

bool isMark(QChar c)
{
    const QChar::Category category = c.category();
    return category == QChar::Mark_NonSpacing || category == QChar::Mark_Enclosing ||
           category == QChar::Mark_SpacingCombining;
}

Bidi bidiOf(char32_t c)
{
    switch (QChar::direction(c)) {
    case QChar::DirL:
        return Bidi::Left;
    case QChar::DirR:
    case QChar::DirAL:
        return Bidi::Right;
    case QChar::DirEN:
    case QChar::DirAN:
        return Bidi::Number;
    default:
        return Bidi::Neutral;
    }
}

std::vector<Cluster> clustersOf(const QString &line)
{
    std::vector<Cluster> clusters;
    clusters.reserve(size_t(line.size()));
    for (qsizetype i = 0; i < line.size();) {
        const qsizetype start = i;
        while (i < line.size() && isMark(line.at(i)))
            ++i;
        const qsizetype marks = i - start;
        if (marks > 0 && (i == line.size() || line.at(i).isSpace())) {
            if (clusters.empty())
                clusters.push_back({start, marks, 0, Bidi::Neutral});
            else
                clusters.back().size += marks;
            continue;
        }
        char32_t c = line.at(i++).unicode();
        if (QChar::isHighSurrogate(c) && i < line.size() && line.at(i).isLowSurrogate())
            c = QChar::surrogateToUcs4(char16_t(c), line.at(i++).unicode());
        clusters.push_back({start, i - start, marks, bidiOf(c)});
    }
    return clusters;
}

// Clusters [begin, end) of a line in visual order, set right to left, onto
// `out` in the order they were written: from the right, except that runs
// of left-to-right text and numbers (with the spaces and punctuation
// between them) keep their own order. Brackets and quotes in the
// right-to-left text are drawn mirrored (see below).
void appendRightToLeft(const QString &line, const std::vector<Cluster> &clusters, size_t begin,
                       size_t end, QString &out)
{
    // A neutral between two left-to-right (or number) clusters keeps their
    // order; one in a word (no space between) of one direction takes it.
    std::vector<bool> forward(end - begin, false);
    bool afterLeft = false;
    for (size_t i = begin; i < end; ++i) {
        if (clusters[i].bidi != Bidi::Neutral)
            afterLeft = clusters[i].bidi != Bidi::Right;
        forward[i - begin] = afterLeft;
    }
    bool beforeLeft = false;
    for (size_t i = end; i > begin; --i) {
        const Cluster &c = clusters[i - 1];
        if (c.bidi != Bidi::Neutral)
            beforeLeft = c.bidi != Bidi::Right;
        else
            forward[i - 1 - begin] = forward[i - 1 - begin] && beforeLeft;
    }
    const auto space = [&](const Cluster &c) { return line.at(c.start).isSpace(); };
    for (size_t i = begin; i < end;) {
        if (space(clusters[i])) {
            ++i;
            continue;
        }
        size_t wordEnd = i;
        bool left = false, right = false;
        for (; wordEnd < end && !space(clusters[wordEnd]); ++wordEnd) {
            left = left || clusters[wordEnd].bidi == Bidi::Left ||
                   clusters[wordEnd].bidi == Bidi::Number;
            right = right || clusters[wordEnd].bidi == Bidi::Right;
        }
        if (left != right) {
            for (; i < wordEnd; ++i)
                forward[i - begin] = left;
        }
        i = wordEnd;
    }
    std::vector<qsizetype> mirrored; // brackets, quotes set right to left
    for (size_t i = end; i > begin;) {
        if (!forward[i - 1 - begin]) {
            const Cluster &c = clusters[--i];
            if (c.bidi == Bidi::Neutral && line.at(c.start + c.marksFirst).hasMirrored())
                mirrored.push_back(out.size());
            out += QStringView(line).mid(c.start + c.marksFirst, c.size - c.marksFirst);
            out += QStringView(line).mid(c.start, c.marksFirst);
            continue;
        }
        size_t j = i - 1;
        while (j > begin && forward[j - 1 - begin])
            --j;
        out += QStringView(line).mid(
            clusters[j].start, clusters[i - 1].start + clusters[i - 1].size - clusters[j].start);
        i = j;
    }
    // Some producers name a bracket by the character typed ("(" drawn as
    // ")" at the right of the run), others by the glyph drawn: read so, the
    // run would close a bracket before it opens one.
    if (!mirrored.empty()) {
        const QChar::Category first = out.at(mirrored.front()).category();
        if (first == QChar::Punctuation_Close || first == QChar::Punctuation_FinalQuote) {
            for (qsizetype at : mirrored)
                out[at] = out.at(at).mirroredChar();
        }
    }
}

// A line holding right-to-left text, from visual order (the order of the
// words on the page, left to right, each word's characters as drawn) into
// the order it was written and is read: a right-to-left line from the
// right; in a left-to-right line each right-to-left run (up to the next
// left-to-right letter) from its right. Presentation forms (the Arabic
// letters' initial, medial and final shapes, ligatures) are read as the
// letters typed.
QString logicalOrder(const QString &line, const std::function<bool()> &rightToLeftPage)
{
    const std::vector<Cluster> clusters = clustersOf(line);
    // A paragraph's direction is that of its first letter: the rightmost
    // for one set right to left, the leftmost for one set left to right.
    // When both are right to left, or both left to right, only one reading
    // agrees; otherwise the page's main direction decides.
    const auto strong = [](const Cluster &c) {
        return c.bidi == Bidi::Left || c.bidi == Bidi::Right;
    };
    const auto leftmost = std::find_if(clusters.begin(), clusters.end(), strong);
    const auto rightmost = std::find_if(clusters.rbegin(), clusters.rend(), strong);
    if (leftmost == clusters.end())
        return line;
    const bool rightToLeftLine =
        leftmost->bidi == rightmost->bidi ? leftmost->bidi == Bidi::Right : rightToLeftPage();
    QString out;
    out.reserve(line.size());
    if (rightToLeftLine) {
        appendRightToLeft(line, clusters, 0, clusters.size(), out);
    } else {
        for (size_t i = 0; i < clusters.size();) {
            if (clusters[i].bidi != Bidi::Right) {
                out += QStringView(line).mid(clusters[i].start, clusters[i].size);
                ++i;
                continue;
            }
            size_t end = i + 1;
            for (size_t j = i + 1; j < clusters.size() && clusters[j].bidi != Bidi::Left; ++j) {
                if (clusters[j].bidi == Bidi::Right)
                    end = j + 1;
            }
            appendRightToLeft(line, clusters, i, end, out);
            i = end;
        }
    }
    QString typed;
    typed.reserve(out.size());
    for (QChar c : out) {
        const char16_t u = c.unicode();
        if ((u >= 0xFB1D && u <= 0xFDFF) || (u >= 0xFE70 && u <= 0xFEFE))
            typed += QString(c).normalized(QString::NormalizationForm_KC);
        else
            typed += c;
    }
    return typed;
}

// A page's lines in the order they are read. The page's main direction (by
// which letters are more of it) is counted only when a line needs it.
void readingOrder(std::vector<QString> &lines)
{
    int rightToLeftPage = -1; // not yet known
    const auto pageDirection = [&] {
        if (rightToLeftPage < 0) {
            qsizetype left = 0, right = 0;
            for (const QString &line : lines) {
                for (QChar c : line) {
                    const QChar::Direction d = c.direction();
                    left += d == QChar::DirL;
                    right += d == QChar::DirR || d == QChar::DirAL;
                }
            }
            rightToLeftPage = right > left;
        }
        return rightToLeftPage == 1;
    };
    for (QString &line : lines) {
        if (holdsRightToLeft(line))
            line = logicalOrder(line, pageDirection);
    }
}

// A word as the line it sits in sees it, whatever way it is written: `along`
// runs with the text (left to right, or down a vertical column), `across`
// from one line to the next (down the page, or leftwards across columns).
// poppler gives each word the direction of its glyphs (rotation() 1 for a
// vertical font's column as for text turned a quarter), so vertical writing
// comes from the file, not from the boxes' shapes.
struct Word {
    double along0, along1, across0, across1;
    int rotation;
    bool spaceAfter;
    QString text;
    double size() const { return across1 - across0; }
};

// The Arabic lam-alef ligature, one glyph for two letters, is named by some
// producers in the order typed (lam, alef) amid letters in visual order
// (LibreOffice). poppler splits such a glyph's width evenly between its
// letters: a lam and an alef of exactly one width side by side are that
// glyph, and are put in visual order (alef, lam) like the letters around.
void lamAlefInVisualOrder(const poppler::text_box &box, QString &text)
{
    const auto alef = [](QChar c) {
        const char16_t u = c.unicode();
        return u == 0x0622 || u == 0x0623 || u == 0x0625 || u == 0x0627;
    };
    if (box.text().size() != size_t(text.size()))
        return;
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text.at(i).unicode() != 0x0644 || !alef(text.at(i + 1)))
            continue;
        const poppler::rectf lam = box.char_bbox(size_t(i)), next = box.char_bbox(size_t(i + 1));
        if (std::abs(lam.width() - next.width()) < 1e-3 * (lam.width() + next.width()) &&
            std::abs(lam.x() + lam.width() - next.x()) < 1e-3 * (lam.width() + next.width())) {
            std::swap(text[i], text[i + 1]);
            ++i;
        }
    }
}

Word wordOf(const poppler::text_box &box)
{
    const poppler::rectf r = box.bbox();
    const double x0 = r.x(), x1 = r.x() + r.width(), y0 = r.y(), y1 = r.y() + r.height();
    Word w{x0, x1, y0, y1, box.rotation() & 3, box.has_space_after(), unitsOf(box.text())};
    switch (w.rotation) {
    case 1: // down the page, columns from right to left
        w = {y0, y1, -x1, -x0, 1, w.spaceAfter, std::move(w.text)};
        break;
    case 2: // upside down
        w = {-x1, -x0, -y1, -y0, 2, w.spaceAfter, std::move(w.text)};
        break;
    case 3: // up the page, columns from left to right
        w = {-y1, -y0, x0, x1, 3, w.spaceAfter, std::move(w.text)};
        break;
    default:
        break;
    }
    return w;
}

// Two words in one line: written the same way, and each spans most of the
// other's height across the line (a baseline shared by a Japanese and a
// Latin font, or by small line numbers and the code they number, keeps
// their boxes overlapping while their tops differ).
bool sameLine(const Word &a, const Word &b)
{
    if (a.rotation != b.rotation)
        return false;
    const double overlap = std::min(a.across1, b.across1) - std::max(a.across0, b.across0);
    return overlap > 0.5 * std::min(a.size(), b.size());
}

// Ruby: small kana (or kanji) set just before its Japanese base across the
// line (above horizontal text, right of a vertical column), over some of the
// base's length. It is a reading aid, not the text, and is left out, so the
// base line stays whole. (Boxes of Latin letters are measured by another
// font's height: a line of small Japanese above them is not ruby.)
bool isRuby(const Word &ruby, const Word &base)
{
    if (ruby.rotation != base.rotation || ruby.size() > 0.6 * base.size() ||
        !std::any_of(base.text.begin(), base.text.end(), japanese))
        return false;
    const bool over = ruby.along0 < base.along1 && base.along0 < ruby.along1;
    const double rubyMiddle = 0.5 * (ruby.across0 + ruby.across1);
    return over && rubyMiddle < base.across0 + 0.25 * base.size() &&
           ruby.across1 > base.across0 - ruby.size();
}

// Which words are ruby. Each candidate (Japanese, small) is held against the
// words that start across the line just after it, found by bisection in the
// words sorted across: a line of ruby comes before its base line in reading
// order, some dozens of words ahead of it.
std::vector<bool> rubyOf(const std::vector<Word> &words)
{
    std::vector<bool> ruby(words.size(), false);
    std::vector<const Word *> across;
    across.reserve(words.size());
    for (const Word &w : words)
        across.push_back(&w);
    std::sort(across.begin(), across.end(), [](const Word *a, const Word *b) {
        return a->rotation != b->rotation ? a->rotation < b->rotation : a->across0 < b->across0;
    });
    for (size_t i = 0; i < words.size(); ++i) {
        const Word &w = words[i];
        if (!allJapanese(w.text))
            continue;
        // A base starts at most a few ruby sizes after the ruby starts.
        const Word low{0, 0, w.across0 - 2 * w.size(), 0, w.rotation, false, {}};
        auto it =
            std::lower_bound(across.begin(), across.end(), &low, [](const Word *a, const Word *b) {
                return a->rotation != b->rotation ? a->rotation < b->rotation
                                                  : a->across0 < b->across0;
            });
        const double high = w.across1 + w.size();
        for (; it != across.end() && (*it)->rotation == w.rotation && (*it)->across0 < high; ++it) {
            if (isRuby(w, **it)) {
                ruby[i] = true;
                break;
            }
        }
    }
    return ruby;
}

// Between two words of a line: a space where the gap is wide, or where
// poppler saw one unless a side is Japanese. Japanese is written without
// spaces; the narrow gap a typesetter leaves between it and Latin letters or
// digits (「第5項」, which poppler reads 「第 5 項」), or stretches between
// the characters of a justified line, is not one the author typed.
inline bool spaceBetween(const Word &before, const Word &after)
{
    const double gap = after.along0 - before.along1;
    if (gap > 0.6 * std::min(before.size(), after.size()))
        return true;
    return before.spaceAfter && !japanese(before.text.back()) && !japanese(after.text.front());
}

// A word broken with a hyphen at the end of a line and going on at the start
// of the next: the line reads on with the word whole, as a reader reads it
// (and as pdftotext writes it). Only where the hyphen follows a letter of a
// script with case and the next part is in lower case (a dash after a
// space, a name's capital, Japanese are left as they are), and the next line
// is the one right below, in the same column.
bool isHyphen(QChar c)
{
    return c == u'-' || c == QChar(0x2010) || c == QChar(0x00AD);
}

bool brokenWord(const QString &line, const Word &last, const Word &next)
{
    if (line.size() < 2 || !isHyphen(line.back()) || next.text.isEmpty() ||
        next.rotation != last.rotation || !next.text.front().isLower())
        return false;
    const QChar before = line.at(line.size() - 2);
    if (!before.isLetter() || japanese(before))
        return false;
    // One line further (top to top, a line's step; an empty line between is
    // twice that), back at the column's start, or no further on than the broken word
    // (a narrow column holds a word a line).
    return next.across0 > last.across0 && next.along0 < last.along1 &&
           next.across0 - last.across0 < 1.4 * last.size();
}

bool rightToLeftMarks(const QString &text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        return rightToLeft(c.unicode()) && c.category() == QChar::Mark_NonSpacing;
    });
}

// Between two words on a page with right-to-left text. After a mark drawn
// apart poppler's space is about the mark, and next to one (LibreOffice's
// ezafe) it sees none between words a fifth of the size apart: between
// right-to-left words the gap decides too, a fifth of the size being a
// word space.
bool rightToLeftSpace(const Word &before, const Word &after, bool afterMark)
{
    const double gap = after.along0 - before.along1;
    if (afterMark)
        return gap > 0.2 * before.size();
    return spaceBetween(before, after) ||
           (gap > 0.2 * std::max(before.size(), after.size()) && holdsRightToLeft(before.text) &&
            holdsRightToLeft(after.text));
}

// A mark drawn apart (a word of its own, of no width) can come in poppler's
// order away from the word it is drawn over, even at the head of the next
// piece of its line: it is moved after that word (the nearest one in
// reading order, on its line, of right-to-left letters, whose box holds
// it), where joinLines puts it among the letters.
void marksAfterTheirWords(std::vector<const Word *> &words)
{
    const qsizetype n = qsizetype(words.size());
    std::vector<std::vector<const Word *>> after(words.size());
    std::vector<bool> moved(words.size(), false);
    bool any = false;
    const auto holds = [](const Word &w, const Word &mark) {
        return w.along1 > w.along0 && sameLine(w, mark) &&
               w.along0 - 0.05 * w.size() <= mark.along0 && mark.along0 <= w.along1 &&
               holdsRightToLeft(w.text);
    };
    for (qsizetype i = 0; i < n; ++i) {
        const Word &mark = *words[size_t(i)];
        if (mark.along1 > mark.along0 || !rightToLeftMarks(mark.text))
            continue;
        for (qsizetype d = 1; d <= 64; ++d) {
            const qsizetype j = i - d >= 0 && holds(*words[size_t(i - d)], mark)  ? i - d
                                : i + d < n && holds(*words[size_t(i + d)], mark) ? i + d
                                                                                  : -1;
            if (j >= 0) {
                after[size_t(j)].push_back(&mark);
                moved[size_t(i)] = true;
                any = true;
                break;
            }
        }
    }
    if (!any)
        return;
    std::vector<const Word *> out;
    out.reserve(words.size());
    for (size_t i = 0; i < words.size(); ++i) {
        if (!moved[i])
            out.push_back(words[i]);
        out.insert(out.end(), after[i].begin(), after[i].end());
    }
    words.swap(out);
}

// Words into lines: a word that is not in the line of the one before, or
// goes back against the writing, or follows it after more than `maxGap`
// times its size, starts the next line. On a page with right-to-left text
// poppler may give a line in pieces, its right part first: a piece on the
// same baseline wholly to the left of the line so far, both holding
// right-to-left letters, goes before it (lines are in visual order here).
template <bool rightToLeftPage>
void joinLines(const std::vector<const Word *> &words, double maxGap, std::vector<QString> &lines)
{
    QString line, right; // right: the pieces read before, right of `line`
    const Word *last = nullptr, *first = nullptr, *rightFirst = nullptr;
    bool afterMark = false;
    const auto seam = [&] {
        // poppler split the line at a space, whose width it measured.
        return rightFirst->along0 - last->along1 > 0.05 * last->size() ? QStringLiteral(" ")
                                                                       : QString();
    };
    const auto finished = [&] { return right.isEmpty() ? line : line + seam() + right; };
    for (const Word *word : words) {
        // A mark drawn as a word of its own and no width, over a letter of
        // the word before (a shadda LibreOffice sets apart), goes before that
        // letter, where a right-to-left shaper would have drawn it; the
        // spacing stays the letters' business.
        if (rightToLeftPage && last && word->along1 <= word->along0 && sameLine(*last, *word) &&
            word->along0 >= last->along0 - 0.05 * last->size() && word->along0 <= last->along1 &&
            rightToLeftMarks(word->text) && holdsRightToLeft(last->text)) {
            // The letters of the word before lie evenly over its box.
            // (A box of no width, or of no finite one, puts it first.)
            const qsizetype n = last->text.size();
            double share = (word->along0 - last->along0) / (last->along1 - last->along0);
            if (!(share > 0)) // NaN too
                share = 0;
            const qsizetype at = std::min(qsizetype(std::min(share, 1.0) * double(n)), n - 1);
            line.insert(line.size() - n + at, word->text);
            afterMark = true;
            continue;
        }
        const bool continues =
            last && sameLine(*last, *word) && word->along0 >= last->along0 - 0.25 * last->size() &&
            word->along0 - last->along1 <= maxGap * std::max(last->size(), word->size());
        if (rightToLeftPage && last && !continues && sameLine(*last, *word) &&
            word->along1 <= first->along0 + 0.25 * word->size() && holdsRightToLeft(word->text) &&
            holdsRightToLeft(line)) {
            right = finished();
            rightFirst = first;
            line.clear();
        } else if (!rightToLeftPage && last && !continues && brokenWord(line, *last, *word)) {
            line.chop(1); // the hyphen; the word goes on with no space
        } else if (last && !continues) {
            lines.push_back(rightToLeftPage ? finished() : line);
            line.clear();
            right.clear();
        } else if (last && (rightToLeftPage ? rightToLeftSpace(*last, *word, afterMark)
                                            : spaceBetween(*last, *word))) {
            line += u' ';
        }
        if (rightToLeftPage && line.isEmpty())
            first = word;
        line += word->text;
        last = word;
        afterMark = false;
    }
    if (last)
        lines.push_back(rightToLeftPage ? finished() : line);
}

void joinLines(const std::vector<const Word *> &words, double maxGap, bool rightToLeftPage,
               std::vector<QString> &lines)
{
    if (rightToLeftPage)
        joinLines<true>(words, maxGap, lines);
    else
        joinLines<false>(words, maxGap, lines);
}

// Vertical writing where the file does not say so: some producers set each
// character upright as a box of its own, the next one below it at the same
// x, in a horizontal font. poppler's reading order takes such a page for rows
// across the columns; a page that is mostly such stacked Japanese characters
// is read here by columns instead, right to left, each column one line.
// Only Japanese characters count: dot leaders and page numbers stacked down
// a table of contents or an index are not vertical writing.
bool stacked(const Word &upper, const Word &lower)
{
    const double w = upper.along1 - upper.along0;
    return std::abs(upper.along0 - lower.along0) < 0.25 * w && lower.across0 > upper.across0 &&
           lower.across0 - upper.across0 < 1.6 * std::max(w, upper.size());
}

// The page's lines when it is so written; false when it is not. The words
// are all written left to right (rotation 0).
bool uprightColumns(const std::vector<Word> &words, std::vector<QString> &lines)
{
    const auto single = std::count_if(words.begin(), words.end(),
                                      [](const Word &w) { return oneCharacter(w.text); });
    if (single * 10 < qsizetype(words.size()) * 6)
        return false; // most boxes are words: horizontal text
    // Columns: by x from the right, then top to bottom.
    std::vector<const Word *> order;
    for (const Word &g : words) {
        if (oneCharacter(g.text) && g.along1 > g.along0)
            order.push_back(&g);
    }
    const auto width = [](const Word *g) { return g->along1 - g->along0; };
    std::sort(order.begin(), order.end(),
              [](const Word *a, const Word *b) { return a->along0 > b->along0; });
    for (size_t start = 0; start < order.size();) {
        size_t end = start + 1;
        while (end < order.size() && order[start]->along0 - order[end]->along0 <
                                         0.25 * std::max(width(order[start]), width(order[end])))
            ++end;
        std::stable_sort(order.begin() + qsizetype(start), order.begin() + qsizetype(end),
                         [](const Word *a, const Word *b) { return a->across0 < b->across0; });
        start = end;
    }
    qsizetype inColumns = 0;
    for (size_t i = 0; i < order.size(); ++i) {
        const bool above = i > 0 && stacked(*order[i - 1], *order[i]);
        const bool below = i + 1 < order.size() && stacked(*order[i], *order[i + 1]);
        inColumns += (above || below) && japanese(order[i]->text.at(0));
    }
    if (inColumns < 2 || inColumns * 10 < qsizetype(words.size()) * 6)
        return false;
    QString line;
    for (size_t i = 0; i < order.size(); ++i) {
        if (i > 0 && !stacked(*order[i - 1], *order[i]) && !line.isEmpty()) {
            lines.push_back(line);
            line.clear();
        }
        line += order[i]->text;
    }
    if (!line.isEmpty())
        lines.push_back(line);
    // What is not one character (a heading across the page, a page number
    // of two digits) follows, a line each, in poppler's order.
    for (const Word &g : words) {
        if (!oneCharacter(g.text) || g.along1 <= g.along0)
            lines.push_back(g.text);
    }
    return true;
}

// The page's lines. Text written left to right comes in poppler's reading
// order (it follows columns and blocks). Text written any other way (vertical
// columns, text turned on the page) is laid out here by position: lines in
// order across (columns right to left), each line's words along it.
// True when the page holds right-to-left letters: its lines are then in
// visual order and need readingOrder().
bool pageLines(const std::vector<poppler::text_box> &boxes, std::vector<QString> &lines)
{
    std::vector<Word> words;
    words.reserve(boxes.size());
    for (const poppler::text_box &box : boxes) {
        words.push_back(wordOf(box));
        if (words.back().text.isEmpty())
            words.pop_back();
    }
    const bool rightToLeftAny = std::any_of(words.begin(), words.end(),
                                            [](const Word &w) { return holdsRightToLeft(w.text); });
    if (rightToLeftAny) {
        // words[i] is the i-th box that has text.
        size_t i = 0;
        for (const poppler::text_box &box : boxes) {
            if (box.text().empty())
                continue;
            if (words[i].text.contains(QChar(0x0644)))
                lamAlefInVisualOrder(box, words[i].text);
            ++i;
        }
    }
    const bool turnedAny =
        std::any_of(words.begin(), words.end(), [](const Word &w) { return w.rotation != 0; });
    if (!turnedAny && uprightColumns(words, lines))
        return rightToLeftAny;
    const std::vector<bool> ruby = rubyOf(words);
    std::vector<const Word *> reading, turned;
    reading.reserve(words.size());
    for (size_t i = 0; i < words.size(); ++i) {
        if (!ruby[i])
            (words[i].rotation == 0 ? reading : turned).push_back(&words[i]);
    }
    // Far apart in one line of reading order are table cells: one line.
    if (rightToLeftAny)
        marksAfterTheirWords(reading);
    joinLines(reading, std::numeric_limits<double>::infinity(), rightToLeftAny, lines);
    if (turned.empty())
        return rightToLeftAny;
    // By rotation, then across; a word whose span across overlaps the
    // line's joins it; each line's words in order along it.
    std::stable_sort(turned.begin(), turned.end(), [](const Word *a, const Word *b) {
        if (a->rotation != b->rotation)
            return a->rotation < b->rotation;
        return a->across0 < b->across0;
    });
    std::vector<const Word *> ordered;
    ordered.reserve(turned.size());
    for (size_t start = 0; start < turned.size();) {
        size_t end = start + 1;
        double across1 = turned[start]->across1;
        while (end < turned.size() && turned[end]->rotation == turned[start]->rotation) {
            const Word &w = *turned[end];
            const double overlap = across1 - w.across0;
            if (overlap <= 0.5 * std::min(w.size(), across1 - turned[start]->across0))
                break;
            across1 = std::max(across1, w.across1);
            ++end;
        }
        std::stable_sort(turned.begin() + qsizetype(start), turned.begin() + qsizetype(end),
                         [](const Word *a, const Word *b) { return a->along0 < b->along0; });
        ordered.insert(ordered.end(), turned.begin() + qsizetype(start),
                       turned.begin() + qsizetype(end));
        start = end;
    }
    const size_t first = lines.size();
    // Far apart in one column are blocks one above the other.
    joinLines(ordered, 1.5, rightToLeftAny, lines);
    for (size_t i = first; i < lines.size(); ++i)
        uprightForms(lines[i]);
    return rightToLeftAny;
}

} // namespace

ReadResult readPdfDocument(QByteArrayView bytes, const Limits &limits)
{
    // poppler's complaints about a damaged file are for a debugging session,
    // not for the user's terminal.
    poppler::set_debug_error_function(quiet, nullptr);
    // poppler takes the bytes as writable but only reads them.
    std::unique_ptr<poppler::document> document(poppler::document::load_from_raw_data(
        bytes.data(), int(qMin<qsizetype>(bytes.size(), 0x7fffffff))));
    if (!document)
        return {Failure::Damaged, QStringLiteral("damaged PDF"), {}};
    if (document->is_locked())
        return {Failure::Encrypted, QStringLiteral("encrypted"), {}};
    TextSink sink(Kind::Pdf, limits);
    const int pages = document->pages();
    for (int i = 0; i < pages && !sink.overLimit(); ++i) {
        sink.beginPart(QString::number(i + 1) + QStringLiteral(" ページ"));
        std::unique_ptr<poppler::page> page(document->create_page(i));
        if (!page)
            continue; // a page the tree names but that is not there
        const std::vector<poppler::text_box> boxes = page->text_list();
        std::vector<QString> lines;
        if (pageLines(boxes, lines))
            readingOrder(lines);
        for (const QString &line : lines) {
            sink.append(line);
            sink.endLine();
        }
    }
    if (sink.overLimit())
        return {Failure::OverLimit,
                QStringLiteral("over the %1 MiB text limit").arg(limits.textUnits * 2 >> 20),
                {}};
    return {Failure::None, {}, sink.take()};
}

} // namespace documents
