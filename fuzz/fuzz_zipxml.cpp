// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// Each XML dialect of the zip readers: the first byte picks a part (a Word
// body, header or comments, an Excel sheet, shared strings or workbook, a
// PowerPoint slide or notes page, an OpenDocument content or styles part of
// each kind), the rest is that part's markup, wrapped in a valid archive
// whose other parts are fixed. The result must keep the result's rules.

#include "fuzz/DocumentChecks.h"

#include "documents/ReadDocument.h"

namespace {

using Members = std::vector<std::pair<QByteArray, QByteArray>>;

QByteArray contentTypes(const char *part, const char *type)
{
    return QByteArray(
               "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
               "<Override PartName=\"/") +
           part + "\" ContentType=\"application/vnd.openxmlformats-officedocument." + type +
           ".main+xml\"/></Types>";
}

QByteArray rels(const std::vector<std::pair<const char *, const char *>> &targets)
{
    QByteArray out =
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    int id = 0;
    for (const auto &[type, target] : targets)
        out += "<Relationship Id=\"r" + QByteArray::number(++id) +
               "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/" +
               type + "\" Target=\"" + target + "\"/>";
    return out + "</Relationships>";
}

const QByteArray kW =
    "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";

QByteArray wordArchive(int which, const QByteArray &xml)
{
    QByteArray body =
        "<w:document " + kW +
        "><w:body><w:p><w:r><w:t>x</w:t></w:r></w:p><w:sectPr><w:headerReference r:id=\"r1\"/>"
        "</w:sectPr></w:body></w:document>";
    QByteArray header = "<w:hdr " + kW + "><w:p><w:r><w:t>h</w:t></w:r></w:p></w:hdr>";
    QByteArray comments = "<w:comments " + kW + "/>";
    (which == 0 ? body : which == 1 ? header : comments) = xml;
    return storedZip(
        {{"[Content_Types].xml", contentTypes("word/document.xml", "wordprocessingml.document")},
         {"word/document.xml", body},
         {"word/_rels/document.xml.rels",
          rels({{"header", "header1.xml"}, {"comments", "comments.xml"}})},
         {"word/header1.xml", header},
         {"word/comments.xml", comments}});
}

QByteArray excelArchive(int which, const QByteArray &xml)
{
    const QByteArray ns =
        "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";
    QByteArray sheet =
        "<worksheet " + ns +
        "><sheetData><row><c r=\"B1\" t=\"s\"><v>0</v></c></row></sheetData></worksheet>";
    QByteArray strings = "<sst " + ns + "><si><t>s</t></si></sst>";
    QByteArray workbook =
        "<workbook " + ns +
        "><sheets><sheet name=\"A\" sheetId=\"1\" r:id=\"r1\"/></sheets></workbook>";
    (which == 0 ? sheet : which == 1 ? strings : workbook) = xml;
    return storedZip(
        {{"[Content_Types].xml", contentTypes("xl/workbook.xml", "spreadsheetml.sheet")},
         {"xl/workbook.xml", workbook},
         {"xl/_rels/workbook.xml.rels",
          rels({{"worksheet", "worksheets/sheet1.xml"}, {"sharedStrings", "sharedStrings.xml"}})},
         {"xl/worksheets/sheet1.xml", sheet},
         {"xl/sharedStrings.xml", strings}});
}

QByteArray powerPointArchive(int which, const QByteArray &xml)
{
    const QByteArray ns =
        "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
        "xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";
    QByteArray slide = "<p:sld " + ns + "><a:p><a:r><a:t>s</a:t></a:r></a:p></p:sld>";
    QByteArray notes = "<p:notes " + ns + "><a:p><a:r><a:t>n</a:t></a:r></a:p></p:notes>";
    const QByteArray presentation =
        "<p:presentation " + ns +
        "><p:sldIdLst><p:sldId id=\"256\" r:id=\"r1\"/></p:sldIdLst></p:presentation>";
    (which == 0 ? slide : notes) = xml;
    return storedZip({{"[Content_Types].xml",
                       contentTypes("ppt/presentation.xml", "presentationml.presentation")},
                      {"ppt/presentation.xml", presentation},
                      {"ppt/_rels/presentation.xml.rels", rels({{"slide", "slides/slide1.xml"}})},
                      {"ppt/slides/slide1.xml", slide},
                      {"ppt/slides/_rels/slide1.xml.rels",
                       rels({{"notesSlide", "../notesSlides/notesSlide1.xml"}})},
                      {"ppt/notesSlides/notesSlide1.xml", notes}});
}

QByteArray openDocumentArchive(int which, const QByteArray &xml)
{
    static const char *const kTypes[] = {"text", "spreadsheet", "presentation"};
    const QByteArray type = QByteArray("application/vnd.oasis.opendocument.") + kTypes[which % 3];
    const QByteArray styles = which >= 3 ? xml : QByteArray("<office:document-styles/>");
    const QByteArray content = which >= 3 ? QByteArray("<office:document-content/>") : xml;
    return storedZip({{"mimetype", type}, {"content.xml", content}, {"styles.xml", styles}});
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const int choice = data[0] % 14;
    const QByteArray xml(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    QByteArray archive;
    if (choice < 3)
        archive = wordArchive(choice, xml);
    else if (choice < 6)
        archive = excelArchive(choice - 3, xml);
    else if (choice < 8)
        archive = powerPointArchive(choice - 6, xml);
    else
        archive = openDocumentArchive(choice - 8, xml);
    const documents::Limits limits = fuzzLimits();
    checkResult(documents::readZipDocument(archive, limits), limits);
    return 0;
}
