// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The window with documents: the search menu's check item and its key in the
// settings store, the choice reaching the next search, the viewer showing a
// listed document's lines with the first word selected, F3 over them, the
// names of its parts beside the text and never in it, how each listed file
// was read, and a document that can no longer be read. A document is read
// on a thread of its own: the window goes on meanwhile, a newer choice or a
// search drops its late answer, and closing during a read ends it.

#include "mainwindow/MainWindow.h"
#include "mainwindow/PathList.h"
#include "platform/FakeBeeper.h"
#include "platform/FakeServices.h"
#include "resources/Texts.h"
#include "tests/common/FakeDocumentReader.h"
#include "tests/documents/docgui/ListedFiles.h"
#include "viewer/DocumentFile.h"
#include "viewer/LocationGutter.h"
#include "viewer/TextViewer.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDirIterator>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

using documents::Kind;

namespace {

const QString kConfig = QStringLiteral("Config");
const QString kDocuments = QStringLiteral("Documents");

// What the search reads as text today and a reader as a workbook: both hold
// the keyword on one line, so the file is listed with documents off or on.
const QByteArray kBook = QByteArray("PK\x03\x04", 4) + "請求書 未払い (raw)\n";
const QStringList kBookLines = {
    "売上一覧",  "品名\t請求書\t未払い", "請求書だけ", "未払いだけ", "件名 続き",
    "合計\t100", "請求書\t未払い\t2件",
};

documents::DocumentText book()
{
    documents::DocumentText text;
    text.kind = Kind::Excel;
    for (const QString &line : kBookLines)
        text.lines.push_back(line);
    text.lines[4] = QStringLiteral("件名\n続き"); // a break inside a line stays in it
    // Out of order, and one past the last line (an empty last sheet): the
    // viewer copes with a careless reader.
    text.locations = {
        {5, QStringLiteral("集計")}, {0, QStringLiteral("Sheet1")}, {7, QStringLiteral("空")}};
    return text;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

} // namespace

class TestDocumentWindow : public QObject {
    Q_OBJECT

    FakeServices m_fakes;
    FakeBeeper m_beeper;
    FakeDocumentReader m_reader;
    std::unique_ptr<MainWindow> m_w;
    QTemporaryDir m_tree;

    MainWindow &w() { return *m_w; }
    TextViewer &viewer() { return *m_w->RichTextBox1; }
    LocationGutter *gutter() { return viewer().findChild<LocationGutter *>(); }

    void start(bool withReader = true)
    {
        PlatformServices services = m_fakes.services();
        services.beeper = &m_beeper;
        services.documents = withReader ? &m_reader : nullptr;
        m_w = std::make_unique<MainWindow>(services);
        m_w->show();
        QVERIFY(QTest::qWaitForWindowActive(m_w.get()));
        m_fakes.help.clear();
    }
    void restart(bool withReader = true)
    {
        m_w->close(); // shut-down writes the settings
        m_w.reset();
        start(withReader);
    }

    // The search menu, then the documents item by its access key.
    void toggleDocuments()
    {
        QMenu *search = w().MENU_SEARCH_CATEGORY;
        search->popup(w().mapToGlobal(QPoint(10, 10)));
        QVERIFY(QTest::qWaitForWindowExposed(search));
        QTest::keyClick(search, Qt::Key_D);
        QTRY_VERIFY(!search->isVisible());
    }

    QStringList search(const QString &keyword)
    {
        const QStringList names = listedfiles::search(w(), m_tree.path(), keyword);
        m_fakes.messageBox.clear();
        return names;
    }

    // Selects the listed file by the keys, as a user does, and waits for a
    // document's text unless told not to.
    void show(const QString &name, bool wait = true)
    {
        QVERIFY2(listedfiles::show(w(), name, wait ? 5'000 : 0),
                 qPrintable(name + " is not shown"));
    }
    // Chooses the book while its read is held, and waits until the reader has it.
    void showHeldBook()
    {
        m_reader.hold(kBook);
        show(QStringLiteral("book.xlsx"), false);
        QTRY_COMPARE(m_reader.waiting(), 1);
        QVERIFY(w().documentReads().busy());
        QCOMPARE(viewer().text(), QString());
        QCOMPARE(viewer().notice(), texts::viewerReadingDocument);
    }

    qsizetype lineStart(int line) const
    {
        return kBookLines.mid(0, line).join(u'\n').size() + (line > 0 ? 1 : 0);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_tree.isValid());
        m_fakes.volumes.add(m_tree.path());
        m_fakes.settings.preset(kConfig, QStringLiteral("Encoding"), QStringLiteral("utf-8"));
        writeFile(m_tree.filePath("book.xlsx"), kBook);
        writeFile(m_tree.filePath("plain.txt"), "請求書 未払い\n");
        m_reader.setText(kBook, book());
    }
    void init()
    {
        writeFile(m_tree.filePath("book.xlsx"), kBook);
        m_fakes.settings.preset(kConfig, kDocuments, QStringLiteral("0"));
        m_reader.clearCalls();
    }
    void cleanup()
    {
        m_reader.release();
        m_w.reset();
    }

