// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The viewer control: shows a text file decoded from code page 932, read-only,
// with vertical and horizontal scrolling, and selects found text. Stands where
// the rich-text box stood; fast enough for very large files.
//
// A loaded file is kept as its raw bytes (mapped read-only where the system can,
// else read into memory) plus a sparse line index (one entry every
// kLinesPerCheckpoint lines); only the lines on screen are decoded, when painted.
// Memory is therefore about the file's size, whatever its lines. A mapped file
// that another program truncates while it is shown reads as zero bytes past its
// new end instead of ending the program.
//
// Offsets: every offset and length in this interface is a 0-based count of
// UTF-16 characters over the whole decoded text, in which each line break
// (CR-LF, a lone CR or a lone LF) counts as one character. text() gives that
// text with every line break as "\n". A file that begins with an RTF header is
// shown as plain text like any other.

#include <QAbstractScrollArea>
#include <QByteArray>
#include <QString>
#include <QVector>

#include <memory>

class QTextLayout;

class TextViewer : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TextViewer(QWidget *parent = nullptr);
    ~TextViewer() override;

    // Replaces the whole content with text (the search clears it with ""). Line
    // ends in text break lines the same way as in a file.
    void setText(const QString &text);
    QString text() const;

    // Replaces the whole content with the file's text; every line end (CR-LF,
    // CR, LF) shows as a line break. Returns false, leaving the viewer empty,
    // when the file cannot be read (missing, not a regular file, unreadable,
    // too large for memory).
    bool loadFile(const QByteArray &nativePath);

    // Finds text from the offset `start`, case-sensitively; selects the
    // occurrence, scrolls it into view and returns its offset, or -1 (selection
    // unchanged) when there is none, text is empty or start is out of range. A
    // line break in text matches any line end of the file.
    qsizetype find(const QString &text, qsizetype start);

    qsizetype selectionStart() const { return m_selStart; }
    qsizetype selectionLength() const { return m_selLength; }
    QString selectedText() const;

    // Selects [start, start + length), clipped to the text, and scrolls its
    // start into view.
    void select(qsizetype start, qsizetype length);

    // Characters in the whole text (line breaks count one each).
    qsizetype length() const { return m_length; }
    qsizetype lineCount() const { return m_lineCount; }
    // The text of [from, to), line breaks as "\n".
    QString textRange(qsizetype from, qsizetype to) const;
    // The line holding the offset, and the first line on screen (0-based).
    qsizetype lineOfOffset(qsizetype offset) const;
    qsizetype firstVisibleLine() const;
    int visibleLineCount() const;
    // The offset under a point of the viewport, or -1 when there is no text.
    qsizetype offsetAt(const QPoint &viewportPos) const;
    // The rectangle, in viewport coordinates, of the character at offset.
    QRect characterRect(qsizetype offset) const;

    // Lines between two index checkpoints.
    static constexpr qsizetype kLinesPerCheckpoint = 64;

Q_SIGNALS:
    void selectionChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    // One line: raw positions into the content (bytes of a file, or characters
    // of a set text), without its terminator; `offset` is the line's first
    // character offset and `chars` its length in characters.
    struct Line {
        qsizetype index = -1;
        qsizetype begin = 0;
        qsizetype end = 0;
        qsizetype next = 0; // raw position of the next line
        qsizetype offset = 0;
        qsizetype chars = 0;
    };
    struct Checkpoint {
        qsizetype pos;
        qsizetype offset;
    };

    void clearContent();
    void buildIndex();
    Line lineAt(qsizetype index) const;
    Line lineForOffset(qsizetype offset) const;
    Line lineForRawPos(qsizetype pos) const;
    Line stepLine(const Line &line) const;
    qsizetype terminatorAt(qsizetype pos) const;
    qsizetype charsIn(qsizetype begin, qsizetype end) const;
    qsizetype rawPosOfChar(const Line &line, qsizetype charInLine) const;
    QString decodeRange(qsizetype begin, qsizetype end) const;

    // The part of a line that is laid out: the whole line, or for a very long
    // one a window around the horizontal scroll position.
    struct Segment {
        qsizetype rawBegin = 0;
        qsizetype offset = 0; // character offset of the segment's start
        int x = 0;            // content x of the segment's start, in pixels
        QString text;
    };
    Segment segmentFor(const Line &line) const;
    void layoutSegment(QTextLayout &layout, const QString &text) const;

    qsizetype findFast(const QByteArray &pattern, qsizetype start) const;
    qsizetype findSlow(const QString &text, qsizetype start) const;

    void updateScrollBars();
    void ensureOffsetVisible(qsizetype offset);
    void setSelectionInternal(qsizetype start, qsizetype length);
    int lineHeight() const;
    int columnWidth() const;

    QByteArray m_bytes; // the loaded file, when m_isBytes; may point into m_mapping
    std::shared_ptr<const void> m_mapping; // keeps a mapped file mapped
    QString m_chars;                       // the set text, when !m_isBytes
    bool m_isBytes = false;
    QVector<Checkpoint> m_checkpoints;
    qsizetype m_lineCount = 1;
    qsizetype m_length = 0;
    qsizetype m_maxColumns = 0; // widest line, in half-width columns
    qsizetype m_selStart = 0;
    qsizetype m_selLength = 0;
    qsizetype m_anchor = -1; // mouse selection anchor, -1 when not dragging
    mutable Line m_lastLine; // the last line looked up, for sequential access
    mutable struct {
        qsizetype line = -1;
        qsizetype pos = 0;
        qsizetype chars = 0;
    } m_prefixCache; // chars before a raw position in a very long line
};
