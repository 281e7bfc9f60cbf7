// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/OpenDocument.h"

#include "documents/NumberFormat.h"
#include "documents/XmlParts.h"

#include <algorithm>

namespace documents {

namespace {

using Token = QXmlStreamReader::TokenType;

// Elements whose content the reader never sees as text: tracked changes
// (the deleted text lives there), ruby text, a note's number, the author and
// date of a comment, a frame's alternative text, forms and declarations.
bool isHidden(const XmlPart &part, QStringView name)
{
    // dc:creator, dc:date, svg:title, svg:desc; text:date and text:title are fields that show
    if (name == u"creator" || name == u"date" || name == u"title" || name == u"desc")
        return part.namespaceUri() != u"urn:oasis:names:tc:opendocument:xmlns:text:1.0";
    static constexpr const char16_t *kHidden[] = {
        u"tracked-changes", u"ruby-text",        u"note-citation",    u"forms",
        u"scripts",         u"font-face-decls",  u"automatic-styles", u"sequence-decls",
        u"variable-decls",  u"user-field-decls", u"page-thumbnail",   u"event-listeners"};
    return std::any_of(std::begin(kHidden), std::end(kHidden),
                       [&](const char16_t *hidden) { return name == QStringView(hidden); });
}

qint64 countAttribute(XmlPart &part, QStringView name)
{
    const QStringView value = part.attribute(name);
    if (value.isEmpty())
        return 1;
    bool ok = false;
    const qint64 n = value.toLongLong(&ok);
    return ok && n > 0 ? n : 1;
}

// A table cell's value from its attributes, kept until its end: a cell
// that holds no paragraph shows it (a producer need not write the shown text).
struct CellValue {
    int paragraphsBefore = 0;
    QString type;
    QString value; // buffers reused from cell to cell

