// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/TextSink.h"

#include "text/Utf16Scan.h"

#include <utility>

namespace documents {

TextSink::TextSink(Kind kind, const Limits &limits) : m_limit(limits.textUnits)
{
    m_text.kind = kind;
}

void TextSink::append(QStringView run)
{
    if (m_overLimit)
        return;
    if (m_units + run.size() > m_limit) {
        m_overLimit = true;
        return;
    }
    m_units += run.size();
    m_line.append(run);
}

void TextSink::append(char16_t unit)
{
    append(QStringView(&unit, 1));
}

void TextSink::endLine()
{
    if (m_overLimit)
        return;
    // A line costs its text and one unit for its end, so that a document of
    // empty paragraphs is bounded too.
    if (++m_units > m_limit) {
        m_overLimit = true;
        return;
    }
    keep(m_line);
    m_line.resize(0);
}

void TextSink::endLineIfAny()
{
    if (!m_line.isEmpty())
        endLine();
}

void TextSink::appendLine(QStringView run)
{
    if (!m_line.isEmpty()) {
        append(run);
        endLine();
        return;
    }
    if (m_overLimit || run.isEmpty())
        return;
    // Its text and its end, counted as append() and endLine() count them.
    if (m_units + run.size() + 1 > m_limit) {
        append(run);
        endLine();
        return;
    }
    m_units += run.size() + 1;
    keep(run);
}

void TextSink::appendLines(QStringView text)
{
    const char16_t *start = text.utf16();
    const char16_t *const end = start + text.size();
    // Lines that only go to a check that takes them at once: counted as
    // appendLine() would count them, and checked in one call while they all
    // fit under the limit.
    if (m_check && m_check->checkLines && m_line.isEmpty() && !m_overLimit) {
        const qint64 units = qint64(utf16scan::lineUnits(start, end));
        if (m_units + units <= m_limit) {
            m_units += units;
            if (!m_check->found)
                m_check->found = m_check->checkLines(m_check->context, text);
            return;
        }
    }
    for (;;) {
        const char16_t *at = utf16scan::findEither(start, end, u'\r', u'\n');
        appendLine(QStringView(start, at));
        if (at == end)
            break;
        start = at + 1;
    }
}

void TextSink::keep(QStringView line)
{
    if (!m_check) {
        // Copied out at its size; m_line keeps its room for the next.
        m_text.lines.emplace_back(line.constData(), line.size());
    } else if (!m_check->found) {
        m_check->found = m_check->check(m_check->context, line);
    }
}

void TextSink::beginPart(const QString &label)
{
    endLineIfAny();
    if (m_overLimit)
        return;
    const qsizetype line = lineCount();
    if (!m_text.locations.empty() && m_text.locations.back().line == line)
        m_text.locations.back().label = label; // a part with no lines
    else
        m_text.locations.push_back({line, label});
}

DocumentText TextSink::take()
{
    endLineIfAny();
    // A part with no lines at the end (an empty last sheet, notes with no
    // text) would point past the last line.
    while (!m_text.locations.empty() && m_text.locations.back().line >= lineCount())
        m_text.locations.pop_back();
    return std::exchange(m_text, DocumentText{m_text.kind, {}, {}});
}

} // namespace documents
