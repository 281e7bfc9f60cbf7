// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/XmlParts.h"

#include <algorithm>

namespace documents {

namespace {
constexpr qint64 kChunkBytes = 64 * 1024;
}

XmlPart::XmlPart(ZipArchive &zip, qint64 index, const Limits &limits)
    : m_zip(zip), m_depthLimit(limits.xmlDepth)
{
    m_open = m_zip.open(index);
}

bool XmlPart::feed()
{
    if (!m_open || m_ended)
        return false;
    m_chunk.resize(kChunkBytes);
    const qint64 got = m_zip.read(m_chunk.data(), kChunkBytes);
    if (got <= 0) {
        m_ended = true;
        m_zip.close();
        return false;
    }
    m_chunk.resize(got);
    m_xml.addData(m_chunk);
    return true;
}

QXmlStreamReader::TokenType XmlPart::next()
{
    if (!m_open)
        return QXmlStreamReader::Invalid;
    for (;;) {
        if (m_zip.failed())
            return QXmlStreamReader::Invalid;
        const QXmlStreamReader::TokenType token = m_xml.readNext();
        switch (token) {
        case QXmlStreamReader::Invalid:
            if (m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError && feed())
                continue;
            if (!m_zip.failed()) {
                const QString what = m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError
                                         ? QStringLiteral("unexpected end")
                                         : m_xml.errorString();
                m_zip.fail(Failure::Damaged, QStringLiteral("damaged XML: %1").arg(what));
            }
            return token;
        case QXmlStreamReader::DTD:
            m_zip.fail(Failure::Damaged,
                       QStringLiteral("damaged XML: a document type declaration"));
            return QXmlStreamReader::Invalid;
        case QXmlStreamReader::StartElement:
            if (++m_depth > m_depthLimit) {
                m_zip.fail(Failure::OverLimit,
                           QStringLiteral("over the %1 XML depth limit").arg(m_depthLimit));
                return QXmlStreamReader::Invalid;
            }
            return token;
        case QXmlStreamReader::EndElement:
            --m_depth;
            return token;
        case QXmlStreamReader::EndDocument:
            m_open = false;
            m_zip.close();
            return QXmlStreamReader::Invalid;
        default:
            return token;
        }
    }
}

void XmlPart::skipElement()
{
    const int depth = m_depth;
    while (m_depth >= depth) {
        if (next() == QXmlStreamReader::Invalid)
            return;
    }
}

QStringView XmlPart::attribute(QStringView localName) const
{
    // A const copy shares the reader's list; iterating a non-const one would
    // copy every attribute.
    const QXmlStreamAttributes attributes = m_xml.attributes();
    for (const QXmlStreamAttribute &a : attributes) {
        if (a.name() == localName)
            return a.value();
    }
    return {};
}

bool AlternateContent::skipped(XmlPart &part)
{
    const QStringView name = part.name();
    if (name == u"AlternateContent") {
        m_taken.push_back(false);
    } else if (name == u"Choice" && !m_taken.empty()) {
        if (m_taken.back()) {
            part.skipElement();
            return true;
        }
        m_taken.back() = true;
    } else if (name == u"Fallback" && !m_taken.empty()) {
        part.skipElement();
        return true;
    }
    return false;
}

QStringView XmlPart::relationshipId() const
{
    const QXmlStreamAttributes attributes = m_xml.attributes();
    for (const QXmlStreamAttribute &a : attributes) {
        if (a.name() == u"id" && !a.namespaceUri().isEmpty())
            return a.value();
    }
    return {};
}

QByteArray resolvePartName(const QByteArray &source, QStringView target)
{
    QByteArray path;
    QByteArray wanted = target.toUtf8();
    if (wanted.startsWith('/')) {
        wanted.remove(0, 1);
    } else {
        const qsizetype slash = source.lastIndexOf('/');
        path = slash < 0 ? QByteArray() : source.left(slash);
    }
    std::vector<QByteArray> segments;
    for (const QByteArray &s : path.split('/'))
        if (!s.isEmpty())
            segments.push_back(s);
    for (const QByteArray &s : wanted.split('/')) {
        if (s.isEmpty() || s == ".")
            continue;
        if (s == "..") {
            if (!segments.empty())
                segments.pop_back();
            continue;
        }
        segments.push_back(s);
    }
    QByteArray out;
    for (const QByteArray &s : segments) {
        if (!out.isEmpty())
            out += '/';
        out += s;
    }
    return out;
}

std::vector<Relationship> readRelationships(ZipArchive &zip, const QByteArray &partName,
                                            const Limits &limits)
{
    std::vector<Relationship> out;
    const qsizetype slash = partName.lastIndexOf('/');
    const QByteArray relsName =
        partName.left(slash + 1) + "_rels/" + partName.mid(slash + 1) + ".rels";
    const qint64 index = zip.find(relsName);
    if (index < 0)
        return out;
    XmlPart part(zip, index, limits);
    for (auto token = part.next(); token != QXmlStreamReader::Invalid; token = part.next()) {
        if (token != QXmlStreamReader::StartElement || part.name() != u"Relationship")
            continue;
        if (part.attribute(u"TargetMode") == u"External")
            continue;
        const QStringView type = part.attribute(u"Type");
        out.push_back({part.attribute(u"Id").toString(),
                       type.mid(type.lastIndexOf(u'/') + 1).toString(),
                       resolvePartName(partName, part.attribute(u"Target"))});
    }
    return out;
}

QString textLimitReason(const Limits &limits)
{
    return QStringLiteral("over the %1 MiB text limit").arg(limits.textUnits >> 19);
}

ReadResult finishedText(ZipArchive &zip, TextSink &sink, bool overLimit, const Limits &limits)
{
    if (zip.failed())
        return {zip.failure(), zip.reason(), {}};
    if (overLimit || sink.overLimit())
        return {Failure::OverLimit, textLimitReason(limits), {}};
    return {Failure::None, {}, sink.take()};
}

void LineBuilder::flushTop()
{
    Frame &f = m_frames.back();
    if (!f.text.isEmpty()) {
        m_sink.append(f.text);
        m_sink.endLine();
    }
    m_frames.pop_back();
}

void LineBuilder::beginParagraph()
{
    if (!m_frames.empty() && m_frames.back().row) {
        Frame &f = m_frames.back();
        if (f.cellHasText)
            f.pendingSpace = true;
        m_opens.push_back('c');
        return;
    }
    m_frames.emplace_back();
    m_opens.push_back('P');
}

void LineBuilder::endParagraph()
{
    if (m_opens.empty())
        return;
    const char open = m_opens.back();
    m_opens.pop_back();
    if (open == 'P' && !m_frames.empty())
        flushTop();
}

void LineBuilder::beginRow()
{
    if (!m_frames.empty() && m_frames.back().row) {
        Frame &f = m_frames.back();
        ++f.innerRows;
        if (f.cellHasText)
            f.pendingSpace = true;
        m_opens.push_back('n');
        return;
    }
    Frame f;
    f.row = true;
    m_frames.push_back(std::move(f));
    m_opens.push_back('R');
}

void LineBuilder::endRow()
{
    if (m_opens.empty())
        return;
    const char open = m_opens.back();
    m_opens.pop_back();
    if (open == 'R' && !m_frames.empty())
        flushTop();
    else if (open == 'n' && !m_frames.empty())
        --m_frames.back().innerRows;
}

void LineBuilder::beginCell(qint64 columns)
{
    constexpr int kMaxTabs = 16384; // the columns of a sheet
    if (m_frames.empty() || !m_frames.back().row)
        return;
    Frame &f = m_frames.back();
    if (f.innerRows > 0) {
        if (f.cellHasText)
            f.pendingSpace = true;
        return;
    }
    if (f.seenCell)
        f.pendingTabs = std::min(f.pendingTabs + f.span, kMaxTabs);
    f.span = int(std::clamp<qint64>(columns, 1, kMaxTabs));
    f.seenCell = true;
    f.cellHasText = false;
    f.pendingSpace = false;
}

void LineBuilder::text(QStringView run)
{
    if (run.isEmpty() || overLimit())
        return;
    if (m_frames.empty())
        m_frames.emplace_back(); // text outside any paragraph: a line of its own
    Frame &f = m_frames.back();
    if (f.row) {
        if (f.pendingTabs > 0 && !f.text.isEmpty())
            f.text.append(QString(f.pendingTabs, u'\t'));
        else if (f.pendingSpace && f.cellHasText)
            f.text.append(u' ');
        f.pendingTabs = 0;
        f.pendingSpace = false;
        f.cellHasText = true;
    }
    if (f.text.size() + run.size() > m_limit) {
        m_overLimit = true;
        return;
    }
    // A line break in the markup's text (not a break element) reads as a space.
    const qsizetype at = f.text.size();
    f.text.append(run);
    if (run.contains(u'\n') || run.contains(u'\r')) {
        for (qsizetype i = at; i < f.text.size(); ++i)
            if (f.text[i] == u'\n' || f.text[i] == u'\r')
                f.text[i] = u' ';
    }
}

void LineBuilder::finish()
{
    while (!m_frames.empty())
        flushTop();
    m_opens.clear();
}

void LineBuilder::beginPart(const QString &label)
{
    finish();
    m_sink.beginPart(label);
}

} // namespace documents
