// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The result viewer: shows a text file decoded from code page 932 (or from
// UTF-8 or UTF-16, as the encoding mode says), read-only, with vertical and
// horizontal scrolling, and selects found text. Stands where the rich-text box
// stood; fast enough for very large files.
//
// The widget paints, scrolls, selects and takes keys and the mouse; what it
// shows comes from a LineIndex (the text and its lines, LineIndex.h), find is
// findText (TextFind.h), the file's bytes come from platform::readWholeFile
// (mapped read-only, guarded against truncation), and screen readers reach it
// through TextViewerAccessible.h. Only the lines on screen are decoded, when
// painted, so memory is about the file's size, whatever its lines.
//
// Offsets: every offset and length in this interface is a 0-based count of
// UTF-16 characters over the whole decoded text, in which each line break
// (CR-LF, a lone CR or a lone LF) counts as one character. text() gives that
// text with every line break as "\n". A file that begins with an RTF header is
// shown as plain text like any other.
//
// Keys: the arrows, Page Up/Down, Home and End scroll; Ctrl+C copies the
// selection; Ctrl+A selects the whole text; F3 and Shift+F3 go to the next and
// the previous line that holds every word of the keyword (MatchLines.h). The
// context menu (right button, the Menu key, Shift+F10) offers the same.

#include "documents/DocumentText.h"
#include "text/EncodingMode.h"
#include "text/Fold.h"
#include "viewer/LineIndex.h"

#include <QAbstractScrollArea>
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

class Beeper;
class LocationGutter;
class QMenu;
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
    // CR, LF) shows as a line break. The file is decoded as a search in `mode`
    // reads it (text/EncodingMode.h): code page 932, or UTF-8 or UTF-16 without
    // the byte order mark, an invalid sequence showing as U+FFFD. Returns
    // false, leaving the viewer empty, when the file cannot be read (missing,
    // not a regular file, unreadable, too large for memory).
    bool loadFile(const QByteArray &nativePath,
                  platform::EncodingMode mode = platform::EncodingMode::Cp932);

    // Replaces the whole content with a document's lines, each one line of the
    // viewer and of F3 (DocumentLines.h), and names where its parts begin in
    // a strip left of the text (LocationGutter.h) that is no part of it.
    // Returns false, leaving the viewer empty, when it does not fit in memory.
    bool showDocument(const documents::DocumentText &document);
    // Where the parts of the shown document begin; empty for a text file.
    const std::vector<documents::Location> &locations() const;
    // How the shown content was read, for the user: the encoding of a text
    // file, the kind of a document; empty for a set text.
    QString readAs() const { return m_readAs; }

    // A line for the user over the viewer, no part of the text (never
    // selected, copied or found): what the viewer is waiting for. New
    // content clears it.
    void setNotice(const QString &notice);
    QString notice() const { return m_notice; }

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

    // Selects the whole text; the view stays where it is.
    void selectAll();

    // Where F3 and Shift+F3 take the keyword's words from, read at each use:
    // the words as the search splits the keyword. Without a source, or when it
    // gives no words, they do nothing.
    void setKeywordSource(std::function<QStringList()> words);
    // The folds of loose matching (text/Fold.h) under which F3, Shift+F3 and
    // findUnderFolds() compare the words with the text; none by default.
    void setMatchFolds(textfold::Folds folds) { m_matchFolds = folds; }
    textfold::Folds matchFolds() const { return m_matchFolds; }
    // Selects the first occurrence of word under the match folds, its own
    // characters (ガス in xｶﾞｽy selects ｶﾞｽ), and scrolls it into view;
    // returns its offset, or -1 (selection unchanged) when there is none.
    qsizetype findUnderFolds(const QString &word);
    // The bell that F3 and Shift+F3 ring when there is no further line; by
    // default the system's.
    void setBeeper(Beeper *beeper);
    // F3 and Shift+F3: selects the first word's first occurrence on the next
    // line after the selection (the previous line before it) that holds every
    // word, and scrolls it into view. Where there is none the selection stays
    // and the bell rings. Returns whether the selection moved.
    bool findNextMatchLine();
    bool findPreviousMatchLine();

    // The context menu while it is open, or null.
    QMenu *contextMenu() const { return m_menu; }

    // Characters in the whole text (line breaks count one each).
    qsizetype length() const { return m_index.length(); }
    qsizetype lineCount() const { return m_index.lineCount(); }
    // The text of [from, to), line breaks as "\n".
    QString textRange(qsizetype from, qsizetype to) const { return m_index.textRange(from, to); }
    // The line holding the offset, and the first line on screen (0-based).
    qsizetype lineOfOffset(qsizetype offset) const;
    qsizetype firstVisibleLine() const;
    int visibleLineCount() const;
    // The offset under a point of the viewport, or -1 when there is no text.
    qsizetype offsetAt(const QPoint &viewportPos) const;
    // The rectangle, in viewport coordinates, of the character at offset.
    QRect characterRect(qsizetype offset) const;

    // Lines between two index checkpoints.
    static constexpr qsizetype kLinesPerCheckpoint = LineIndex::kLinesPerCheckpoint;

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
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    friend class LocationGutter;
    using Line = LineIndex::Line;
    void placeGutter();
    void showFromTop(bool hadSelection);

    void clearContent();
    bool findMatchLine(bool next);
    QStringList keywordWords() const;
    void copySelection() const;
    // Opens the context menu at a point of the viewport.
    void showMenu(QPoint viewportPos);
    QPoint keyboardMenuPos() const;

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

    void updateScrollBars();
    void ensureOffsetVisible(qsizetype offset);
    void setSelectionInternal(qsizetype start, qsizetype length);
    int lineHeight() const;
    int columnWidth() const;

    LineIndex m_index;
    qsizetype m_selStart = 0;
    qsizetype m_selLength = 0;
    qsizetype m_anchor = -1; // mouse selection anchor, -1 when not dragging
    std::function<QStringList()> m_keywordWords;
    textfold::Folds m_matchFolds;
    Beeper *m_beeper = nullptr; // null: the system's bell
    QMenu *m_menu = nullptr;
    LocationGutter *m_gutter = nullptr;
    QString m_readAs;
    QString m_notice;
};
