// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/PdfDocument.h"

#include "documents/TextSink.h"

#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-page.h>

#include <algorithm>
#include <cmath>
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

// Vertical writing, as producers lay it out: each character a box of its
// own, the next one below it at the same x. poppler's reading order takes
// such a page for rows across the columns; a page that is mostly such
// stacked characters is read here by columns instead, right to left, each
// column one line.
struct Glyph {
    double x, y, w, h;
    QString text;
};

bool stacked(const Glyph &upper, const Glyph &lower)
{
    return std::abs(upper.x - lower.x) < 0.25 * upper.w && lower.y > upper.y &&
           lower.y - upper.y < 1.6 * std::max(upper.w, upper.h);
}

// The page's lines when it is written vertically; false when it is not.
bool verticalLines(const std::vector<poppler::text_box> &boxes, std::vector<QString> &lines)
{
    std::vector<Glyph> glyphs;
    glyphs.reserve(boxes.size());
    for (const poppler::text_box &box : boxes) {
        const poppler::rectf r = box.bbox();
        glyphs.push_back({r.x(), r.y(), r.width(), r.height(), unitsOf(box.text())});
    }
    // Columns: by x from the right, then top to bottom.
    std::vector<const Glyph *> order;
    for (const Glyph &g : glyphs) {
        if (oneCharacter(g.text) && g.w > 0)
            order.push_back(&g);
    }
    std::sort(order.begin(), order.end(),
              [](const Glyph *a, const Glyph *b) { return a->x > b->x; });
    for (size_t start = 0; start < order.size();) {
        size_t end = start + 1;
        while (end < order.size() &&
               order[start]->x - order[end]->x < 0.25 * std::max(order[start]->w, order[end]->w))
            ++end;
        std::stable_sort(order.begin() + qsizetype(start), order.begin() + qsizetype(end),
                         [](const Glyph *a, const Glyph *b) { return a->y < b->y; });
        start = end;
    }
    qsizetype inColumns = 0;
    for (size_t i = 0; i < order.size(); ++i) {
        const bool above = i > 0 && stacked(*order[i - 1], *order[i]);
        const bool below = i + 1 < order.size() && stacked(*order[i], *order[i + 1]);
        inColumns += above || below;
    }
    if (inColumns < 2 || inColumns * 10 < qsizetype(glyphs.size()) * 6)
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
    for (const Glyph &g : glyphs) {
        if (!oneCharacter(g.text) || g.w <= 0)
            lines.push_back(g.text);
    }
    return true;
}

// The page's lines in poppler's reading order: its words come line by line,
// and a word that does not continue the line of the one before (lower or
// higher on the page, or back to the left) starts the next line. Words are
// joined with a space where poppler saw one.
void horizontalLines(const std::vector<poppler::text_box> &boxes, std::vector<QString> &lines)
{
    QString line;
    poppler::rectf last;
    bool space = false;
    for (const poppler::text_box &box : boxes) {
        const poppler::rectf r = box.bbox();
        const bool sameLine =
            !line.isEmpty() &&
            std::abs(r.y() - last.y()) < 0.5 * std::min(r.height(), last.height()) &&
            r.x() >= last.x();
        if (!line.isEmpty() && !sameLine) {
            lines.push_back(line);
            line.clear();
        } else if (space) {
            line += u' ';
        }
        line += unitsOf(box.text());
        space = box.has_space_after();
        last = r;
    }
    if (!line.isEmpty())
        lines.push_back(line);
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
        if (!verticalLines(boxes, lines))
            horizontalLines(boxes, lines);
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
