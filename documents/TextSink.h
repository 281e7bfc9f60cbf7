// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Builds a document's lines as a reader walks its markup. Runs of text are
// joined exactly as they come (a word split by formatting reads whole); a
// reader ends a line at each paragraph or row, puts cellBreak() between the
// cells of a row, and names each part (sheet, page, slide) before its first
// line. The text is counted as it grows: past Limits::textUnits the sink
// stops taking text and overLimit() says so.

#include "documents/DocumentText.h"
#include "documents/Limits.h"

#include <QStringView>

namespace documents {

class TextSink {
public:
    explicit TextSink(Kind kind, const Limits &limits = {});

    void append(QStringView run);
    void append(char16_t unit);
    // A tab between two cells of a row.
    void cellBreak() { append(u'\t'); }
    // Ends the current line, even when it is empty.
    void endLine();
    // Ends the current line if it holds any text.
    void endLineIfAny();
    // append(run), then endLineIfAny(); a run that is a line of its own is
    // copied once, straight into the lines.
    void appendLine(QStringView run);
    // appendLine() for each line of `text`, which end at CR or LF units (a
    // CR-LF pair ends a line and an empty one, which is passed over).
    void appendLines(QStringView text);
    // appendLines() of valid UTF-8, decoded only where its lines are kept or
    // go to a check that takes them as UTF-16.
    void appendUtf8Lines(QByteArrayView text);
    // From now on each line goes to `check` when it ends and is not kept
    // (its text still counts against the limit). The labels of parts are
    // then dropped too.
    void handLinesTo(LineCheck *check) { m_check = check; }
    // The next line begins a part named `label`.
    void beginPart(const QString &label);

    bool overLimit() const { return m_overLimit; }
    qsizetype lineCount() const { return qsizetype(m_text.lines.size()); }
    // The lines so far, the current one ended if it holds text.
    DocumentText take();

private:
    void keep(QStringView line);
    // Lines may go at once to the check, where it takes them so: they all
    // go to it, none is kept and no line is pending.
    bool atOnce() const { return m_check && m_line.isEmpty() && !m_overLimit; }
    // Counts `units` of lines taken at once when they all fit under the
    // limit (as appendLine() counts them); false, counting nothing, when not.
    bool counted(qint64 units)
    {
        if (m_units + units > m_limit)
            return false;
        m_units += units;
        return true;
    }

    DocumentText m_text;
    QString m_line; // the current line, its room kept from line to line
    qint64 m_units = 0;
    qint64 m_limit;
    bool m_overLimit = false;
    LineCheck *m_check = nullptr;
};

} // namespace documents
