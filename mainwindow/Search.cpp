// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The search command and the result viewer, over the engine. The engine runs
// the walk and the scan and reports each step; the window shows them.

#include "mainwindow/MainWindow.h"

#include "mainwindow/PathList.h"

#include "platform/RepaintPacer.h"
#include "resources/Texts.h"
#include "search/ReadFailure.h"
#include "search/SearchRun.h"
#include "text/Cp932.h"
#include "text/JisEncodings.h"
#include "viewer/DocumentFile.h"
#include "viewer/TextViewer.h"

#include <QCheckBox>
#include <QComboBox>

#include <cerrno>
#include <new>

#include "platform/MessageBox.h"

namespace {

// Appends text to a combo box's list unless an entry is equal to it (exact,
// case-sensitive, whole text); the edit text stays as it is.
void addToHistory(QComboBox *box, const QString &text)
{
    for (int i = 0; i < box->count(); ++i) {
        if (box->itemText(i) == text)
            return;
    }
    const QString edit = box->currentText();
    box->addItem(text);
    box->setEditText(edit);
}

} // namespace

// The window as an observer of one search run.
class WindowSearchObserver : public SearchObserver {
public:
    explicit WindowSearchObserver(MainWindow &w) : m_w(w) {}
    // Whatever the run listed shows when it ends.
    ~WindowSearchObserver() override { commitLists(); }

    void statusTextChanged(const QString &text) override
    {
        m_w.setPanelText(text);
        repaintIfDue();
    }
    void workListCleared() override { m_w.List2->clear(); }
    void fileListed(const FoundFile &file) override
    {
        m_w.List2->append(file.nativePath);
        repaintIfDue();
    }
    bool searchSubfolders() override { return m_w.Check1->checkState() == Qt::Checked; }
    void viewerCleared() override
    {
        m_w.m_documentReads->stop(); // a document chosen before comes too late
        m_w.RichTextBox1->setText(QString());
        m_w.RichTextBox1->setToolTip(texts::tipViewer);
    }
    void resultsCleared() override { m_w.List1->clear(); }
    void fileMatched(const FoundFile &file) override
    {
        m_w.List1->append(file.nativePath);
        repaintIfDue();
    }
    // The run waits for a file: the window still paints and takes Esc.
    void stillWaiting() override { repaintIfDue(); }
    void cannotRead(const FoundFile &file, int error, bool brokenOff) override
    {
        m_w.m_unreadable << file.path() + QStringLiteral(": ") + cannotReadReason(error, brokenOff);
    }
    void cannotReadDocument(const FoundFile &file, const QString &reason) override
    {
        m_w.m_unreadable << file.path() + QStringLiteral(": ") + reason;
    }
    void folderFailed(int error) override { m_folderError = error; }
    void nothingFound() override
    {
        commitLists();
        m_w.showPanelText(); // "Tarnwell" shows behind the box
        m_w.m_pacer->flush();
        if (m_folderError != 0) // not an empty folder: one that cannot be searched
            m_w.showFolderError(m_folderError);
        else if (m_w.m_services.messageBox)
            m_w.m_services.messageBox->show(&m_w, nothingFoundText(), texts::productName,
                                            mb::Information);
    }
    // The keyword's character that the one encoding every file is read in
    // (code page 932 or EUC-JP) cannot represent, and the line that says so
    // (%1: the character); the empty text otherwise.
    void setUnrepresentable(const QString &character, const QString &line)
    {
        m_unrepresentable = character;
        m_unrepresentableLine = line;
    }
    // The keyword holds a full-width space the search took as part of a word.
    void setFullWidthSpace(bool held) { m_fullWidthSpace = held; }
    // Not a file that cannot be read (those are skipped silently): the run
    // itself could not be completed, and the user is told so.
    void runFailed(int) override
    {
        commitLists();
        m_w.showPanelText();
        m_w.m_pacer->flush();
        if (m_w.m_services.messageBox)
            m_w.m_services.messageBox->show(&m_w, texts::searchIncomplete, texts::productName,
                                            mb::Exclamation);
    }

private:
    void commitLists()
    {
        m_w.List2->commit();
        m_w.List1->commit();
    }
    QString nothingFoundText() const
    {
        QString text = texts::nothingFound;
        if (!m_unrepresentable.isEmpty())
            text += u'\n' + m_unrepresentableLine.arg(m_unrepresentable);
        if (m_fullWidthSpace)
            text += u'\n' + texts::keywordHasFullWidthSpace;
        return text;
    }
    void repaintIfDue()
    {
        if (!m_w.m_pacer->due())
            return;
        commitLists();
        m_w.showPanelText();
        m_w.m_pacer->flush();
    }

    MainWindow &m_w;
    QString m_unrepresentable;
    QString m_unrepresentableLine;
    bool m_fullWidthSpace = false;
    int m_folderError = 0;
};

QString MainWindow::GetToken(const QString &str, const QString &token)
{
    return m_tokenizer.GetToken(str, token);
}

void MainWindow::GetFileNameInAllSubDirectory(QString str)
{
    WindowSearchObserver observer(*this);
    walkFolder(str, observer);
}