    void take(const XmlPart &part, int paragraphs)
    {
        paragraphsBefore = paragraphs;
        type.resize(0);
        value.resize(0);
        const QStringView t = part.attribute(u"value-type");
        type.append(t);
        value.append(part.attribute(t.isEmpty() || t == u"string" ? u"string-value"
                                    : t == u"boolean"             ? u"boolean-value"
                                    : t == u"date"                ? u"date-value"
                                    : t == u"time"                ? u"time-value"
                                                                  : u"value"));
    }
    QString shown() const
    {
        if (type.isEmpty() || type == u"string")
            return value;
        if (type == u"boolean")
            return value == u"true" || value == u"1" ? QStringLiteral("TRUE")
                                                     : QStringLiteral("FALSE");
        if (type == u"date")
            return QString(value).replace(u'T', u' ');
        if (type == u"time")
            return value;
        double number = 0;
        if (!parseNumber(value, &number))
            return {};
        if (type == u"percentage")
            return generalNumber(number * 100) + u'%';
        return generalNumber(number);
    }
};

enum class Walk { Content, MasterStyles };

void readPart(XmlPart &part, Kind kind, Walk walk, LineBuilder &lines)
{
    constexpr qint64 kMaxSpaces = 1024;
    int paragraphs = 0; // text:p and text:h open
    int tables = 0;
    int slides = 0;
    bool inMaster = walk == Walk::Content;
    const bool sheet = kind == Kind::OpenDocumentSpreadsheet;
    int paragraphsSeen = 0;
    std::vector<CellValue> cells; // [0, openCells): the open table cells
    size_t openCells = 0;
    for (Token token = part.next(); token != Token::Invalid && !lines.overLimit();
         token = part.next()) {
        if (token == Token::Characters) {
            if (paragraphs > 0 && inMaster)
                lines.text(part.xml().text());
            continue;
        }
        const QStringView name = part.name();
        if (token == Token::EndElement) {
            if (name == u"p" || name == u"h") {
                --paragraphs;
                lines.endParagraph();
            } else if (name == u"table-row") {
                lines.endRow();
            } else if (sheet && (name == u"table-cell" || name == u"covered-table-cell") &&
                       openCells > 0) {
                const CellValue &cell = cells[--openCells];
                if (cell.paragraphsBefore == paragraphsSeen && !cell.value.isEmpty()) {
                    lines.beginParagraph();
                    lines.text(cell.shown());
                    lines.endParagraph();
                }
            } else if (name == u"table") {
                --tables;
            } else if (name == u"master-styles") {
                inMaster = walk == Walk::Content;
            }
            continue;
        }
        if (token != Token::StartElement)
            continue;
        if (isHidden(part, name) || (sheet && name == u"annotation")) {
            part.skipElement();
        } else if (name == u"p" || name == u"h") {
            ++paragraphs;
            ++paragraphsSeen;
            lines.beginParagraph();
        } else if (name == u"s") {
            if (paragraphs > 0 && inMaster)
                lines.text(QString(int(std::min(countAttribute(part, u"c"), kMaxSpaces)), u' '));
        } else if (name == u"tab") {
            if (paragraphs > 0 && inMaster)
                lines.unit(u'\t');
        } else if (name == u"line-break") {
            if (paragraphs > 0 && inMaster)
                lines.unit(u' ');
        } else if (name == u"table-row") {
            // A repeated row is read once.
            lines.beginRow();
        } else if (name == u"table-cell" || name == u"covered-table-cell") {
            // A repeated cell is read once; it counts for all its columns.
            lines.beginCell(countAttribute(part, u"number-columns-repeated"));
            if (sheet) {
                if (openCells == cells.size())
                    cells.emplace_back();
                cells[openCells++].take(part, paragraphsSeen);
            }
        } else if (name == u"table") {
            if (sheet && tables == 0 && walk == Walk::Content)
                lines.beginPart(part.attribute(u"name").toString());
            ++tables;
        } else if (name == u"page" && kind == Kind::OpenDocumentPresentation &&
                   walk == Walk::Content) {
            lines.beginPart(QStringLiteral("スライド %1").arg(++slides));
        } else if (name == u"notes" && kind == Kind::OpenDocumentPresentation &&
                   walk == Walk::Content) {
            lines.beginPart(QStringLiteral("スライド %1 のノート").arg(slides));
        } else if (walk == Walk::MasterStyles) {
            if (name == u"master-styles")
                inMaster = true;
            else if (inMaster && name.startsWith(u"header"))
                lines.beginPart(QStringLiteral("ヘッダー"));
            else if (inMaster && name.startsWith(u"footer"))
                lines.beginPart(QStringLiteral("フッター"));
        }
    }
}

// Whether META-INF/manifest.xml says content.xml is encrypted.
bool contentEncrypted(ZipArchive &zip, const Limits &limits)
{
    const qint64 index = zip.find("META-INF/manifest.xml");
    if (index < 0)
        return false;
    XmlPart part(zip, index, limits);
    bool inContent = false;
    for (Token token = part.next(); token != Token::Invalid; token = part.next()) {
        if (token == Token::StartElement) {
            if (part.name() == u"file-entry")
                inContent = part.attribute(u"full-path") == u"content.xml";
            else if (inContent && part.name() == u"encryption-data")
                return true;
        }
    }
    return false;
}

} // namespace

std::optional<Kind> openDocumentKind(QByteArrayView mimetype)
{
    static constexpr struct {
        const char *type;
        Kind kind;
    } kTypes[] = {
        {"application/vnd.oasis.opendocument.text", Kind::OpenDocumentText},
        {"application/vnd.oasis.opendocument.text-template", Kind::OpenDocumentText},
        {"application/vnd.oasis.opendocument.spreadsheet", Kind::OpenDocumentSpreadsheet},
        {"application/vnd.oasis.opendocument.spreadsheet-template", Kind::OpenDocumentSpreadsheet},
        {"application/vnd.oasis.opendocument.presentation", Kind::OpenDocumentPresentation},
        {"application/vnd.oasis.opendocument.presentation-template",
         Kind::OpenDocumentPresentation},
    };
    const QByteArrayView type = mimetype.trimmed();
    for (const auto &t : kTypes)
        if (type == QByteArrayView(t.type))
            return t.kind;
    return std::nullopt;
}

ReadResult readOpenDocument(ZipArchive &zip, Kind kind, const Limits &limits)
{
    const qint64 content = zip.find("content.xml");
    if (content < 0)
        return {Failure::Damaged, QStringLiteral("damaged zip: content.xml is missing"), {}};
    if (contentEncrypted(zip, limits))
        return {Failure::Encrypted, QStringLiteral("encrypted"), {}};
    TextSink sink(kind, limits);
    LineBuilder lines(sink, limits);
    if (kind == Kind::OpenDocumentText)
        lines.beginPart(QStringLiteral("本文"));
    {
        XmlPart part(zip, content, limits);
        readPart(part, kind, Walk::Content, lines);
    }
    lines.finish();
    const qint64 styles = zip.find("styles.xml");
    if (kind == Kind::OpenDocumentText && styles >= 0 && !zip.failed() && !lines.overLimit()) {
        XmlPart part(zip, styles, limits);
        readPart(part, kind, Walk::MasterStyles, lines);
        lines.finish();
    }
    return finishedText(zip, sink, lines.overLimit(), limits);
}

} // namespace documents
