#pragma once
// The viewer control: shows a text file decoded from code page 932, read-only,
// with vertical scrolling, and selects found text. Stands where the rich-text box
// stood; fast enough for very large files.

#include <QAbstractScrollArea>
#include <QByteArray>
#include <QString>

class TextViewer : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TextViewer(QWidget *parent = nullptr);
    ~TextViewer() override;

    // Replaces the whole content with text (the search clears it with "").
    void setText(const QString &text);
    QString text() const;

    // Replaces the whole content with the file's text; every line end (CR-LF,
    // CR, LF) shows as a line break. Returns false, leaving the viewer empty,
    // when the file cannot be read.
    bool loadFile(const QByteArray &nativePath);

    // Finds text from the 0-based character offset `start`, case-sensitively;
    // selects the occurrence, scrolls it into view and returns its offset, or
    // -1 (selection unchanged) when there is none or text is empty.
    qsizetype find(const QString &text, qsizetype start);

    qsizetype selectionStart() const;
    qsizetype selectionLength() const;
    QString selectedText() const;
};
