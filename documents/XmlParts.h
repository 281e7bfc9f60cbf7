// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// What the zip readers share: an XML member read as a stream of tokens
// (QXmlStreamReader fed from the zip while it inflates, no tree), the
// relationships of an Office Open XML part, and LineBuilder, which turns
// paragraphs, table rows and cells into lines.

#include "documents/TextSink.h"
#include "documents/ZipArchive.h"

#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>

#include <vector>

namespace documents {

// One XML member. A document type declaration is refused (so no entity is
// expanded beyond the five predefined ones), elements open at once are
// counted against Limits::xmlDepth, and any XML error makes the archive fail
// as damaged. Reading stops at the first failure of the archive.
class XmlPart {
public:
    XmlPart(ZipArchive &zip, qint64 index, const Limits &limits);

    // The next token; Invalid at the end of the part or at a failure
    // (zip().failed() tells which).
    QXmlStreamReader::TokenType next();
    // Skips the rest of the element whose start was the last token.
    void skipElement();
    QXmlStreamReader &xml() { return m_xml; }
    QStringView name() const { return m_xml.name(); }
    QStringView namespaceUri() const { return m_xml.namespaceUri(); }
    // The value of the first attribute of that local name, whatever its namespace.
    QStringView attribute(QStringView localName) const;
    // The r:id attribute (an id in a namespace, as opposed to a plain id).
    QStringView relationshipId() const;
    ZipArchive &zip() { return m_zip; }

private:
    bool feed();

    ZipArchive &m_zip;
    QXmlStreamReader m_xml;
    QByteArray m_chunk;
    int m_depth = 0;
    int m_depthLimit;
    bool m_open = false;
    bool m_ended = false;
};

// Markup compatibility blocks: of an mc:AlternateContent, the first mc:Choice
// is read and every later mc:Choice and the mc:Fallback skipped, so that one
// content given twice (a text box as a drawing and as VML) is read once.
class AlternateContent {
public:
    // At a start element: true when it was skipped.
    bool skipped(XmlPart &part);
    // At an end element.
    void end(QStringView name)
    {
        if (name == u"AlternateContent" && !m_taken.empty())
            m_taken.pop_back();
    }

private:
    std::vector<bool> m_taken;
};

// "over the 256 MiB text limit"
QString textLimitReason(const Limits &limits);
// The result of a reader: the archive's failure if any, then the text limit,
// else the text.
ReadResult finishedText(ZipArchive &zip, TextSink &sink, bool overLimit, const Limits &limits);

// An Office Open XML relationship of a part.
struct Relationship {
    QString id;
    QString type;      // its last path segment: "worksheet", "header", "slide"...
    QByteArray target; // the member it names, resolved against its source part
};

// The relationships of the part stored as `partName` (from its _rels file);
// none when it has no such file.
std::vector<Relationship> readRelationships(ZipArchive &zip, const QByteArray &partName,
                                            const Limits &limits);
// The member named by `target` (absolute with a leading slash, else relative
// to the folder of `source`), with "." and ".." resolved.
QByteArray resolvePartName(const QByteArray &source, QStringView target);

// Builds lines from paragraphs, table rows and cells as a reader meets them:
// a paragraph outside tables is a line; a table row is a line whose cells are
// joined by one tab for each cell boundary between two cells with text;
// paragraphs (and nested tables) inside one cell are joined by a space. A
// paragraph opened inside another (a text box, a note) becomes a line of its
// own before the one it interrupts, which then goes on unbroken.
class LineBuilder {
public:
    explicit LineBuilder(TextSink &sink, const Limits &limits)
        : m_sink(sink), m_limit(limits.textUnits)
    {}

    void beginParagraph();
    void endParagraph();
    void beginRow();
    void endRow();
    // A cell spanning `columns` columns: the next cell with text is that many
    // tabs further (repeated empty cells cost nothing).
    void beginCell(qint64 columns = 1);
    void text(QStringView run);
    void unit(char16_t c) { text(QStringView(&c, 1)); }
    // Ends every open line, then starts a part named `label`.
    void beginPart(const QString &label);
    void finish();
    bool overLimit() const { return m_overLimit || m_sink.overLimit(); }

private:
    struct Frame {
        QString text;
        bool row = false;
        bool seenCell = false;
        bool cellHasText = false;
        bool pendingSpace = false;
        int pendingTabs = 0;
        int span = 1;
        int innerRows = 0;
    };
    void flushTop();

    TextSink &m_sink;
    qint64 m_limit;
    std::vector<Frame> m_frames;
    // For each open paragraph or row: 'P' opened a frame, 'R' a row frame,
    // 'c' joined the cell it is in, 'n' a row nested in a cell.
    std::vector<char> m_opens;
    bool m_overLimit = false;
};

} // namespace documents
