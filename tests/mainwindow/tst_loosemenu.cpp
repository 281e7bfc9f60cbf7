// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The search menu's loose matching submenu: its three check items, each fold
// reaching the next search, the full-width space's line in the box, F1 on it,
// and the choices kept in the settings store from one start to the next.

#include "tests/mainwindow/WindowFixture.h"
#include "text/Cp932.h"
#include "viewer/TextViewer.h"

#include <QAction>

namespace {

QByteArray sjis(const QString &text)
{
    QByteArray out;
    for (const QChar c : text)
        out += cp932::unitForms(c.unicode()).value(0);
    return out;
}

const QString kConfig = QStringLiteral("Config");

} // namespace

class TestLooseMenu : public QObject, protected WindowFixture {
    Q_OBJECT

private:
    // Opens the search menu, the submenu by its access key (L), and presses
    // an item's access key, as a user does.
    void toggle(Qt::Key item)
    {
        openSearchSubmenu(Qt::Key_L, w().MENU_LOOSE_CATEGORY);
        if (item != Qt::Key_unknown)
            QTest::keyClick(w().MENU_LOOSE_CATEGORY, item);
    }

    // The names listed, sorted.
    QStringList search(const QString &keyword)
    {
        QStringList names = WindowFixture::search(keyword);
        names.sort();
        return names;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_tree.isValid());
        writeFile(m_tree.path() + "/estimate.txt",
                  sjis(u"２０２６年度の見積書を送付\r\n見積書と提出\r\n"_qs));
        writeFile(m_tree.path() + "/kana.txt", sjis(u"xｶﾞｽy ﾃﾞｰﾀﾍﾞｰｽ\r\nガズ\r\nｶﾞｽ\r\n"_qs));
        writeFile(m_tree.path() + "/notes.txt", "Tarnwell Release Notes\r\n");
        writeFile(m_tree.path() + "/server.txt", sjis(u"サーバーの設定"_qs));
    }

    void cleanup() { m_w.reset(); }

    void submenuFollowsTheDocumentsItem()
    {
        start();
        const auto actions = w().MENU_SEARCH_CATEGORY->actions();
        const int at = int(actions.indexOf(w().MENU_DOCUMENTS));
        QVERIFY(at >= 0 && at + 1 < actions.size());
        QCOMPARE(actions.at(at + 1)->menu(), w().MENU_LOOSE_CATEGORY);
        QCOMPARE(w().MENU_LOOSE_CATEGORY->title(), QStringLiteral("あいまい検索(&L)"));
        const auto items = w().MENU_LOOSE_CATEGORY->actions();
        QCOMPARE(items.size(), 3);
        QCOMPARE(items.at(0)->text(), QStringLiteral("大文字と小文字を区別しない(&C)"));
        QCOMPARE(items.at(1)->text(), QStringLiteral("全角と半角を区別しない(&W)"));
        QCOMPARE(items.at(2)->text(), QStringLiteral("ひらがなとカタカナを区別しない(&K)"));
        for (QAction *item : items)
            QVERIFY(item->isCheckable() && !item->isChecked()); // all off at first
    }

    // Each fold by its keys, alone, reaching the next search.
    void eachFoldReachesTheNextSearch()
    {
        start();
        const QString keywords[] = {u"release notes"_qs, u"2026年度 見積書"_qs, u"さーばー 設定"_qs,
                                    u"データベース"_qs};
        for (const QString &k : keywords)
            QCOMPARE(search(k), QStringList{});
        toggle(Qt::Key_C);
        QVERIFY(w().folds().caseless && !w().folds().width && !w().folds().kana);
        QCOMPARE(search(keywords[0]), QStringList{"notes.txt"});
        QCOMPARE(search(keywords[1]), QStringList{});
        toggle(Qt::Key_C); // off again
        toggle(Qt::Key_W);
        QCOMPARE(search(keywords[0]), QStringList{});
        QCOMPARE(search(keywords[1]), QStringList{"estimate.txt"});
        QCOMPARE(search(keywords[3]), QStringList{"kana.txt"});
        QCOMPARE(search(u"カ"_qs), QStringList{}); // never inside ｶﾞ
        // The viewer selects the original characters of the first word.
        QCOMPARE(search(u"ガス"_qs), QStringList{"kana.txt"});
        w().List1->setFocus();
        QTest::keyClick(w().List1, Qt::Key_Home);
        QCOMPARE(w().RichTextBox1->selectedText(), u"ｶﾞｽ"_qs);
        QCOMPARE(w().RichTextBox1->selectionStart(), 1);
        // F3 and Shift+F3 go through the lines that match under the same
        // folds, selecting the original characters; ガズ is not one.
        TextViewer &viewer = *w().RichTextBox1;
        viewer.setFocus();
        QTest::keyClick(&viewer, Qt::Key_F3);
        QCOMPARE(viewer.lineOfOffset(viewer.selectionStart()), 2);
        QCOMPARE(viewer.selectedText(), u"ｶﾞｽ"_qs);
        QTest::keyClick(&viewer, Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(viewer.lineOfOffset(viewer.selectionStart()), 0);
        toggle(Qt::Key_K);
        QCOMPARE(search(keywords[2]), QStringList{"server.txt"});
        QVERIFY(w().MENU_IGNORE_WIDTH->isChecked() && w().MENU_IGNORE_KANA->isChecked() &&
                !w().MENU_IGNORE_CASE->isChecked());
    }

    // A full-width space keeps the keyword one word unless the width fold is
    // on; the box then says so in one more line.
    void fullWidthSpaceIsExplained()
    {
        start();
        QCOMPARE(search(u"見積書　提出"_qs), QStringList{});
        QCOMPARE(m_box.count(), 1);
        const QStringList lines = m_box.shown().first().text.split(u'\n');
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], QStringLiteral("見つかりませんでした"));
        QVERIFY2(lines[1].contains(u"全角と半角を区別しない"_qs), qPrintable(lines[1]));
        toggle(Qt::Key_W);
        m_box.clear();
        QCOMPARE(search(u"見積書　提出"_qs), QStringList{"estimate.txt"});
        QCOMPARE(search(u"見積書　ない"_qs), QStringList{});
        QCOMPARE(m_box.shown().first().text, QStringLiteral("見つかりませんでした"));
    }

    void f1OnTheSubmenuShowsTheSearchMenusTopic()
    {
        start();
        toggle(Qt::Key_unknown);
        QTest::keyClick(w().MENU_LOOSE_CATEGORY, Qt::Key_Down);
        QVERIFY(w().MENU_LOOSE_CATEGORY->activeAction());
        QTest::keyClick(w().MENU_LOOSE_CATEGORY, Qt::Key_F1);
        QCOMPARE(m_help.calls().size(), 1);
        QCOMPARE(m_help.calls().first().data, 5);
        QVERIFY(!w().folds().any()); // nothing chosen
        w().MENU_SEARCH_CATEGORY->close();
    }

    // Written at shut-down, read at the next start: "1" is on, anything else off.
    void choicesAreKeptBetweenStarts()
    {
        m_settings.preset(kConfig, u"IgnoreCase"_qs, u"1"_qs);
        m_settings.preset(kConfig, u"IgnoreWidth"_qs, u"yes"_qs);
        m_settings.preset(kConfig, u"IgnoreKana"_qs, u"1"_qs);
        start();
        QVERIFY(w().folds() == (textfold::Folds{true, false, true}));
        QVERIFY(w().MENU_IGNORE_CASE->isChecked() && !w().MENU_IGNORE_WIDTH->isChecked());
        toggle(Qt::Key_W);
        toggle(Qt::Key_K);
        m_w->close(); // shut-down writes the settings
        m_w.reset();
        QCOMPARE(m_settings.value(kConfig, u"IgnoreCase"_qs), u"1"_qs);
        QCOMPARE(m_settings.value(kConfig, u"IgnoreWidth"_qs), u"1"_qs);
        QCOMPARE(m_settings.value(kConfig, u"IgnoreKana"_qs), u"0"_qs);
        start();
        QVERIFY(w().folds() == (textfold::Folds{true, true, false}));
        QVERIFY(w().MENU_IGNORE_WIDTH->isChecked() && !w().MENU_IGNORE_KANA->isChecked());
    }
};

QTEST_MAIN(TestLooseMenu)
#include "tst_loosemenu.moc"
