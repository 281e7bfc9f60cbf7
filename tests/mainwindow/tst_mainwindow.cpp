// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The main window driven as a user drives it: real key and mouse events on real
// widgets, searches over real folders, modal boxes answered through the seam.

#include "folderpicker/SelectFolder.h"
#include "infowindows/AboutWindow.h"
#include "mainwindow/MainWindow.h"
#include "platform/DirectoryListing.h"
#include "platform/FakeHelpViewer.h"
#include "platform/FakeMessageBox.h"
#include "platform/FakeVolumeList.h"
#include "platform/HelpFile.h"
#include "platform/SettingsStore.h"
#include "platform/Translations.h"
#include "platform/Twips.h"
#include "resources/Texts.h"
#include "viewer/TextViewer.h"

#include "mainwindow/PathList.h"
#include "search/SearchRun.h"
#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <functional>

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QStringList items(const PathListView *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->itemText(i);
    return out;
}

QStringList items(const QComboBox *box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

// Runs `check` on the next modal dialog once it is shown, then closes it.
void whenModalShown(std::function<void(QWidget *)> check)
{
    auto *poll = new QTimer(qApp);
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, qApp, [poll, check] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        poll->stop();
        poll->deleteLater();
        check(modal);
        modal->close();
    });
    poll->start();
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private:
    FakeMessageBox m_box;
    FakeHelpViewer m_help;
    FakeVolumeList m_volumes;
    MemorySettingsStore m_settings;
    PlatformServices m_services;
    std::unique_ptr<MainWindow> m_w;
    QTemporaryDir m_tree;
    QStringList m_panelTexts;
    QStringList m_startFolders; // the histories as start-up leaves them
    QStringList m_startKeywords;

    MainWindow &w() { return *m_w; }
    // Where a key goes: the focus widget, or the window when none has it.
    QWidget *focused()
    {
        QWidget *f = QApplication::focusWidget();
        return f ? f : m_w.get();
    }
    QString root() const { return m_tree.path(); }

    // Types into a box as a user does: focus, select all, type.
    void type(QComboBox *box, const QString &text)
    {
        box->setFocus();
        box->lineEdit()->selectAll();
        if (text.isEmpty())
            QTest::keyClick(box->lineEdit(), Qt::Key_Delete);
        else
            QTest::keyClicks(box->lineEdit(), text);
    }

    void prepare(const QString &folder, const QString &keyword)
    {
        type(w().Combo1, folder);
        type(w().Combo2, keyword);
        m_panelTexts.clear();
        m_box.clear();
    }

    QToolButton *toolButton(int index)
    {
        const auto actions = w().Toolbar1->actions();
        return qobject_cast<QToolButton *>(w().Toolbar1->widgetForAction(actions.at(index - 1)));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_tree.isValid());
        // a.txt and c.txt hold both words on one line; b.txt holds them on two.
        writeFile(root() + "/a.txt", "first line\r\nalpha beta\r\n");
        writeFile(root() + "/b.txt", "alpha\r\nbeta\r\n");
        writeFile(root() + "/sub/c.txt", "beta and alpha\r\n");
        writeFile(root() + "/sub/d.txt", "ALPHA BETA\r\n");
        m_volumes.add(root());
        m_services.messageBox = &m_box;
        m_services.help = &m_help;
        m_services.volumes = &m_volumes;
        m_services.settings = &m_settings;
    }

    void init()
    {
        m_w = std::make_unique<MainWindow>(m_services);
        connect(m_w.get(), &MainWindow::panelTextChanged, this,
                [this](const QString &t) { m_panelTexts << t; });
        m_w->show();
        QVERIFY(QTest::qWaitForWindowActive(m_w.get()));
        m_box.clear();
        m_help.clear();
        m_panelTexts.clear();
        m_startFolders = items(m_w->Combo1);
        m_startKeywords = items(m_w->Combo2);
    }

    void cleanup() { m_w.reset(); }

    void startsAsDesigned()
    {
        QCOMPARE(w().windowTitle(), texts::productName);
        QCOMPARE(w().panelText(), texts::productName);
        QCOMPARE(QApplication::focusWidget(), w().Combo1);
        QCOMPARE(items(w().Combo3), QStringList({"*.*", "*.txt"}));
        for (QWidget *hidden :
             {static_cast<QWidget *>(w().Combo3), static_cast<QWidget *>(w().List2), w().Picture1})
            QVERIFY(!hidden->isVisible());
        QVERIFY(!w().windowIcon().isNull());
        QCOMPARE(w().Check1->checkState(), Qt::Unchecked);
        // The viewer's design font is mapped to an installed Japanese font.
        QCOMPARE(w().RichTextBox1->font().family(), texts::viewerFontFamily);
        QVERIFY(QFontInfo(w().RichTextBox1->font()).family() != texts::viewerFontFamily);
        QCOMPARE(w().RichTextBox1->font().pointSize(), 9);
        // The menu bar in order, with the shortcuts.
        const auto menus = w().menuBar()->actions();
        QCOMPARE(menus.size(), 3);
        QCOMPARE(menus.at(0)->text(), texts::menuFile);
        QCOMPARE(menus.at(1)->text(), texts::menuSearch);
        QCOMPARE(menus.at(2)->text(), texts::menuHelp);
        QCOMPARE(w().MENU_EXIT->shortcut(), QKeySequence("Ctrl+X"));
        QCOMPARE(w().MENU_FOLDER->shortcut(), QKeySequence("Ctrl+F"));
        QCOMPARE(w().MENU_SEARCH->shortcut(), QKeySequence("Ctrl+S"));
        QCOMPARE(w().MENU_SEARCH_CATEGORY->actions().first(), w().MENU_FOLDER);
    }

    void tabVisitsTheControlsInOrderAndSkipsTheHiddenOnes()
    {
        const QList<QWidget *> order = {w().Combo2,       w().Command1, w().Command2, w().List1,
                                        w().RichTextBox1, w().Check1,   w().Combo1};
        for (QWidget *expected : order) {
            QTest::keyClick(focused(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), expected);
        }
    }

    void accessKeys()
    {
        w().Check1->setFocus();
        QTest::keyClick(focused(), Qt::Key_T, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), w().Combo1);
        QTest::keyClick(focused(), Qt::Key_K, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), w().Combo2);

        QTest::keyClick(focused(), Qt::Key_U, Qt::AltModifier);
        QTRY_COMPARE(w().Check1->checkState(), Qt::Checked);

        // Alt+B opens the folder picker.
        QSignalSpy commands(m_w.get(), &MainWindow::commandRun);
        bool pickerShown = false;
        whenModalShown([&](QWidget *m) { pickerShown = qobject_cast<SelectFolder *>(m); });
        QTest::keyClick(focused(), Qt::Key_B, Qt::AltModifier);
        QTRY_VERIFY(pickerShown);
        QCOMPARE(commands.first().first().toString(), QStringLiteral("MENU_FOLDER_Click"));
        QVERIFY(!w().selectFolder()); // unloaded when it closed
        w().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_w.get()));

        // Alt+S runs the search (the search button's access key), with the
        // sub-folder box ticked by Alt+U.
        prepare(root(), "alpha beta");
        QTest::keyClick(focused(), Qt::Key_S, Qt::AltModifier);
        QTRY_COMPARE(w().List1->count(), 2);
    }

    void altUThenEnterSearchesWithTheNewValue()
    {
        // The two keys back to back, with no event loop between them: the
        // search that Enter starts must see the box as Alt+U left it, both ways.
        prepare(root(), "alpha beta");
        QCOMPARE(w().Check1->checkState(), Qt::Unchecked);
        QTest::keyClick(focused(), Qt::Key_U, Qt::AltModifier);
        QCOMPARE(w().Check1->checkState(), Qt::Checked);
        QCOMPARE(QApplication::focusWidget(), w().Check1);
        QTest::keyClick(focused(), Qt::Key_Return);
        QStringList found = items(w().List1); // in the walk's order
        found.sort();
        QCOMPARE(found, QStringList({root() + "/a.txt", root() + "/sub/c.txt"}));

        w().Combo2->setFocus();
        QTest::keyClick(focused(), Qt::Key_U, Qt::AltModifier);
        QTest::keyClick(focused(), Qt::Key_Return);
        QCOMPARE(w().Check1->checkState(), Qt::Unchecked);
        QCOMPARE(items(w().List1), QStringList({root() + "/a.txt"}));
        // No late click of the old access key follows.
        QTest::qWait(250);
        QCOMPARE(w().Check1->checkState(), Qt::Unchecked);
    }

    void everyPathOfTheSearchGivesTheSameRun_data()
    {
        QTest::addColumn<QString>("trigger");
        QTest::newRow("menu item") << "menu";
        QTest::newRow("Ctrl+S") << "ctrl+s";
        QTest::newRow("search button") << "button";
        QTest::newRow("Enter in the folder box") << "enter-folder";
        QTest::newRow("Enter in the keyword box") << "enter-keyword";
        QTest::newRow("toolbar button 4") << "toolbar";
    }
    void everyPathOfTheSearchGivesTheSameRun()
    {
        QFETCH(QString, trigger);
        w().Check1->setCheckState(Qt::Checked);
        prepare(root(), "alpha beta");
        QSignalSpy commands(m_w.get(), &MainWindow::commandRun);

        if (trigger == "menu") {
            w().MENU_SEARCH_CATEGORY->popup(w().mapToGlobal(QPoint(40, 0)));
            QVERIFY(QTest::qWaitForWindowExposed(w().MENU_SEARCH_CATEGORY));
            const QRect item = w().MENU_SEARCH_CATEGORY->actionGeometry(w().MENU_SEARCH);
            QTest::mouseClick(w().MENU_SEARCH_CATEGORY, Qt::LeftButton, {}, item.center());
        } else if (trigger == "ctrl+s") {
            QTest::keyClick(focused(), Qt::Key_S, Qt::ControlModifier);
        } else if (trigger == "button") {
            QTest::mouseClick(w().Command2, Qt::LeftButton);
        } else if (trigger == "enter-folder") {
            w().Combo1->setFocus();
            QTest::keyClick(focused(), Qt::Key_Return);
        } else if (trigger == "enter-keyword") {
            w().Combo2->setFocus();
            QTest::keyClick(focused(), Qt::Key_Enter, Qt::KeypadModifier);
        } else {
            QTest::mouseClick(toolButton(4), Qt::LeftButton);
        }

        QTRY_COMPARE(commands.count(), 1); // one run, not two
        QCOMPARE(commands.first().first().toString(), QStringLiteral("MENU_SEARCH_Click"));
        QStringList found = items(w().List1);
        found.sort();
        QCOMPARE(found, QStringList({root() + "/a.txt", root() + "/sub/c.txt"}));
        QCOMPARE(w().panelText(), QStringLiteral("2個見つかりました"));
        QCOMPARE(w().path, root());
        QCOMPARE(items(w().Combo1), m_startFolders + QStringList{root()});
        QCOMPARE(items(w().Combo2), m_startKeywords + QStringList{"alpha beta"});
        QCOMPARE(w().Combo1->currentText(), root());
        QCOMPARE(m_box.count(), 0);
    }

    void panelPassesThroughTheTextsInOrder()
    {
        w().Check1->setCheckState(Qt::Checked);
        prepare(root(), "alpha beta");
        w().MENU_SEARCH_Click();

        // The work list is in walk order; the texts follow it.
        QStringList expected = {texts::analysingFolders, texts::analysingFolders, texts::searching};
        QStringList work = items(w().List2);
        QCOMPARE(work.size(), 4);
        for (const QString &file : work) {
            const QString status = texts::searchingFile + file;
            expected << status;
            if (file.endsWith("a.txt") || file.endsWith("c.txt"))
                expected << status + texts::foundSuffix;
        }
        expected << texts::productName << QStringLiteral("2個見つかりました");
        QCOMPARE(m_panelTexts, expected);
        // Results keep scan order.
        QStringList matchedInWorkOrder;
        for (const QString &file : work) {
            if (file.endsWith("a.txt") || file.endsWith("c.txt"))
                matchedInWorkOrder << file;
        }
        QCOMPARE(items(w().List1), matchedInWorkOrder);
        // Item data carries the native path the viewer opens.
        QCOMPARE(w().List1->itemData(0, Qt::UserRole).toByteArray(),
                 QFile::encodeName(matchedInWorkOrder.first()));
    }

    // Many results arrive in a few row insertions (one per paced repaint and
    // one at the end), not one per file, and still all of them in scan order.
    void manyResultsListInBatches()
    {
        QTemporaryDir many;
        QVERIFY(many.isValid());
        const int files = 2000;
        for (int i = 0; i < files; ++i)
            writeFile(many.path() + QStringLiteral("/f%1.txt").arg(i, 4, 10, QChar('0')),
                      "alpha beta\r\n");
        int batches1 = 0, batches2 = 0;
        connect(w().List1->model(), &QAbstractItemModel::rowsInserted, this, [&] { ++batches1; });
        connect(w().List2->model(), &QAbstractItemModel::rowsInserted, this, [&] { ++batches2; });
        prepare(many.path(), "alpha");
        w().MENU_SEARCH_Click();

        QCOMPARE(w().List1->count(), files);
        QCOMPARE(w().List2->count(), files);
        QCOMPARE(items(w().List1), items(w().List2)); // every file matches, in walk order
        QVERIFY2(batches1 * 10 < files, qPrintable(QString::number(batches1)));
        QVERIFY2(batches2 * 10 < files, qPrintable(QString::number(batches2)));

        // A second run clears what the first listed before it lists again.
        prepare(root(), "alpha beta");
        w().MENU_SEARCH_Click();
        QCOMPARE(items(w().List1), QStringList{root() + "/a.txt"});
        QCOMPARE(w().List2->count(), 2);
        QCOMPARE(w().List1->currentRow(), -1);
    }

    // The window runs the parallel engine: its lists are the one-thread run's,
    // in the same order, and every row arrives on the window's own thread.
    void listsEqualTheOneThreadRun()
    {
        QTemporaryDir tree;
        QVERIFY(tree.isValid());
        for (int i = 0; i < 1200; ++i) {
            const QString folder = tree.path() + QStringLiteral("/d%1").arg(i % 7);
            QDir().mkpath(folder);
            writeFile(folder + QStringLiteral("/f%1").arg(i),
                      i % 3 ? QByteArray("beta\r\nalpha") : QByteArray("x alpha beta"));
        }
        struct Lists : SearchObserver {
            QStringList listed, matched;
            void statusTextChanged(const QString &) override {}
            void fileListed(const FoundFile &file) override { listed << file.path(); }
            bool searchSubfolders() override { return true; }
            void fileMatched(const FoundFile &file) override { matched << file.path(); }
        } one;
        SearchOptions options;
        options.workers = 1;
        runSearch(tree.path(), QStringLiteral("alpha beta"), one, options);
        QCOMPARE(one.matched.size(), 400);

        bool offThread = false;
        connect(w().List1->model(), &QAbstractItemModel::rowsInserted, this,
                [&] { offThread = offThread || QThread::currentThread() != w().thread(); });
        w().Check1->setCheckState(Qt::Checked);
        prepare(tree.path(), "alpha beta");
        w().MENU_SEARCH_Click();
        QCOMPARE(items(w().List2), one.listed);
        QCOMPARE(items(w().List1), one.matched);
        QVERIFY(!offThread);
    }

    // Every caption shows whole at the default font: no label, check box or
    // button is narrower than its text needs.
    // Every caption shows whole at the default font: no label or check box is
    // narrower than its size hint, no push button narrower than its text
    // between the style's margins and frame. Each keeps its design place.
    void captionsAreNotCutOff()
    {
        QList<QWidget *> captioned;
        for (QWidget *c : w().findChildren<QWidget *>()) {
            // Tool buttons show icons only; the empty toolbar slot has no caption.
            auto *label = qobject_cast<QLabel *>(c);
            auto *button = qobject_cast<QAbstractButton *>(c);
            if (c->isVisible() && ((label && !label->text().isEmpty()) ||
                                   (button && !qobject_cast<QToolButton *>(c))))
                captioned << c;
        }
        QVERIFY(captioned.contains(w().Label1) && captioned.contains(w().Label2));
        QVERIFY(captioned.contains(w().Check1) && captioned.contains(w().Command2));
        for (QWidget *c : captioned) {
            int needed = c->sizeHint().width();
            if (auto *push = qobject_cast<QPushButton *>(c)) {
                QString shown = push->text();
                shown.remove(QLatin1Char('&'));
                const QStyle *st = push->style();
                needed = push->fontMetrics().horizontalAdvance(shown) +
                         2 * st->pixelMetric(QStyle::PM_ButtonMargin, nullptr, push) +
                         2 * st->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, push);
            }
            QVERIFY2(c->width() >= needed, qPrintable(QStringLiteral("%1: %2 < %3")
                                                          .arg(c->objectName())
                                                          .arg(c->width())
                                                          .arg(needed)));
        }
        const QList<std::pair<QWidget *, QPoint>> places = {
            {w().Label1, {120, 550}},    {w().Label2, {120, 910}},    {w().Check1, {120, 1320}},
            {w().Command1, {5160, 480}}, {w().Command2, {5160, 840}},
        };
        for (const auto &[c, at] : places)
            QCOMPARE(c->pos(), QPoint(twips::toPixelsX(at.x()), twips::toPixelsY(at.y())));
        // No caption lies under another control, whatever state that control
        // is in: here the keyword box has the focus and holds text, and the
        // folder box holds text.
        type(w().Combo1, root());
        type(w().Combo2, "alpha");
        QVERIFY(w().Combo2->hasFocus());
        for (QWidget *c : captioned) {
            for (QWidget *other :
                 c->parentWidget()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
                if (other == c || !other->isVisible())
                    continue;
                QVERIFY2(!c->geometry().intersects(other->geometry()),
                         qPrintable(QStringLiteral("%1 overlaps %2")
                                        .arg(c->objectName(), other->objectName())));
            }
        }
        // The folder and keyword boxes stay aligned and keep their right edges.
        QCOMPARE(w().Combo1->x(), w().Combo2->x());
        QCOMPARE(w().Combo2->geometry().right(), twips::toPixels(1320, 840, 3735, 300).right());
        QVERIFY(w().Combo2->x() >= twips::toPixelsX(1320));
    }

    void nothingFoundIsToldInABox()
    {
        prepare(root(), "nowhere");
        QString panelWhenShown;
        m_box.onShow([&](const FakeMessageBox::Shown &) { panelWhenShown = w().panelText(); });
        QTest::mouseClick(w().Command2, Qt::LeftButton);
        m_box.onShow({});
        QCOMPARE(m_box.count(), 1);
        QCOMPARE(m_box.shown().first().text, QStringLiteral("見つかりませんでした"));
        QCOMPARE(m_box.shown().first().title, QStringLiteral("Tarnwell"));
        QCOMPARE(m_box.shown().first().flags, 64);
        QCOMPARE(panelWhenShown, texts::productName);
        QCOMPARE(w().panelText(), texts::productName);
        QCOMPARE(w().List1->count(), 0);

        // A folder that does not exist finds nothing the same way.
        prepare(root() + "/missing", "alpha");
        w().MENU_SEARCH_Click();
        QCOMPARE(m_box.count(), 1);
        QCOMPARE(w().List2->count(), 0);
    }

    void searchThatRunsShortIsToldInABox()
    {
        // Descriptors that run out for good (injected: the listing keeps
        // failing with EMFILE) are not "nothing found": the user is told the
        // search could not be completed.
        prepare(root(), "alpha");
        platform::testing::setListingFault(EMFILE, 0, -1);
        QTest::mouseClick(w().Command2, Qt::LeftButton);
        platform::testing::setListingFault(0);
        QCOMPARE(m_box.count(), 1);
        QCOMPARE(m_box.shown().first().text, texts::searchIncomplete);
        QCOMPARE(m_box.shown().first().title, QStringLiteral("Tarnwell"));
        QCOMPARE(m_box.shown().first().flags, 48);
        QCOMPARE(w().panelText(), texts::productName);

        // Running short once is waited out: the same search then finds its files.
        w().Check1->setCheckState(Qt::Checked);
        platform::testing::setListingFault(EMFILE, 0, 2);
        w().MENU_SEARCH_Click();
        platform::testing::setListingFault(0);
        QCOMPARE(m_box.count(), 1);
        QCOMPARE(w().List1->count(), 3);
    }

    void threeFoundGivesTheCountAndNoBox()
    {
        w().Check1->setCheckState(Qt::Checked);
        prepare(root(), "alpha"); // a, b, c (d has it in capitals only)
        w().MENU_SEARCH_Click();
        QCOMPARE(w().List1->count(), 3);
        QCOMPARE(w().panelText(), QStringLiteral("3個見つかりました"));
        QCOMPARE(m_box.count(), 0);
    }

    void subfolderBoxDecidesTheWalk()
    {
        prepare(root(), "alpha beta");
        w().MENU_SEARCH_Click();
        QCOMPARE(items(w().List1), QStringList{root() + "/a.txt"});
        QCOMPARE(w().List2->count(), 2);
    }

    void historiesGrowOncePerDistinctText()
    {
        const QStringList keywords = {"alpha", "alpha", "ALPHA", "alpha"};
        for (const QString &k : keywords) {
            prepare(root(), k);
            w().MENU_SEARCH_Click();
        }
        prepare(root() + "/", "alpha");
        w().MENU_SEARCH_Click();
        QCOMPARE(items(w().Combo1), m_startFolders + QStringList({root(), root() + "/"}));
        QCOMPARE(items(w().Combo2), m_startKeywords + QStringList({"alpha", "ALPHA"}));
        // The edit texts stay as typed.
        QCOMPARE(w().Combo1->currentText(), root() + "/");
        QCOMPARE(w().Combo2->currentText(), QStringLiteral("alpha"));
        // Enter does not add to a history by itself.
        type(w().Combo2, "zzz-not-there");
        m_box.clear();
        QTest::keyClick(w().Combo2->lineEdit(), Qt::Key_Return);
        QCOMPARE(m_box.count(), 1);
        QCOMPARE(items(w().Combo2),
                 m_startKeywords + QStringList({"alpha", "ALPHA", "zzz-not-there"}));
    }

    void emptyKeywordOnlyWalksAndClearsTheViewer()
    {
        w().Check1->setCheckState(Qt::Checked);
        prepare(root(), "alpha beta");
        w().MENU_SEARCH_Click();
        w().List1->setCurrentRow(0); // shows a file in the viewer
        QVERIFY(!w().RichTextBox1->text().isEmpty());
        const QStringList results = items(w().List1);

        prepare(root() + "/sub", "");
        w().MENU_SEARCH_Click();
        QCOMPARE(w().RichTextBox1->text(), QString());
        QCOMPARE(items(w().List1), results);
        QCOMPARE(w().List2->count(), 2); // the walk ran
        QCOMPARE(w().panelText(), texts::analysingFolders);
        QCOMPARE(items(w().Combo1), m_startFolders + QStringList{root()});
        QCOMPARE(items(w().Combo2), m_startKeywords + QStringList{"alpha beta"});
        QCOMPARE(w().path, root() + "/sub");
        QCOMPARE(m_box.count(), 0);
    }

    // Ctrl+X cuts the selected text of the folder or keyword box; with
    // nothing selected there, or anywhere else, it exits.
    void ctrlXCutsASelectionElseExits_data()
    {
        QTest::addColumn<int>("box"); // 1, 2: Combo1, Combo2; 0: the result list
        QTest::addColumn<bool>("select");
        QTest::newRow("folder box, selection") << 1 << true;
        QTest::newRow("keyword box, selection") << 2 << true;
        QTest::newRow("keyword box, nothing selected") << 2 << false;
        QTest::newRow("result list") << 0 << false;
    }
    void ctrlXCutsASelectionElseExits()
    {
        QFETCH(int, box);
        QFETCH(bool, select);
        QComboBox *combo = box == 1 ? w().Combo1 : w().Combo2;
        type(combo, "keep me");
        if (select)
            combo->lineEdit()->setSelection(0, 5);
        else
            combo->lineEdit()->deselect();
        if (box == 0)
            w().List1->setFocus();
        QTest::keyClick(focused(), Qt::Key_X, Qt::ControlModifier);
        if (select) {
            QCOMPARE(combo->currentText(), QStringLiteral("me"));
            QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("keep "));
            QVERIFY(w().isVisible());
            return;
        }
        QTRY_VERIFY(!w().isVisible());
        QCOMPARE(combo->currentText(), QStringLiteral("keep me"));
        QCOMPARE(m_help.calls().last().command, int(HelpViewer::HELP_QUIT));
    }

    // A close during a search stops it and closes the window once it has
    // stopped, without waiting for its end.
    void closeDuringASearchStopsItAndCloses()
    {
        w().Check1->setCheckState(Qt::Checked);
        prepare(root(), "alpha");
        QTest::qWait(20); // let the repaint pacer's first interval pass
        bool visibleAtClose = false;
        QTimer::singleShot(0, m_w.get(), [this, &visibleAtClose] {
            visibleAtClose = w().searchRunning();
            w().close();
        });
        w().MENU_SEARCH_Click();
        QVERIFY(visibleAtClose);
        QVERIFY(w().panelText().startsWith(texts::searchStopped(0).left(8)));
        QCOMPARE(m_box.count(), 0);
        QVERIFY(!w().isVisible());
    }

    void toolbarDispatchesByIndexOnly()
    {
        QSignalSpy commands(m_w.get(), &MainWindow::commandRun);
        w().Toolbar1_ButtonClick(1); // the empty slot
        w().Toolbar1_ButtonClick(3);
        w().Toolbar1_ButtonClick(5);
        w().Toolbar1_ButtonClick(8);
        QCOMPARE(commands.count(), 0);

        QTest::mouseClick(toolButton(6), Qt::LeftButton);
        QCOMPARE(commands.count(), 1);
        QCOMPARE(m_help.calls().size(), 1);
        QCOMPARE(m_help.calls().first().command, int(HelpViewer::HELP_FINDER));
        QCOMPARE(m_help.calls().first().helpFile, QStringLiteral("tarnview.hlp"));

        bool aboutShown = false;
        whenModalShown([&](QWidget *m) { aboutShown = qobject_cast<AboutWindow *>(m); });
        QTest::mouseClick(toolButton(7), Qt::LeftButton);
        QTRY_VERIFY(aboutShown);
        QVERIFY(!w().aboutWindow());

        // The images and tips of the push buttons.
        for (int index : {2, 4, 6, 7}) {
            QVERIFY(!toolButton(index)->icon().isNull());
            QVERIFY(!toolButton(index)->toolTip().isEmpty());
            QCOMPARE(toolButton(index)->focusPolicy(), Qt::NoFocus);
        }
        QCOMPARE(toolButton(4)->toolTip(), texts::tipToolbarSearch);

        // One panel: a double-click on it runs nothing.
        QTest::mouseDClick(w().StatusBar1->findChild<QLabel *>(), Qt::LeftButton);
        QCOMPARE(commands.count(), 2);
    }

    // The placeholder (button 1) is an empty slot: hovering over it and
    // pressing it show nothing, and a click runs nothing.
    void toolbarPlaceholderIsInert()
    {
        QToolBar *bar = w().Toolbar1;
        const QRect slot = bar->actionGeometry(bar->actions().at(0));
        QVERIFY(slot.width() > 0 && slot.height() > 0);
        QWidget *inSlot = bar->childAt(slot.center());
        QVERIFY(inSlot);
        const QPoint at = inSlot->mapFrom(bar, slot.center());
        // Its look at rest, measured with the pointer elsewhere on the toolbar.
        QTest::mouseMove(bar, QPoint(bar->width() - 2, slot.center().y()));
        const QImage idle = bar->grab(slot).toImage();
        QSignalSpy commands(m_w.get(), &MainWindow::commandRun);

        QTest::mouseMove(inSlot, at);
        QTest::qWait(20);
        QCOMPARE(bar->grab(slot).toImage(), idle);
        QTest::mousePress(inSlot, Qt::LeftButton, {}, at);
        QCOMPARE(bar->grab(slot).toImage(), idle);
        QTest::mouseRelease(inSlot, Qt::LeftButton, {}, at);
        QCOMPARE(bar->grab(slot).toImage(), idle);
        QCOMPARE(commands.count(), 0);
        QCOMPARE(inSlot->focusPolicy(), Qt::NoFocus);
        QVERIFY(inSlot->toolTip().isEmpty());
    }

    // Tab (and Shift+Tab from the viewer) into the result list after a search
    // only moves the focus: no entry is selected and no file is loaded. The
    // first arrow key then selects the first entry and shows its file.
    void focusAloneSelectsNothingInTheResultList()
    {
        prepare(root(), "alpha");
        QTest::keyClick(focused(), Qt::Key_Return);
        QCOMPARE(w().List1->count(), 2);
        QCOMPARE(w().RichTextBox1->text(), QString());

        for (int i = 0; i < 3; ++i)
            QTest::keyClick(focused(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w().List1);
        QCOMPARE(w().List1->selectedRow(), -1);
        QCOMPARE(w().RichTextBox1->text(), QString());

        QTest::keyClick(focused(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w().RichTextBox1);
        QTest::keyClick(focused(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), w().List1);
        QCOMPARE(w().List1->selectedRow(), -1);
        QCOMPARE(w().RichTextBox1->text(), QString());

        QTest::keyClick(focused(), Qt::Key_Down);
        QCOMPARE(w().List1->selectedRow(), 0);
        QCOMPARE(w().List1->currentRow(), 0);
        const QString first = w().List1->itemText(0);
        QFile firstFile(first);
        QVERIFY(firstFile.open(QIODevice::ReadOnly));
        QCOMPARE(w().RichTextBox1->text(),
                 QString::fromLatin1(firstFile.readAll()).replace("\r\n", "\n"));
        QCOMPARE(w().RichTextBox1->selectedText(), QStringLiteral("alpha"));

        QTest::keyClick(focused(), Qt::Key_Down);
        QCOMPARE(w().List1->selectedRow(), 1);
        QFile secondFile(w().List1->itemText(1));
        QVERIFY(secondFile.open(QIODevice::ReadOnly));
        QCOMPARE(w().RichTextBox1->text(),
                 QString::fromLatin1(secondFile.readAll()).replace("\r\n", "\n"));

        // Leaving and coming back keeps the selection and loads nothing anew.
        w().RichTextBox1->setText(QString());
        QTest::keyClick(focused(), Qt::Key_Tab);
        QTest::keyClick(focused(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), w().List1);
        QCOMPARE(w().List1->selectedRow(), 1);
        QCOMPARE(w().RichTextBox1->text(), QString());
    }

    // Qt's own texts are Japanese once the toolkit's translation is installed
    // as the program installs it: the keyword box's context menu.
    void keywordBoxContextMenuIsJapanese()
    {
        QVERIFY2(platform::installToolkitTranslation(),
                 qPrintable(platform::toolkitTranslationFile()));
        type(w().Combo2, "alpha");
        QLineEdit *edit = w().Combo2->lineEdit();
        const QPoint at = edit->rect().center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, edit->mapToGlobal(at));
        QApplication::sendEvent(edit, &event);
        QMenu *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu);
        QStringList shown;
        for (const QAction *action : menu->actions()) {
            if (!action->isSeparator())
                shown << action->text().section(QLatin1Char('\t'), 0, 0);
        }
        menu->close();
        const QStringList expected = {
            QStringLiteral("元に戻す(&U)"), QStringLiteral("やり直す(&R)"),
            QStringLiteral("切り取り(&T)"), QStringLiteral("コピー(&C)"),
            QStringLiteral("貼り付け(&P)"), QStringLiteral("削除"),
            QStringLiteral("すべてを選択")};
        QCOMPARE(shown, expected);
    }

    void everyFolderTriggerOpensThePicker_data()
    {
        QTest::addColumn<QString>("trigger");
        QTest::newRow("Ctrl+F") << "ctrl+f";
        QTest::newRow("browse button") << "button";
        QTest::newRow("toolbar button 2") << "toolbar";
        QTest::newRow("menu item") << "menu";
    }
    void everyFolderTriggerOpensThePicker()
    {
        QFETCH(QString, trigger);
        w().path = root();
        bool pickerShown = false;
        whenModalShown([&](QWidget *m) { pickerShown = qobject_cast<SelectFolder *>(m); });
        if (trigger == "ctrl+f")
            QTest::keyClick(w().Combo2->lineEdit(), Qt::Key_F, Qt::ControlModifier);
        else if (trigger == "button")
            QTest::mouseClick(w().Command1, Qt::LeftButton);
        else if (trigger == "toolbar")
            QTest::mouseClick(toolButton(2), Qt::LeftButton);
        else
            w().MENU_FOLDER->trigger();
        QTRY_VERIFY(pickerShown);
        QVERIFY(!w().selectFolder());
    }

    void f1OpensTheTopicOfTheFocusedControl_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("topic"); // 0: the contents
        QTest::newRow("folder box") << "Combo1" << 11;
        QTest::newRow("browse button") << "Command1" << 12;
        QTest::newRow("keyword box") << "Combo2" << 13;
        QTest::newRow("search button") << "Command2" << 14;
        QTest::newRow("result list") << "List1" << 15;
        QTest::newRow("viewer") << "RichTextBox1" << 17;
        QTest::newRow("sub-folder box") << "Check1" << 0;
    }
    void f1OpensTheTopicOfTheFocusedControl()
    {
        QFETCH(QString, control);
        QFETCH(int, topic);
        auto *target = w().findChild<QWidget *>(control);
        QVERIFY(target);
        target->setFocus();
        QTest::keyClick(focused(), Qt::Key_F1);
        QCOMPARE(m_help.calls().size(), 1);
        const FakeHelpViewer::Call call = m_help.calls().first();
        QCOMPARE(call.helpFile, QStringLiteral("tarnview.hlp"));
        if (topic == 0) {
            QCOMPARE(call.command, int(HelpViewer::HELP_FINDER));
        } else {
            QCOMPARE(call.command, int(HelpViewer::HELP_CONTEXT));
            QCOMPARE(call.data, topic);
        }
    }

    void f1OnAHighlightedMenuItemOpensItsMenusTopic_data()
    {
        QTest::addColumn<int>("menu");
        QTest::addColumn<int>("topic");
        QTest::newRow("file") << 0 << 4;
        QTest::newRow("search") << 1 << 5;
        QTest::newRow("help") << 2 << 6;
    }
    void f1OnAHighlightedMenuItemOpensItsMenusTopic()
    {
        QFETCH(int, menu);
        QFETCH(int, topic);
        QMenu *m = w().menuBar()->actions().at(menu)->menu();
        m->popup(w().mapToGlobal(QPoint(10, 10)));
        QVERIFY(QTest::qWaitForWindowExposed(m));
        QTest::keyClick(m, Qt::Key_Down); // highlight the first item
        QVERIFY(m->activeAction());
        QTest::keyClick(m, Qt::Key_F1);
        QCOMPARE(m_help.calls().size(), 1);
        QCOMPARE(m_help.calls().first().command, int(HelpViewer::HELP_CONTEXT));
        QCOMPARE(m_help.calls().first().data, topic);
        QTRY_VERIFY(!m->isVisible());
    }

    void withoutAHelpFileNameNoHelpIsAsked()
    {
        helpfile::setName(QString()); // as during a splitter drag
        w().List1->setFocus();
        QTest::keyClick(focused(), Qt::Key_F1);
        w().MENU_CONTENTS_Click();
        helpfile::setName(texts::helpFileName);
        QCOMPARE(m_help.calls().size(), 2);
        for (const auto &call : m_help.calls())
            QCOMPARE(call.helpFile, QString());
    }

    void visibleControlsHaveAccessibleNames()
    {
        const QList<QWidget *> controls = {
            w().Check1, w().RichTextBox1, w().List1,  w().Command2, w().Command1,  w().Combo2,
            w().Combo1, w().Image1,       w().Label1, w().Label2,   toolButton(2), toolButton(7)};
        for (QWidget *control : controls) {
            QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(control);
            QVERIFY(iface);
            QVERIFY2(!iface->text(QAccessible::Name).isEmpty(), qPrintable(control->objectName()));
        }
        // The boxes are labelled by their captions for a screen reader.
        bool labelled = false;
        const auto relations =
            QAccessible::queryAccessibleInterface(w().Combo1)->relations(QAccessible::Label);
        for (const auto &relation : relations)
            labelled = labelled || relation.first->object() == w().Label1;
        QVERIFY(labelled);
        QCOMPARE(QAccessible::queryAccessibleInterface(toolButton(4))->text(QAccessible::Name),
                 texts::tipToolbarSearch);

        // The status text and the results are readable.
        prepare(root(), "alpha beta");
        w().MENU_SEARCH_Click();
        auto *panel = w().StatusBar1->findChild<QLabel *>();
        QCOMPARE(QAccessible::queryAccessibleInterface(panel)->text(QAccessible::Name),
                 QStringLiteral("1個見つかりました"));
        QAccessibleInterface *list = QAccessible::queryAccessibleInterface(w().List1);
        bool listed = false;
        for (int i = 0; i < list->childCount(); ++i)
            listed = listed || list->child(i)->text(QAccessible::Name) == root() + "/a.txt";
        QVERIFY(listed);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
