// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/OfficeOpenXml.h"

#include "documents/NumberFormat.h"
#include "documents/XmlParts.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <optional>

namespace documents {

namespace {

using Token = QXmlStreamReader::TokenType;

struct MainPart {
    Kind kind;
    QByteArray name;
    bool binary = false; // .xlsb: recognised, not read
};

std::optional<Kind> kindOfContentType(QStringView type, bool *binary)
{
    // application/vnd.openxmlformats-officedocument.<x>.main+xml and the
    // macro-enabled and template variants.
    static constexpr struct {
        const char16_t *type;
        Kind kind;
    } kTypes[] = {
        {u"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml",
         Kind::Word},
        {u"application/vnd.openxmlformats-officedocument.wordprocessingml.template.main+xml",
         Kind::Word},
        {u"application/vnd.ms-word.document.macroEnabled.main+xml", Kind::Word},
        {u"application/vnd.ms-word.template.macroEnabledTemplate.main+xml", Kind::Word},
        {u"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml",
         Kind::Excel},
        {u"application/vnd.openxmlformats-officedocument.spreadsheetml.template.main+xml",
         Kind::Excel},
        {u"application/vnd.ms-excel.sheet.macroEnabled.main+xml", Kind::Excel},
        {u"application/vnd.ms-excel.template.macroEnabled.main+xml", Kind::Excel},
        {u"application/vnd.openxmlformats-officedocument.presentationml.presentation.main+xml",
         Kind::PowerPoint},
        {u"application/vnd.openxmlformats-officedocument.presentationml.template.main+xml",
         Kind::PowerPoint},
        {u"application/vnd.openxmlformats-officedocument.presentationml.slideshow.main+xml",
         Kind::PowerPoint},
        {u"application/vnd.ms-powerpoint.presentation.macroEnabled.main+xml", Kind::PowerPoint},
        {u"application/vnd.ms-powerpoint.slideshow.macroEnabled.main+xml", Kind::PowerPoint},
        {u"application/vnd.ms-powerpoint.template.macroEnabled.main+xml", Kind::PowerPoint},
    };
    for (const auto &t : kTypes) {
        if (type.compare(QStringView(t.type), Qt::CaseInsensitive) == 0)
            return t.kind;
    }
    if (type.compare(u"application/vnd.ms-excel.sheet.binary.macroEnabled.main",
                     Qt::CaseInsensitive) == 0) {
        *binary = true;
        return Kind::Excel;
    }
    return std::nullopt;
}

// The main part: the package's officeDocument relationship names it, and
// its type is an Override for that part or else the Default for its
// extension; without that relationship, the first Override of a main type.
std::optional<MainPart> findMainPart(ZipArchive &zip, qint64 contentTypes, const Limits &limits)
{
    std::vector<std::pair<QByteArray, QString>> overrides; // part, type
    std::vector<std::pair<QString, QString>> defaults;     // extension, type
    {
        XmlPart part(zip, contentTypes, limits);
        for (Token token = part.next(); token != Token::Invalid; token = part.next()) {
            if (token != Token::StartElement)
                continue;
            if (part.name() == u"Override")
                overrides.emplace_back(resolvePartName({}, part.attribute(u"PartName")),
                                       part.attribute(u"ContentType").toString());
            else if (part.name() == u"Default")
                defaults.emplace_back(part.attribute(u"Extension").toString(),
                                      part.attribute(u"ContentType").toString());
        }
    }
    if (zip.failed())
        return std::nullopt;
    for (const Relationship &r : readRelationships(zip, {}, limits)) {
        if (r.type != u"officeDocument")
            continue;
        QString type;
        for (const auto &[name, t] : overrides)
            if (name.compare(r.target, Qt::CaseInsensitive) == 0)
                type = t;
        if (type.isEmpty()) {
            const QString extension =
                QString::fromUtf8(r.target.mid(r.target.lastIndexOf('.') + 1));
            for (const auto &[e, t] : defaults)
                if (e.compare(extension, Qt::CaseInsensitive) == 0)
                    type = t;
        }
        bool binary = false;
        if (const auto kind = kindOfContentType(type, &binary))
            return MainPart{*kind, r.target, binary};
    }
    for (const auto &[name, type] : overrides) {
        bool binary = false;
        if (const auto kind = kindOfContentType(type, &binary))
            return MainPart{*kind, name, binary};
    }
    return std::nullopt;
}

QByteArray targetOf(const std::vector<Relationship> &rels, QStringView id)
{
    for (const Relationship &r : rels)
        if (r.id == id)
            return r.target;
    return {};
}

// Reads a part when it exists: a missing part is no failure (a relationship
// may name a part the producer left out).
template <typename Walk>
void withPart(ZipArchive &zip, const QByteArray &name, const Limits &limits, Walk walk)
{
    const qint64 index = zip.find(name);
    if (index < 0 || zip.failed())
        return;
    XmlPart part(zip, index, limits);
    walk(part);
}

// --- Word ---------------------------------------------------------------

// The text of a WordprocessingML part (the body, a header, the footnotes...).
// `references` collects the r:id of each header and footer the part names.
void readWordPart(XmlPart &part, LineBuilder &lines, std::vector<QString> *references)
{
    AlternateContent alternate;
    std::vector<bool> fieldInstructions; // per open complex field: before its separator
    bool inText = false;
    for (Token token = part.next(); token != Token::Invalid && !lines.overLimit();
         token = part.next()) {
        if (token == Token::Characters) {
            if (inText && (fieldInstructions.empty() || !fieldInstructions.back()))
                lines.text(part.xml().text());
            continue;
        }
        const QStringView name = part.name();
        if (token == Token::EndElement) {
            if (name == u"p")
                lines.endParagraph();
            else if (name == u"t")
                inText = false;
            else if (name == u"tr")
                lines.endRow();
            else
                alternate.end(name);
            continue;
        }
        if (token != Token::StartElement || alternate.skipped(part))
            continue;
        if (name == u"t") {
            inText = true;
        } else if (name == u"p") {
            lines.beginParagraph();
        } else if (name == u"tc") {
            lines.beginCell();
        } else if (name == u"tr") {
            lines.beginRow();
        } else if (name == u"rPr") {
            part.skipElement();
        } else if (name == u"tab") {
            if (!fieldInstructions.empty() && fieldInstructions.back())
                continue;
            lines.unit(u'\t');
        } else if (name == u"br" || name == u"cr") {
            lines.unit(u' ');
        } else if (name == u"noBreakHyphen") {
            lines.unit(u'-');
        } else if (name == u"del" || name == u"moveFrom" || name == u"instrText" ||
                   name == u"delInstrText" || name == u"rt" || name == u"tabs") {
            part.skipElement();
        } else if (name == u"fldChar") {
            const QStringView type = part.attribute(u"fldCharType");
            if (type == u"begin")
                fieldInstructions.push_back(true);
            else if (type == u"separate" && !fieldInstructions.empty())
                fieldInstructions.back() = false;
            else if (type == u"end" && !fieldInstructions.empty())
                fieldInstructions.pop_back();
        } else if (references && (name == u"headerReference" || name == u"footerReference")) {
            const QString id = part.relationshipId().toString();
            if (std::find(references->begin(), references->end(), id) == references->end())
                references->push_back(id);
        }
    }
}

bool readWord(ZipArchive &zip, const QByteArray &main, TextSink &sink, const Limits &limits)
{
    LineBuilder lines(sink, limits);
    std::vector<QString> references;
    lines.beginPart(QStringLiteral("本文"));
    withPart(zip, main, limits, [&](XmlPart &part) { readWordPart(part, lines, &references); });
    lines.finish();
    const std::vector<Relationship> rels = readRelationships(zip, main, limits);
    // Headers and footers in the order the sections name them, then the notes
    // and comments.
    for (const bool headers : {true, false}) {
        for (const QString &id : references) {
            for (const Relationship &r : rels) {
                if (r.id != id || r.type != (headers ? u"header" : u"footer"))
                    continue;
                lines.beginPart(headers ? QStringLiteral("ヘッダー") : QStringLiteral("フッター"));
                withPart(zip, r.target, limits,
                         [&](XmlPart &part) { readWordPart(part, lines, nullptr); });
            }
        }
    }
    static constexpr struct {
        const char16_t *type;
        const char16_t *label;
    } kNotes[] = {{u"footnotes", u"脚注"}, {u"endnotes", u"文末脚注"}, {u"comments", u"コメント"}};
    for (const auto &notes : kNotes) {
        for (const Relationship &r : rels) {
            if (r.type != QStringView(notes.type))
                continue;
            lines.beginPart(QString::fromUtf16(notes.label));
            withPart(zip, r.target, limits,
                     [&](XmlPart &part) { readWordPart(part, lines, nullptr); });
        }
    }
    lines.finish();
    return lines.overLimit();
}

// --- Excel --------------------------------------------------------------

// A line break inside a cell reads as a space.
void spaceBreaks(QString &text)
{
    if (!text.contains(u'\n') && !text.contains(u'\r'))
        return;
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(u'\n', u' ');
    text.replace(u'\r', u' ');
}

// The column of a cell reference ("B3" is 1), or -1.
int columnOf(QStringView ref)
{
    int column = 0;
    qsizetype i = 0;
    for (; i < ref.size() && i < 3; ++i) {
        const char16_t c = ref[i].unicode();
        if (c >= u'A' && c <= u'Z')
            column = column * 26 + (c - u'A' + 1);
        else if (c >= u'a' && c <= u'z')
            column = column * 26 + (c - u'a' + 1);
        else
            break;
    }
    return i == 0 ? -1 : column - 1;
}

// Runs of a shared or inline string (<si>, <is>): <t> text, except in <rPh>.
void readRichString(XmlPart &part, QString &out)
{
    bool inText = false;
    for (Token token = part.next(); token != Token::Invalid; token = part.next()) {
        if (token == Token::Characters) {
            if (inText)
                out.append(part.xml().text());
        } else if (token == Token::StartElement) {
            if (part.name() == u"t")
                inText = true;
            else if (part.name() == u"rPh")
                part.skipElement();
        } else if (token == Token::EndElement) {
            if (part.name() == u"t")
                inText = false;
            else if (part.name() == u"si" || part.name() == u"is")
                return;
        }
    }
}

void readSharedStrings(XmlPart &part, std::vector<QString> &strings, const Limits &limits)
{
    qint64 units = 0;
    for (Token token = part.next(); token != Token::Invalid; token = part.next()) {
        if (token != Token::StartElement || part.name() != u"si")
            continue;
        QString s;
        readRichString(part, s);
        spaceBreaks(s);
        units += s.size() + 1;
        if (units > limits.textUnits) {
            part.zip().fail(Failure::OverLimit, textLimitReason(limits));
            return;
        }
        strings.push_back(std::move(s));
    }
}

// The number formats of the cell styles (<cellXfs>), with the formats the
// workbook writes out (<numFmts>).
void readStyles(XmlPart &part, CellFormats &formats)
{
    bool inCellStyles = false;
    for (Token token = part.next(); token != Token::Invalid; token = part.next()) {
        if (token == Token::EndElement && part.name() == u"cellXfs") {
            inCellStyles = false;
            continue;
        }
        if (token != Token::StartElement)
            continue;
        const QStringView name = part.name();
        if (name == u"numFmt") {
            formats.addFormat(part.attribute(u"numFmtId").toInt(),
                              part.attribute(u"formatCode").toString());
        } else if (name == u"cellXfs") {
            inCellStyles = true;
        } else if (name == u"xf" && inCellStyles) {
            formats.addStyle(part.attribute(u"numFmtId").toInt());
            part.skipElement();
        }
    }
}

// Whether a number's text is already what General shows: a plain decimal
// of at most 15 digits with no trailing zero after its point ("12", "-0.5").
bool shownAsWritten(QStringView v)
{
    if (v.isEmpty() || v.size() > 16)
        return false;
    qsizetype i = v[0] == u'-' ? 1 : 0;
    const qsizetype digitsFrom = i;
    bool point = false;
    for (; i < v.size(); ++i) {
        const char16_t c = v[i].unicode();
        if (c == u'.' && !point)
            point = true;
        else if (c < u'0' || c > u'9')
            return false;
    }
    const qsizetype digits = v.size() - digitsFrom - (point ? 1 : 0);
    if (digits == 0 || digits > 15 || v.back() == u'.')
        return false;
    if (point && v.back() == u'0')
        return false;
    // No leading zero but the one before a point.
    if (v[digitsFrom] == u'0' && v.size() - digitsFrom > 1 && v[digitsFrom + 1] != u'.')
        return false;
    return !(v == u"-0");
}

// The serial number of an ISO 8601 date and time (a cell of type "d").
double serialOfIso(QStringView text, DateSystem system)
{
    QDateTime when = QDateTime::fromString(text.toString(), Qt::ISODateWithMs);
    if (!when.isValid()) {
        const QTime time = QTime::fromString(text.toString(), Qt::ISODateWithMs);
        if (!time.isValid())
            return -1;
        return time.msecsSinceStartOfDay() / 86400000.0;
    }
    const QDate epoch = system == DateSystem::From1904 ? QDate(1904, 1, 1) : QDate(1899, 12, 30);
    double days = double(epoch.daysTo(when.date()));
    if (system == DateSystem::From1900 && days < 61)
        days -= 1; // before the 29 February 1900 that the 1900 system counts
    return days + when.time().msecsSinceStartOfDay() / 86400000.0;
}

// A cell's value as its style shows it; `type` is its t attribute.
void showCell(QStringView type, qint64 style, const CellFormats &formats, QString &cell)
{
    if (type.isEmpty() || type == u"n") {
        const QStringView v = QStringView(cell).trimmed();
        if (formats.isGeneral(style) && shownAsWritten(v))
            return;
        double value = 0;
        if (parseNumber(v, &value))
            cell = formats.number(style, value);
    } else if (type == u"b") {
        const QStringView v = QStringView(cell).trimmed();
        cell = v == u"1" || v == u"true" ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    } else if (type == u"d") {
        const double serial = serialOfIso(QStringView(cell).trimmed(), formats.system);
        if (serial >= 0)
            cell = formats.isGeneral(style)
                       ? NumberFormat(serial < 1                     ? u"h:mm:ss"
                                      : serial == std::floor(serial) ? u"yyyy/m/d"
                                                                     : u"yyyy/m/d h:mm:ss")
                             .number(serial, formats.system)
                       : formats.number(style, serial);
    } else if (formats.hasTextSection(style)) {
        cell = formats.text(style, cell);
    }
}

void readSheet(XmlPart &part, const std::vector<QString> &strings, const CellFormats &formats,
               TextSink &sink, const Limits &limits)
{
    constexpr int kColumns = 16384;
    AlternateContent alternate;
    QString line;
    QString cell;
    int lastColumn = -1; // of the last cell with text in the row
    int nextColumn = 0;
    QString type;
    qint64 style = -1;
    bool inValue = false;
    bool isShared = false;
    for (Token token = part.next(); token != Token::Invalid && !sink.overLimit();
         token = part.next()) {
        if (token == Token::Characters) {
            if (inValue)
                cell.append(part.xml().text());
            continue;
        }
        const QStringView name = part.name();
        if (token == Token::StartElement) {
            if (alternate.skipped(part))
                continue;
            if (name == u"c") {
                const int column = columnOf(part.attribute(u"r"));
                nextColumn = column >= 0 ? column : std::min(nextColumn, kColumns);
                const QStringView t = part.attribute(u"t");
                isShared = t == u"s";
                type.resize(0); // keeps its capacity for the next cell
                type.append(t);
                bool styled = false;
                style = part.attribute(u"s").toLongLong(&styled);
                if (!styled)
                    style = 0;
                cell.resize(0); // keeps its capacity for the next cell
            } else if (name == u"v") {
                inValue = true;
            } else if (name == u"is") {
                readRichString(part, cell);
            } else if (name == u"f" || name == u"extLst") {
                part.skipElement();
            } else if (name == u"row") {
                line.resize(0);
                lastColumn = -1;
                nextColumn = 0;
            }
        } else if (token == Token::EndElement) {
            if (name == u"v") {
                inValue = false;
            } else if (name == u"c") {
                const int column = nextColumn;
                nextColumn = column + 1;
                if (isShared) {
                    bool ok = false;
                    const qulonglong index = QStringView(cell).trimmed().toULongLong(&ok);
                    cell = ok && index < strings.size() ? strings[index] : QString();
                    isShared = false;
                    if (!cell.isEmpty() && formats.hasTextSection(style))
                        cell = formats.text(style, cell);
                } else {
                    spaceBreaks(cell);
                    if (!cell.isEmpty())
                        showCell(type, style, formats, cell);
                }
                if (cell.isEmpty())
                    continue;
                if (!line.isEmpty())
                    line.resize(line.size() + std::clamp(column - lastColumn, 1, kColumns), u'\t');
                lastColumn = column;
                if (line.size() + cell.size() > limits.textUnits) {
                    part.zip().fail(Failure::OverLimit, textLimitReason(limits));
                    return;
                }
                line.append(cell);
            } else if (name == u"row") {
                if (!line.isEmpty()) {
                    sink.append(line);
                    sink.endLine();
                }
                line.resize(0);
            } else {
                alternate.end(name);
            }
        }
    }
}

void readExcel(ZipArchive &zip, const QByteArray &main, TextSink &sink, const Limits &limits)
{
    const std::vector<Relationship> rels = readRelationships(zip, main, limits);
    std::vector<QString> strings;
    for (const Relationship &r : rels) {
        if (r.type == u"sharedStrings")
            withPart(zip, r.target, limits,
                     [&](XmlPart &part) { readSharedStrings(part, strings, limits); });
    }
    CellFormats formats;
    for (const Relationship &r : rels) {
        if (r.type == u"styles")
            withPart(zip, r.target, limits, [&](XmlPart &part) { readStyles(part, formats); });
    }
    std::vector<std::pair<QString, QByteArray>> sheets; // name, part
    withPart(zip, main, limits, [&](XmlPart &part) {
        for (Token token = part.next(); token != Token::Invalid; token = part.next()) {
            if (token != Token::StartElement)
                continue;
            if (part.name() == u"sheet") {
                sheets.emplace_back(part.attribute(u"name").toString(),
                                    targetOf(rels, part.relationshipId()));
            } else if (part.name() == u"workbookPr") {
                const QStringView from1904 = part.attribute(u"date1904");
                if (from1904 == u"1" || from1904 == u"true")
                    formats.system = DateSystem::From1904;
            }
        }
    });
    formats.finish();
    for (const auto &[name, target] : sheets) {
        if (zip.failed() || sink.overLimit())
            return;
        sink.beginPart(name);
        if (!target.isEmpty())
            withPart(zip, target, limits,
                     [&](XmlPart &part) { readSheet(part, strings, formats, sink, limits); });
    }
}

// --- PowerPoint ---------------------------------------------------------

// The text of a slide or a notes page: each paragraph of a shape a line, each
// table row a line. `notes`: the slide number field of a notes page is left out.
void readSlide(XmlPart &part, LineBuilder &lines, bool notes)
{
    AlternateContent alternate;
    bool inText = false;
    for (Token token = part.next(); token != Token::Invalid && !lines.overLimit();
         token = part.next()) {
        if (token == Token::Characters) {
            if (inText)
                lines.text(part.xml().text());
            continue;
        }
        const QStringView name = part.name();
        if (token == Token::EndElement) {
            if (name == u"p")
                lines.endParagraph();
            else if (name == u"t")
                inText = false;
            else if (name == u"tr")
                lines.endRow();
            else
                alternate.end(name);
            continue;
        }
        if (token != Token::StartElement || alternate.skipped(part))
            continue;
        if (name == u"t") {
            inText = true;
        } else if (name == u"p") {
            lines.beginParagraph();
        } else if (name == u"tc") {
            lines.beginCell();
        } else if (name == u"tr") {
            lines.beginRow();
        } else if (name == u"br") {
            lines.unit(u' ');
        } else if (name == u"rPr" || name == u"pPr" || name == u"spPr" || name == u"extLst" ||
                   (notes && name == u"fld" && part.attribute(u"type") == u"slidenum")) {
            part.skipElement();
        }
    }
}

bool readPowerPoint(ZipArchive &zip, const QByteArray &main, TextSink &sink, const Limits &limits)
{
    const std::vector<Relationship> rels = readRelationships(zip, main, limits);
    std::vector<QByteArray> slides;
    withPart(zip, main, limits, [&](XmlPart &part) {
        for (Token token = part.next(); token != Token::Invalid; token = part.next()) {
            if (token == Token::StartElement && part.name() == u"sldId")
                slides.push_back(targetOf(rels, part.relationshipId()));
        }
    });
    LineBuilder lines(sink, limits);
    int number = 0;
    for (const QByteArray &slide : slides) {
        if (zip.failed() || lines.overLimit())
            break;
        ++number;
        lines.beginPart(QStringLiteral("スライド %1").arg(number));
        withPart(zip, slide, limits, [&](XmlPart &part) { readSlide(part, lines, false); });
        for (const Relationship &r : readRelationships(zip, slide, limits)) {
            if (r.type != u"notesSlide")
                continue;
            lines.beginPart(QStringLiteral("スライド %1 のノート").arg(number));
            withPart(zip, r.target, limits, [&](XmlPart &part) { readSlide(part, lines, true); });
        }
    }
    lines.finish();
    return lines.overLimit();
}

} // namespace

ReadResult readOfficeOpenXml(ZipArchive &zip, qint64 contentTypes, const Limits &limits)
{
    const std::optional<MainPart> main = findMainPart(zip, contentTypes, limits);
    if (zip.failed())
        return {zip.failure(), zip.reason(), {}};
    if (!main)
        return {Failure::Unsupported,
                QStringLiteral("an Office Open XML package with no Word, Excel or PowerPoint "
                               "document is not read"),
                {}};
    if (main->binary)
        return {Failure::Unsupported,
                QStringLiteral("binary Excel workbooks (.xlsb) are not read"),
                {}};
    if (zip.find(main->name) < 0)
        return {Failure::Damaged, QStringLiteral("damaged zip: the main part is missing"), {}};
    TextSink sink(main->kind, limits);
    bool overLimit = false;
    switch (main->kind) {
    case Kind::Word:
        overLimit = readWord(zip, main->name, sink, limits);
        break;
    case Kind::Excel:
        readExcel(zip, main->name, sink, limits);
        break;
    default:
        overLimit = readPowerPoint(zip, main->name, sink, limits);
        break;
    }
    return finishedText(zip, sink, overLimit, limits);
}

} // namespace documents
