// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/PdfDocument.h"

#include "documents/TextSink.h"

#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-page.h>

#include <memory>

namespace documents {

namespace {

void quiet(const std::string &, void *) {}

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
        const poppler::ustring text =
            page->text(poppler::rectf(), poppler::page::non_raw_non_physical_layout);
        const QString units = QString::fromUtf16(reinterpret_cast<const char16_t *>(text.data()),
                                                 qsizetype(text.size()));
        for (QStringView line : QStringView(units).tokenize(u'\n')) {
            // Lines end in CR-LF or LF; a form feed ends the page.
            while (!line.isEmpty() && (line.back() == u'\r' || line.back() == u'\f'))
                line.chop(1);
            if (line.isEmpty())
                continue;
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