void MainWindow::MENU_SEARCH_Click()
{
    // Input held during a search never starts another one.
    if (m_searchRunning || m_replayingInput)
        return;
    Q_EMIT commandRun(QStringLiteral("MENU_SEARCH_Click"));
    m_searchRunning = true;
    beginSearchInput();

    path = Combo1->currentText();
    const QString keywordText = Combo2->currentText();
    WindowSearchObserver observer(*this);
    SearchOptions options;
    options.encoding = m_encoding;
    options.folds = m_folds;
    m_listedFolds = m_folds;
    options.documents = searchReader();
    options.stop = m_stop.get_token();
    m_unreadable.clear(); // the list is the last search's
    MENU_UNREADABLE->setEnabled(false);
    // The viewer reads the listed files the same way.
    m_listedEncoding = m_encoding;
    m_listedDocuments = options.documents;
    // Such a keyword never matches a plain text file read as code page 932: the
    // box says why.
    if (m_encoding == platform::EncodingMode::Cp932 && !m_folds.any())
        observer.setUnrepresentable(cp932::firstUnrepresentable(keywordText),
                                    texts::keywordNotInCp932);
    if (m_encoding == platform::EncodingMode::EucJp && !m_folds.any())
        observer.setUnrepresentable(jis::firstNotInEucJp(keywordText), texts::keywordNotInEucJp);
    observer.setFullWidthSpace(!m_folds.width && keywordText.contains(QChar(0x3000)));
    SearchOutcome outcome;
    try {
        outcome = runSearch(path, keywordText, observer, options);
    } catch (const std::bad_alloc &) {
        // Memory refused where the run cannot do without (the list of files).
        observer.runFailed(ENOMEM);
    }
    if (!outcome.keywordEmpty) {
        addToHistory(Combo1, path);
        addToHistory(Combo2, keywordText);
    }

    if (!m_unreadable.isEmpty()) {
        if (!outcome.keywordEmpty) // else the walk's text stays
            setPanelText(panelText() + texts::unreadableSuffix(m_unreadable.size()));
        MENU_UNREADABLE->setEnabled(true);
        if (m_unreadableWindow)
            MENU_UNREADABLE_Click(); // shows the new list
    } else if (m_unreadableWindow) {
        m_unreadableWindow->close();
    }

    m_searchRunning = false;
    showPanelText();
    endSearchInput();
    if (m_closePending) {
        m_closePending = false;
        close();
    }
}

void MainWindow::List1_Click()
{
    const QString keywordText = Combo2->currentText();
    if (keywordText.isEmpty())
        return;
    const int row = List1->selectedRow();
    if (row < 0)
        return;
    // The first non-empty word: a keyword that begins with a space has an
    // empty first piece, which the search skips and would select nothing here.
    QString word = GetToken(keywordText, QStringLiteral(" "));
    while (word.isEmpty() && !m_tokenizer.atEnd())
        word = GetToken(QString(), QStringLiteral(" "));
    if (m_listedFolds.width) // the full-width space separates words too
        word = splitKeyword(keywordText, true).value(0);
    showListedFile(List1->itemData(row, Qt::UserRole).toByteArray(), word);
}

void MainWindow::showListedFile(const QByteArray &nativePath, const QString &word)
{
    m_documentReads->stop(); // the newer choice wins
    ListedDocument listed;
    listed.state = ListedDocument::Text;
    if (m_listedDocuments) {
        OpenedListedFile file(nativePath, m_listedDocuments);
        listed.state = file.state();
        if (listed.state == ListedDocument::Document) {
            // The reader may take up to its time limit: the window goes on,
            // and the viewer says what it waits for.
            RichTextBox1->setText(QString());
            RichTextBox1->setNotice(texts::viewerReadingDocument);
            RichTextBox1->setToolTip(texts::tipViewer);
            const platform::EncodingMode encoding = m_listedEncoding;
            m_documentReads->start(std::move(file), *m_listedDocuments,
                                   [this, nativePath, encoding, word](ListedDocument document) {
                                       showListed(nativePath, encoding, std::move(document), word);
                                   });
            return;
        }
    }
    showListed(nativePath, m_listedEncoding, std::move(listed), word);
}

void MainWindow::showListed(const QByteArray &nativePath, platform::EncodingMode encoding,
                            ListedDocument document, const QString &word)
{
    bool shown = false;
    if (document.state == ListedDocument::Document) {
        shown = RichTextBox1->showDocument(document.text);
    } else if (document.state == ListedDocument::Unreadable) {
        RichTextBox1->setText(QString()); // as for any file that cannot be read
    } else {
        shown = RichTextBox1->loadFile(nativePath, encoding);
    }
    // How the file was read, where the viewer's tip tells what it shows.
    QString tip = shown ? texts::tipViewer + u'\n' + texts::viewerReadAs + RichTextBox1->readAs()
                        : texts::tipViewer;
    if (shown && !document.reason.isEmpty())
        tip += u'\n' + texts::viewerNotAllMembers + document.reason;
    RichTextBox1->setToolTip(tip);
    // F3 and the first word compare as the search that listed the file did.
    RichTextBox1->setMatchFolds(m_listedFolds);
    // From offset 0, so a word at the very first character is found too.
    if (shown && !word.isEmpty() && m_listedFolds.any())
        RichTextBox1->findUnderFolds(word);
    else if (shown && !word.isEmpty())
        RichTextBox1->find(word, 0);
}