    void itemFollowsTheEncodingSubmenuAndIsKept_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("on");
        QTest::newRow("on") << "1" << true;
        QTest::newRow("off") << "0" << false;
        QTest::newRow("other text") << "true" << false;
        QTest::newRow("empty") << "" << false;
    }
    void itemFollowsTheEncodingSubmenuAndIsKept()
    {
        QFETCH(QString, stored);
        QFETCH(bool, on);
        m_fakes.settings.preset(kConfig, kDocuments, stored);
        start();
        const auto items = w().MENU_SEARCH_CATEGORY->actions();
        const qsizetype at = items.indexOf(w().MENU_ENCODING_CATEGORY->menuAction());
        QVERIFY(at >= 0 && at + 1 < items.size());
        QCOMPARE(items.at(at + 1), w().MENU_DOCUMENTS);
        QCOMPARE(w().MENU_DOCUMENTS->text(), QStringLiteral("文書ファイルも検索(&D)"));
        QVERIFY(w().MENU_DOCUMENTS->isCheckable() && w().MENU_DOCUMENTS->isEnabled());
        QCOMPARE(w().MENU_DOCUMENTS->isChecked(), on);
        restart();
        QCOMPARE(m_fakes.settings.value(kConfig, kDocuments), QString(on ? "1" : "0"));
        toggleDocuments();
        QCOMPARE(w().searchDocuments(), !on);
        restart();
        QCOMPARE(m_fakes.settings.value(kConfig, kDocuments), QString(on ? "0" : "1"));
        QCOMPARE(w().MENU_DOCUMENTS->isChecked(), !on);
    }

    void f1OnTheItemShowsTheSearchMenusTopic()
    {
        start();
        QMenu *menu = w().MENU_SEARCH_CATEGORY;
        menu->popup(w().mapToGlobal(QPoint(10, 10)));
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        menu->setActiveAction(w().MENU_DOCUMENTS);
        QTest::keyClick(menu, Qt::Key_F1);
        QCOMPARE(m_fakes.help.calls().size(), 1);
        QCOMPARE(m_fakes.help.calls().first().data, 5);
        QTRY_VERIFY(!menu->isVisible());
        QVERIFY(!w().searchDocuments()); // nothing toggled
    }

    // Without a reader the item is disabled, but a stored choice survives.
    void withoutAReaderTheItemIsDisabledAndKept()
    {
        m_fakes.settings.preset(kConfig, kDocuments, QStringLiteral("1"));
        start(false);
        QVERIFY(!w().MENU_DOCUMENTS->isEnabled());
        QCOMPARE(search(QStringLiteral("請求書 未払い")), (QStringList{"book.xlsx", "plain.txt"}));
        show(QStringLiteral("book.xlsx"));
        QVERIFY(viewer().text().endsWith(QStringLiteral("(raw)\n")));
        restart(false);
        QCOMPARE(m_fakes.settings.value(kConfig, kDocuments), QStringLiteral("1"));
    }

    // The viewer shows a file as the search that listed it read it: a choice
    // made since counts from the next search.
    void choiceTakesEffectAtTheNextSearch()
    {
        start();
        search(QStringLiteral("請求書 未払い"));
        toggleDocuments();
        show(QStringLiteral("book.xlsx"));
        QVERIFY(viewer().text().endsWith(QStringLiteral("(raw)\n")));
        QVERIFY(m_reader.calls().isEmpty());
        QCOMPARE(search(QStringLiteral("請求書 未払い")), (QStringList{"book.xlsx", "plain.txt"}));
        show(QStringLiteral("book.xlsx"));
        QCOMPARE(viewer().text(), kBookLines.join(u'\n'));
        QCOMPARE(m_reader.calls().last().container, documents::Container::Zip);
    }

