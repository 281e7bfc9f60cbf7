// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The search menu's encoding submenu: its items, choosing each with the keys,
// the mode reaching the next search and the viewer, F1 on it, and the choice
// kept in the settings store from one start to the next.

#include "resources/Texts.h"
#include "tests/mainwindow/WindowFixture.h"
#include "viewer/TextViewer.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

using platform::EncodingMode;

namespace {

const QString kConfig = QStringLiteral("Config");
const QString kEncoding = QStringLiteral("Encoding");

} // namespace

class TestEncodingMenu : public QObject, protected WindowFixture {
    Q_OBJECT

private:
    // Opens the search menu, then the submenu by its access key (E), then
    // presses an item's access key, as a user does.
    void choose(Qt::Key item)
    {
        openSearchSubmenu(Qt::Key_E, w().MENU_ENCODING_CATEGORY);
        QTest::keyClick(w().MENU_ENCODING_CATEGORY, item);
        QTRY_VERIFY(!w().MENU_SEARCH_CATEGORY->isVisible());
    }

    // Shows the listed file of that name in the viewer, by the keys.
    void show(const QString &name)
    {
        w().List1->setFocus();
        for (int i = 0; i < w().List1->count(); ++i) {
            QTest::keyClick(w().List1, i == 0 ? Qt::Key_Home : Qt::Key_Down);
            if (QFileInfo(w().List1->itemText(w().List1->selectedRow())).fileName() == name)
                return;
        }
        QFAIL(qPrintable(name + " is not listed"));
    }

