// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The viewer's text and its lines: either the raw bytes of a file (code page
// 932, decoded only where asked) or a set text, plus a sparse line index, one
// checkpoint every kLinesPerCheckpoint lines. Lines between checkpoints are
// found by stepping from the checkpoint before, so the index costs 16 bytes per
// 64 lines whatever the file.
//
// Two kinds of position:
// - raw positions: bytes into the file, or characters into the set text;
// - offsets: 0-based counts of UTF-16 characters over the whole decoded text,
//   in which each line break (CR-LF, a lone CR or a lone LF) counts as one
//   character. Each code page 932 unit decodes to exactly one character.
//
// Columns: half-width cells, as the viewer lays lines out and scrolls them. A
// code page 932 double-byte unit is two bytes, one character and two columns;
// in decoded text a character outside the BMP is two UTF-16 units and two
// columns when it is wide (ideographs, emoji), one otherwise; ASCII and
// half-width katakana are one column, a tab eight, anything else two.
//
// Not thread-safe: lookups remember the last line they reached, so that going
// through the text line after line costs one step a line.

#include <QByteArray>
#include <QString>
#include <QVector>

#include <memory>
#include <unordered_map>
#include <vector>

class LineIndex {
public:
    // Lines between two index checkpoints.
    static constexpr qsizetype kLinesPerCheckpoint = 64;

    // One line: raw positions into the content, without its terminator;
    // `offset` is the line's first character offset and `chars` its length in
    // characters.
    struct Line {
        qsizetype index = -1;
        qsizetype begin = 0;
        qsizetype end = 0;
        qsizetype next = 0; // raw position of the next line
        qsizetype offset = 0;
        qsizetype chars = 0;
    };

    LineIndex() { buildIndex(); }

    // Empties the content: one empty line.
    void clear();
    // Replaces the content with a set text and indexes it. decodeErrors: the
    // raw positions (ascending) of the U+FFFD characters that stand for bytes
    // the decoder could not read, which no word's U+FFFD matches.
    void setChars(const QString &text, std::vector<qsizetype> decodeErrors = {});
    bool hasDecodeErrors() const { return !m_decodeErrors.empty(); }
    bool isDecodeError(qsizetype pos) const;
    // Replaces the content with a file's bytes and indexes them; mapping keeps
    // them alive when they point into a mapped file. Throws std::bad_alloc
    // when the index does not fit in memory.
    void setBytes(QByteArray bytes, std::shared_ptr<const void> mapping);

    // Whether a lone LF ends a line as the search reads lines (the lines F3
    // goes through, MatchLines.h); by default, as in code page 932, it stays
    // inside the line. The index's own lines end at a lone LF either way.
    bool loneLfEndsLine() const { return m_loneLfEndsLine; }
    void setLoneLfEndsLine(bool ends) { m_loneLfEndsLine = ends; }

    bool isBytes() const { return m_isBytes; }
    const QByteArray &bytes() const { return m_bytes; }
    const QString &chars() const { return m_chars; }
    // Raw positions run from 0 to rawSize().
    qsizetype rawSize() const { return m_isBytes ? m_bytes.size() : m_chars.size(); }

    // Characters in the whole text (line breaks count one each).
    qsizetype length() const { return m_length; }
    qsizetype lineCount() const { return m_lineCount; }
    // The widest line, in half-width columns (a tab counts 8).
    qsizetype maxColumns() const { return m_maxColumns; }

    // The line by its 0-based index (clamped), by an offset in it or at its
    // line break (clamped), by a raw position in it or its terminator.
    Line lineAt(qsizetype index) const;
    Line lineForOffset(qsizetype offset) const;
    Line lineForRawPos(qsizetype pos) const;
    // The line after line, which must not be the last.
    Line stepLine(const Line &line) const;

    // Characters in the raw range [begin, end) of one line.
    qsizetype charsIn(qsizetype begin, qsizetype end) const;
    // The raw position of the line's character n (clamped to the line).
    qsizetype rawPosOfChar(const Line &line, qsizetype n) const;
    // The text of the raw range [begin, end) of one line.
    QString decodeRange(qsizetype begin, qsizetype end) const;
    void appendRange(qsizetype begin, qsizetype end, QString &out) const;
    // The text of the offsets [from, to), clamped, line breaks as "\n".
    QString textRange(qsizetype from, qsizetype to) const;

    // A character boundary in a line: its raw position, and the characters
    // and columns before it in the line.
    struct Place {
        qsizetype pos = 0;
        qsizetype chars = 0;
        qsizetype columns = 0;
    };
    // The line's last character boundary at or before a column, a character
    // count or a raw position (each clamped to the line). A very long line is
    // scanned once and marked every kPlaceStep raw positions, so each later
    // lookup in it costs at most kPlaceStep steps.
    Place placeAtColumn(const Line &line, qsizetype column) const;
    Place placeAtChar(const Line &line, qsizetype n) const;
    Place placeAtRaw(const Line &line, qsizetype pos) const;
    static constexpr qsizetype kPlaceStep = 4096;

private:
    struct Checkpoint {
        qsizetype pos;
        qsizetype offset;
    };

    void buildIndex();
    // The marks of a line, one every kPlaceStep raw positions, the first at
    // its start; made on first use and kept for a few lines.
    const std::vector<Place> &marksOf(const Line &line) const;
    template <typename Stop> Place walk(const Line &line, Place from, Stop stop) const;
    // The first CR or LF of the set text at or after pos, or its size.
    qsizetype terminatorAt(qsizetype pos) const;

    QByteArray m_bytes; // the loaded file, when m_isBytes; may point into m_mapping
    std::shared_ptr<const void> m_mapping; // keeps a mapped file mapped
    QString m_chars;                       // the set text, when !m_isBytes
    std::vector<qsizetype> m_decodeErrors; // in m_chars
    bool m_isBytes = false;
    bool m_loneLfEndsLine = false;
    QVector<Checkpoint> m_checkpoints;
    qsizetype m_lineCount = 1;
    qsizetype m_length = 0;
    qsizetype m_maxColumns = 0;
    mutable Line m_lastLine; // the last line looked up, for sequential access
    mutable std::unordered_map<qsizetype, std::vector<Place>> m_marks; // by line index
    mutable qsizetype m_markCount = 0;
};