    void documentShownWithItsFirstWordAndF3OverItsLines()
    {
        m_fakes.settings.preset(kConfig, kDocuments, QStringLiteral("1"));
        start();
        search(QStringLiteral("請求書 未払い"));
        show(QStringLiteral("book.xlsx"));
        QCOMPARE(viewer().lineCount(), qsizetype(kBookLines.size()));
        QCOMPARE(viewer().selectedText(), QStringLiteral("請求書"));
        QCOMPARE(viewer().selectionStart(), lineStart(1) + 3);

        // F3 skips the lines holding one word only, and the break inside line 4.
        viewer().setFocus();
        QTest::keyClick(&viewer(), Qt::Key_F3);
        QCOMPARE(viewer().selectionStart(), lineStart(6));
        QCOMPARE(viewer().selectedText(), QStringLiteral("請求書"));
        QTest::keyClick(&viewer(), Qt::Key_F3);
        QCOMPARE(m_beeper.count(), 1);
        QCOMPARE(viewer().selectionStart(), lineStart(6));
        QTest::keyClick(&viewer(), Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(viewer().selectionStart(), lineStart(1) + 3);
    }

    // The parts' names stand beside the lines they begin, outside the text.
    void partNamesAreNeverSelectedOrCopied()
    {
        m_fakes.settings.preset(kConfig, kDocuments, QStringLiteral("1"));
        start();
        search(QStringLiteral("請求書 未払い"));
        show(QStringLiteral("book.xlsx"));
        LocationGutter *strip = gutter();
        QVERIFY(strip && strip->isVisible());
        QVERIFY(strip->geometry().right() < viewer().viewport()->geometry().left());
        QCOMPARE(strip->labelOnRow(0), QStringLiteral("Sheet1"));
        QCOMPARE(strip->labelOnRow(5), QStringLiteral("集計"));
        QCOMPARE(strip->labelOnRow(1), QString());

        // A click on a name selects nothing; Ctrl+A, Ctrl+C copies the lines only.
        const QPoint name(strip->width() / 2, 2);
        QTest::mouseClick(strip, Qt::LeftButton, {}, name);
        QCOMPARE(viewer().selectedText(), QStringLiteral("請求書"));
        viewer().setFocus();
        QTest::keyClick(&viewer(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(&viewer(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), kBookLines.join(u'\n'));

        // Scrolled into the second part, its name shows dimmed at the top.
        viewer().verticalScrollBar()->setRange(0, 6);
        viewer().verticalScrollBar()->setValue(6);
        bool dimmed = false;
        QCOMPARE(strip->labelOnRow(0, &dimmed), QStringLiteral("集計"));
        QVERIFY(dimmed);

        // Another file's view has no strip.
        show(QStringLiteral("plain.txt"));
        QVERIFY(!strip->isVisible());
        QVERIFY(viewer().locations().empty());
    }

    void howEachFileWasReadIsShown()
    {
        m_fakes.settings.preset(kConfig, kDocuments, QStringLiteral("1"));
        start();
        search(QStringLiteral("請求書 未払い"));
        const struct {
            const char *name;
            QString readAs;
        } files[] = {{"book.xlsx", "読み取り: Excel ブック"},
                     {"plain.txt", "読み取り: UTF-8 (テキスト)"}};
        for (const auto &file : files) {
            show(QString::fromLatin1(file.name));
            QVERIFY(viewer().toolTip().endsWith(u'\n' + file.readAs));
            viewer().setFocus();
            QTest::keyClick(&viewer(), Qt::Key_Menu);
            QTRY_VERIFY(viewer().contextMenu() && viewer().contextMenu()->isVisible());
            const QAction *last = viewer().contextMenu()->actions().last();
            QCOMPARE(last->text(), file.readAs);
            QVERIFY(!last->isEnabled());
            viewer().contextMenu()->close();
            QTRY_VERIFY(!viewer().contextMenu());
        }
    }

    // Changed after the search: damaged, it shows as any unreadable file (an
    // empty viewer); no longer a document, it shows as text.
    void aFileThatNoLongerReadsAsBefore()
    {
        m_fakes.settings.preset(kConfig, kDocuments, QStringLiteral("1"));
        start();
        search(QStringLiteral("請求書 未払い"));
        const QByteArray damaged = kBook + "truncated";
        documents::ReadResult failed;
        failed.failure = documents::Failure::Damaged;
        m_reader.setResult(damaged, failed);
        writeFile(m_tree.filePath("book.xlsx"), damaged);
        show(QStringLiteral("book.xlsx"));
        QCOMPARE(viewer().text(), QString());
        QCOMPARE(viewer().selectionLength(), 0);
        QVERIFY(!gutter()->isVisible());

        writeFile(m_tree.filePath("book.xlsx"), kBook + "other");
        show(QStringLiteral("plain.txt"));
        show(QStringLiteral("book.xlsx"));
        QVERIFY(viewer().text().endsWith(QStringLiteral("(raw)\nother")));
        QCOMPARE(viewer().selectedText(), QStringLiteral("請求書"));
    }

    // While the reader takes its time the window takes input: the search
    // menu opens and its item toggles; then the text shows as usual.
    void windowGoesOnWhileADocumentIsRead()
    {
        m_fakes.settings.preset(kConfig, kDocuments, QStringLiteral("1"));
        start();
        search(QStringLiteral("請求書 未払い"));
        showHeldBook();
        toggleDocuments();
        QVERIFY(!w().searchDocuments());
        QCOMPARE(m_reader.waiting(), 1);
        m_reader.release();
        QTRY_VERIFY(!w().documentReads().busy());
        QCOMPARE(viewer().text(), kBookLines.join(u'\n'));
        QCOMPARE(viewer().notice(), QString());
        QCOMPARE(viewer().selectedText(), QStringLiteral("請求書"));
        QCOMPARE(viewer().selectionStart(), lineStart(1) + 3);
        QVERIFY(viewer().toolTip().endsWith(QStringLiteral("Excel ブック")));
        viewer().setFocus();
        QTest::keyClick(&viewer(), Qt::Key_F3);
        QCOMPARE(viewer().selectionStart(), lineStart(6));
    }

    // A choice or a search made while a document is read wins over it:
    // the reader is asked to stop, and its answer, however late, is dropped.
    void aLaterChoiceWinsOverASlowRead_data()
    {
        QTest::addColumn<bool>("newSearch");
        QTest::addColumn<bool>("heedStop");
        QTest::newRow("another file") << false << true;
        QTest::newRow("another file, reader never gives up") << false << false;
        QTest::newRow("a new search, reader never gives up") << true << false;
    }
    void aLaterChoiceWinsOverASlowRead()
    {
        QFETCH(bool, newSearch);
        QFETCH(bool, heedStop);
        m_fakes.settings.preset(kConfig, kDocuments, QStringLiteral("1"));
        start();
        search(QStringLiteral("請求書 未払い"));
        showHeldBook();
        m_reader.hold(kBook, heedStop, 0); // the viewer's read waits on; no later read
        QString shown;
        if (newSearch) {
            QCOMPARE(search(QStringLiteral("未払い")), (QStringList{"book.xlsx", "plain.txt"}));
        } else {
            show(QStringLiteral("plain.txt"));
            shown = QStringLiteral("請求書 未払い\n");
            QCOMPARE(viewer().selectedText(), QStringLiteral("請求書"));
        }
        QCOMPARE(viewer().text(), shown);
        QCOMPARE(viewer().notice(), QString());
        QVERIFY(!w().documentReads().busy());
        if (heedStop)
            QTRY_COMPARE(m_reader.stopped(), 1);
        else
            m_reader.release();
        // The late answer has been handed back; it must change nothing.
        QTRY_COMPARE(w().documentReads().running(), 0);
        QCoreApplication::processEvents();
        QCOMPARE(viewer().text(), shown);
        QVERIFY(viewer().locations().empty());
    }

    // Closing the window during a read ends the read, and the window goes.
    void closingDuringAReadIsClean()
    {
        m_fakes.settings.preset(kConfig, kDocuments, QStringLiteral("1"));
        start();
        search(QStringLiteral("請求書 未払い"));
        showHeldBook();
        QVERIFY(w().close());
        QTRY_COMPARE(m_reader.stopped(), 1);
        m_w.reset(); // joins the read
        QCOMPARE(m_fakes.settings.value(kConfig, kDocuments), QStringLiteral("1"));
    }

    // Every link of every help page leads to a page of the bundle, and the
    // search menu's page leads to the one about documents.
    void helpPagesLinkWithinTheBundle()
    {
        const QRegularExpression link(QStringLiteral("href=\"([^\"#]+)"));
        QStringList pages;
        for (QDirIterator it(QStringLiteral(":/help")); it.hasNext();)
            pages << QFileInfo(it.next()).fileName();
        QVERIFY(pages.contains(QStringLiteral("documents.html")));
        for (const QString &page : pages) {
            QFile file(":/help/" + page);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QString html = QString::fromUtf8(file.readAll());
            for (auto m = link.globalMatch(html); m.hasNext();) {
                const QString target = m.next().captured(1);
                QVERIFY2(pages.contains(target), qPrintable(page + " -> " + target));
            }
            if (page == QLatin1String("topic5.html"))
                QVERIFY(html.contains(QStringLiteral("href=\"documents.html\"")));
        }
    }
};

QTEST_MAIN(TestDocumentWindow)
#include "tst_documentwindow.moc"