    // Shows the listed file of that name by a click on its row (the keys do
    // nothing on a list of one row that is already current).
    void click(const QString &name)
    {
        PathListView *list = w().List1;
        for (int i = 0; i < list->count(); ++i) {
            if (QFileInfo(list->itemText(i)).fileName() == name) {
                const QRect rect = list->visualRect(list->model()->index(i, 0));
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
                QTRY_COMPARE(list->selectedRow(), i);
                return;
            }
        }
        QFAIL(qPrintable(name + " is not listed"));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_tree.isValid());
        const QByteArray settei = QStringLiteral("設定").toUtf8();
        // One word in each file; the two words on lines split by a lone LF.
        writeFile(root() + "/sjis.txt", "\x90\xDD\x92\xE8 alpha\nbeta\r\n");
        writeFile(root() + "/utf8.txt", "x " + settei + " alpha\nbeta\n");
        writeFile(root() + "/utf16.txt",
                  QByteArray("\xFF\xFE") +
                      QByteArray(reinterpret_cast<const char *>(u"設定\r\n"), 8));
        writeFile(root() + "/yoshinoya.txt", QStringLiteral("𠮷野家 ¥100\n").toUtf8());
        // Below: a file's own byte order mark, and U+FEFF inside the text.
        writeFile(root() + "/mark/marked.txt", "\xEF\xBB\xBF"
                                               "alpha\n");
        writeFile(root() + "/mark/inner.txt", "x\xEF\xBB\xBF"
                                              "alpha\n");
    }

    void cleanup() { m_w.reset(); }

    void submenuFollowsTheSearchItem()
    {
        start();
        const auto actions = w().MENU_SEARCH_CATEGORY->actions();
        const int at = int(actions.indexOf(w().MENU_SEARCH));
        QVERIFY(at >= 0 && at + 1 < actions.size());
        QCOMPARE(actions.at(at + 1)->menu(), w().MENU_ENCODING_CATEGORY);
        QCOMPARE(w().MENU_ENCODING_CATEGORY->title(), QStringLiteral("文字コード(&E)"));
        const auto items = w().MENU_ENCODING_CATEGORY->actions();
        QCOMPARE(items.size(), 4);
        QCOMPARE(items.at(0)->text(), QStringLiteral("シフトJIS(&J)"));
        QCOMPARE(items.at(1)->text(), QStringLiteral("UTF-8(&U)"));
        QCOMPARE(items.at(2)->text(), QStringLiteral("EUC-JP(&E)"));
        QCOMPARE(items.at(3)->text(), QStringLiteral("自動判別(&A)"));
        for (QAction *item : items)
            QVERIFY(item->isCheckable());
        // An empty store: the default, code page 932.
        QVERIFY(w().MENU_ENCODING_CP932->isChecked());
        QCOMPARE(w().encodingMode(), EncodingMode::Cp932);
    }

    void eachItemSetsTheModeAndOnlyItsRadio_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("mode");
        QTest::newRow("UTF-8") << int(Qt::Key_U) << int(EncodingMode::Utf8);
        QTest::newRow("auto") << int(Qt::Key_A) << int(EncodingMode::Auto);
        QTest::newRow("Shift_JIS") << int(Qt::Key_J) << int(EncodingMode::Cp932);
        QTest::newRow("EUC-JP") << int(Qt::Key_E) << int(EncodingMode::EucJp);
    }
    void eachItemSetsTheModeAndOnlyItsRadio()
    {
        QFETCH(int, key);
        QFETCH(int, mode);
        m_settings.preset(kConfig, kEncoding, QStringLiteral("auto"));
        start();
        if (mode == int(EncodingMode::Auto))
            choose(Qt::Key_J); // start from another item
        choose(Qt::Key(key));
        QCOMPARE(int(w().encodingMode()), mode);
        QAction *expected[] = {w().MENU_ENCODING_CP932, w().MENU_ENCODING_UTF8,
                               w().MENU_ENCODING_AUTO, w().MENU_ENCODING_EUCJP};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(expected[i]->isChecked(), i == mode);
    }

    // The mode takes effect at the next search, and the viewer shows a listed
    // file as the search that listed it read it, even after another choice.
    void modeReachesTheNextSearchAndTheViewer()
    {
        m_settings.preset(kConfig, kEncoding, QStringLiteral("cp932"));
        start();
        QCOMPARE(search(QStringLiteral("設定")), QStringList{"sjis.txt"});
        // A lone LF stays inside a line.
        QStringList both = search(QStringLiteral("alpha beta"));
        both.sort();
        QCOMPARE(both, (QStringList{"sjis.txt", "utf8.txt"}));

        choose(Qt::Key_U);
        QCOMPARE(search(QStringLiteral("alpha beta")), QStringList{}); // LF ends the line
        m_box.clear();
        QStringList utf8 = search(QStringLiteral("設定"));
        QCOMPARE(utf8, QStringList{"utf8.txt"});

        choose(Qt::Key_A);
        QStringList all = search(QStringLiteral("設定"));
        all.sort();
        QCOMPARE(all, (QStringList{"sjis.txt", "utf16.txt", "utf8.txt"}));

        show(QStringLiteral("utf16.txt"));
        QCOMPARE(w().RichTextBox1->text(), QStringLiteral("設定\n"));
        QCOMPARE(w().RichTextBox1->selectedText(), QStringLiteral("設定"));
        QCOMPARE(w().RichTextBox1->selectionStart(), 0);

        // Chosen now, used only by the next search: the list still shows auto.
        choose(Qt::Key_J);
        show(QStringLiteral("utf8.txt"));
        QCOMPARE(w().RichTextBox1->text(), QStringLiteral("x 設定 alpha\nbeta\n"));
        QCOMPARE(w().RichTextBox1->selectedText(), QStringLiteral("設定"));
        QCOMPARE(w().RichTextBox1->selectionStart(), 2);
        show(QStringLiteral("sjis.txt"));
        QCOMPARE(w().RichTextBox1->text(), QStringLiteral("設定 alpha\nbeta\n"));
        QCOMPARE(w().RichTextBox1->selectedText(), QStringLiteral("設定"));

        // Now the next search reads code page 932 only.
        QCOMPARE(search(QStringLiteral("設定")), QStringList{"sjis.txt"});
    }

    // In シフトJIS mode a keyword with a character that code page 932 cannot
    // hold finds nothing, and the box says why in one more line; the other
    // modes find it.
    void keywordThatCp932CannotHoldIsExplained()
    {
        m_settings.preset(kConfig, kEncoding, QStringLiteral("cp932"));
        start();
        for (const QString &c : {QStringLiteral("𠮷"), QStringLiteral("¥")}) {
            m_box.clear();
            QCOMPARE(search(QStringLiteral("野家 ") + c), QStringList{});
            QCOMPARE(m_box.count(), 1);
            const QStringList lines = m_box.shown().first().text.split(u'\n');
            QCOMPARE(lines.size(), 2);
            QCOMPARE(lines[0], QStringLiteral("見つかりませんでした"));
            QVERIFY2(lines[1].contains(QStringLiteral("「") + c + QStringLiteral("」")) &&
                         lines[1].contains(QStringLiteral("テキストファイルからは")) &&
                         lines[1].contains(QStringLiteral("[文字コード]")) &&
                         lines[1].contains(QStringLiteral("UTF-8")),
                     qPrintable(lines[1]));
        }
        // A keyword that can be held but is not found: the box as before.
        m_box.clear();
        QCOMPARE(search(QStringLiteral("野家")), QStringList{});
        QCOMPARE(m_box.count(), 1);
        QCOMPARE(m_box.shown().first().text, QStringLiteral("見つかりませんでした"));

        m_box.clear();
        choose(Qt::Key_U);
        QCOMPARE(search(QStringLiteral("𠮷野家")), QStringList{"yoshinoya.txt"});
        choose(Qt::Key_A);
        QCOMPARE(search(QStringLiteral("¥100")), QStringList{"yoshinoya.txt"});
        QCOMPARE(search(QStringLiteral("𠮷 設定")), QStringList{});
        QCOMPARE(m_box.count(), 1);
        QCOMPARE(m_box.shown().first().text, QStringLiteral("見つかりませんでした"));

        // EUC-JP mode says the same of a character EUC-JP cannot hold.
        m_box.clear();
        choose(Qt::Key_E);
        QCOMPARE(search(QStringLiteral("野家 ¥")), QStringList{});
        const QStringList lines = m_box.shown().value(0).text.split(u'\n');
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[1].contains(QStringLiteral("「¥」は EUC-JP にない")), qPrintable(lines[1]));
    }

    // A keyword pasted into the box with U+FEFF first keeps it to the search.
    void pastedKeywordKeepsALeadingByteOrderMark()
    {
        m_settings.preset(kConfig, kEncoding, QStringLiteral("cp932"));
        start();
        choose(Qt::Key_U);
        w().Combo2->setEditText(QString());
        w().Combo2->setFocus();
        QApplication::clipboard()->setText(QStringLiteral("\uFEFFalpha"));
        QTest::keyClick(w().Combo2->lineEdit(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(w().Combo2->currentText(), QStringLiteral("\uFEFFalpha"));
        const QString in = root() + QStringLiteral("/mark");
        QCOMPARE(search(w().Combo2->currentText(), in), QStringList{"inner.txt"});
        choose(Qt::Key_J); // no code page 932 byte form
        QCOMPARE(search(QStringLiteral("\uFEFFalpha"), in), QStringList{});
    }

    void f1OnTheSubmenuShowsTheSearchMenusTopic()
    {
        start();
        QMenu *search = w().MENU_SEARCH_CATEGORY;
        search->popup(w().mapToGlobal(QPoint(10, 10)));
        QVERIFY(QTest::qWaitForWindowExposed(search));
        QTest::keyClick(search, Qt::Key_E);
        QTRY_VERIFY(w().MENU_ENCODING_CATEGORY->isVisible());
        QTest::keyClick(w().MENU_ENCODING_CATEGORY, Qt::Key_Down);
        QVERIFY(w().MENU_ENCODING_CATEGORY->activeAction());
        QTest::keyClick(w().MENU_ENCODING_CATEGORY, Qt::Key_F1);
        QCOMPARE(m_help.calls().size(), 1);
        QCOMPARE(m_help.calls().first().command, int(HelpViewer::HELP_CONTEXT));
        QCOMPARE(m_help.calls().first().data, 5);
        QTRY_VERIFY(!w().MENU_ENCODING_CATEGORY->isVisible());
        QCOMPARE(w().encodingMode(), EncodingMode::Cp932); // nothing chosen
        search->close();
    }

    // EUC-JP reads EUC-JP files only; auto finds the same words in EUC-JP,
    // ISO-2022-JP and UTF-8, and the viewer names how it read each.
    void eucJpAndIso2022JpFiles()
    {
        const QString words = QStringLiteral("会議 議事録");
        const QString text = QStringLiteral("会議の議事録\r\n");
        const QString dir = root() + "/jis";
        writeFile(dir + "/euc.txt", QStringEncoder("EUC-JP")(text));
        writeFile(dir + "/iso.txt", QStringEncoder("ISO-2022-JP")(text));
        writeFile(dir + "/utf8.txt", text.toUtf8());
        m_settings.preset(kConfig, kEncoding, QStringLiteral("cp932"));
        start();
        QCOMPARE(search(words, dir), QStringList{});
        choose(Qt::Key_E);
        QCOMPARE(w().encodingMode(), EncodingMode::EucJp);
        QVERIFY(w().MENU_ENCODING_EUCJP->isChecked());
        QCOMPARE(search(words, dir), QStringList{"euc.txt"});
        click(QStringLiteral("euc.txt"));
        TextViewer &viewer = *w().RichTextBox1;
        QVERIFY(viewer.toolTip().endsWith(QStringLiteral("\n読み取り: EUC-JP (テキスト)")));

        choose(Qt::Key_A);
        QStringList all = search(words, dir);
        all.sort();
        QCOMPARE(all, (QStringList{"euc.txt", "iso.txt", "utf8.txt"}));
        click(QStringLiteral("iso.txt"));
        QVERIFY(viewer.toolTip().endsWith(QStringLiteral("\n読み取り: ISO-2022-JP (テキスト)")));
        click(QStringLiteral("euc.txt"));
        QVERIFY(viewer.toolTip().endsWith(QStringLiteral("\n読み取り: EUC-JP (テキスト)")));
    }

    // Written at shut-down with the other keys, read at the next start; a
    // value the program does not know reads as the default.
    void choiceIsKeptBetweenStarts_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("mode");
        QTest::newRow("utf-8") << "utf-8" << int(EncodingMode::Utf8);
        QTest::newRow("auto") << "auto" << int(EncodingMode::Auto);
        QTest::newRow("cp932") << "cp932" << int(EncodingMode::Cp932);
        QTest::newRow("euc-jp") << "euc-jp" << int(EncodingMode::EucJp);
        QTest::newRow("other text") << "UTF-8" << int(EncodingMode::Cp932);
        QTest::newRow("empty") << "" << int(EncodingMode::Cp932);
    }
    void choiceIsKeptBetweenStarts()
    {
        QFETCH(QString, stored);
        QFETCH(int, mode);
        m_settings.preset(kConfig, kEncoding, stored);
        start();
        QCOMPARE(int(w().encodingMode()), mode);
        QAction *items[] = {w().MENU_ENCODING_CP932, w().MENU_ENCODING_UTF8, w().MENU_ENCODING_AUTO,
                            w().MENU_ENCODING_EUCJP};
        QVERIFY(items[mode]->isChecked());
        const QStringList names{"cp932", "utf-8", "auto", "euc-jp"};
        m_w->close(); // shut-down writes the settings
        m_w.reset();
        QCOMPARE(m_settings.value(kConfig, kEncoding), names[mode]);

        // Chosen in one run, back in the next.
        start();
        choose(mode == int(EncodingMode::Auto) ? Qt::Key_U : Qt::Key_A);
        const EncodingMode chosen = w().encodingMode();
        m_w->close();
        m_w.reset();
        start();
        QCOMPARE(w().encodingMode(), chosen);
        QVERIFY((chosen == EncodingMode::Auto ? w().MENU_ENCODING_AUTO : w().MENU_ENCODING_UTF8)
                    ->isChecked());
    }
};

QTEST_MAIN(TestEncodingMenu)
#include "tst_encodingmenu.moc"
