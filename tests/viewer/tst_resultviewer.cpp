// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// Selecting a search result shows the file in the main window's viewer with the
// first occurrence of the keyword's first word selected: driven through the real
// main window with typed keywords, a real search and real clicks and keys.

#include "mainwindow/MainWindow.h"
#include "platform/FakeBeeper.h"
#include "platform/FakeHelpViewer.h"
#include "platform/FakeMessageBox.h"
#include "platform/FakeVolumeList.h"
#include "platform/SettingsStore.h"
#include "text/Cp932.h"
#include "viewer/TextViewer.h"

#include "mainwindow/PathList.h"
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
QByteArray sjis(const char *utf8)
{
    return cp932::encode(QString::fromUtf8(utf8)).bytes;
}
} // namespace

class TestResultViewer : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    FakeMessageBox m_box;
    FakeHelpViewer m_help;
    MemorySettingsStore m_settings;
    FakeVolumeList m_volumes;
    FakeBeeper m_beeper;
    std::unique_ptr<MainWindow> m_w;

    QByteArray pathOf(const char *name) const { return QFile::encodeName(m_dir.filePath(name)); }

    void write(const char *name, const QByteArray &bytes)
    {
        QFile f(m_dir.filePath(QString::fromLatin1(name)));
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(bytes), bytes.size());
    }

    void typeInto(QComboBox *box, const QString &text)
    {
        box->setFocus();
        box->lineEdit()->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        // Typed as key events carrying the text: Japanese has no key codes.
        for (const QChar c : text)
            QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }

    // Types folder and keyword and clicks the search button.
    void search(const QString &keyword)
    {
        typeInto(m_w->Combo1, m_dir.path());
        typeInto(m_w->Combo2, keyword);
        QTest::mouseClick(m_w->Command2, Qt::LeftButton);
        QVERIFY(m_w->List1->count() > 0);
    }

    int rowOf(const char *name) const
    {
        for (int i = 0; i < m_w->List1->count(); ++i) {
            if (m_w->List1->itemData(i, Qt::UserRole).toByteArray() == pathOf(name))
                return i;
        }
        return -1;
    }

    void clickRow(int row)
    {
        QVERIFY(row >= 0);
        PathListView *list = m_w->List1;
        const QRect r = list->rowRect(row);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
        QCOMPARE(list->currentRow(), row);
    }

    TextViewer *viewer() const { return m_w->RichTextBox1; }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // beta stands before alpha, so a two-word keyword shows which word is taken.
        write("one.txt", "beta first\r\nthen alpha beta\r\nalpha again\r\n");
        write("two.txt", "alpha beta at the very start\r\n");
        write("three.txt", sjis("日本語の行\r\nbeta と alpha の行\r\n"));
        write("other.txt", "nothing here\r\n");
    }

    void init()
    {
        m_box.clear();
        PlatformServices services;
        services.messageBox = &m_box;
        services.help = &m_help;
        services.settings = &m_settings;
        services.volumes = &m_volumes;
        services.beeper = &m_beeper;
        m_beeper.clear();
        m_w = std::make_unique<MainWindow>(services);
        m_w->show();
        m_w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_w.get()));
    }

    void cleanup() { m_w.reset(); }

    void selectByMouseAndKeyboard()
    {
        search(QStringLiteral("alpha beta"));
        QCOMPARE(m_w->List1->count(), 3);
        QCOMPARE(viewer()->text(), QString()); // the search cleared it

        clickRow(rowOf("one.txt"));
        QCOMPARE(viewer()->text(), QStringLiteral("beta first\nthen alpha beta\nalpha again\n"));
        // Only the first word, only its first occurrence.
        QCOMPARE(viewer()->selectionStart(), qsizetype(16));
        QCOMPARE(viewer()->selectedText(), QStringLiteral("alpha"));
        // The user goes on in the list with the keyboard.
        m_w->List1->setFocus();
        QVERIFY(m_w->List1->hasFocus());

        // Moving the selection with the keyboard loads the next file.
        const int row = m_w->List1->currentRow();
        const int next = row + 1 < m_w->List1->count() ? row + 1 : row - 1;
        QTest::keyClick(m_w->List1, next > row ? Qt::Key_Down : Qt::Key_Up);
        QCOMPARE(m_w->List1->currentRow(), next);
        const QByteArray nextPath = m_w->List1->itemData(next, Qt::UserRole).toByteArray();
        const qsizetype expected = nextPath == pathOf("two.txt") ? 0 : 8;
        QCOMPARE(viewer()->selectionStart(), expected); // 0: the very first character
        QCOMPARE(viewer()->selectedText(), QStringLiteral("alpha"));
        QVERIFY(m_box.shown().isEmpty());

        // The list keeps the focus and the selected word is shown highlighted.
        QVERIFY(m_w->List1->hasFocus());
        const QColor highlight = viewer()->palette().color(QPalette::Active, QPalette::Highlight);
        const QRect word =
            viewer()->characterRect(expected).united(viewer()->characterRect(expected + 4));
        QVERIFY(viewer()->viewport()->rect().contains(word));
        const QImage image = viewer()->viewport()->grab().toImage();
        int lit = 0;
        for (int y = word.top(); y <= word.bottom(); ++y)
            for (int x = word.left(); x <= word.right(); ++x)
                lit += image.pixelColor(x, y) == highlight;
        QVERIFY(lit > word.width() * word.height() / 4);
    }

    void emptyKeywordLoadsNothing()
    {
        search(QStringLiteral("alpha"));
        typeInto(m_w->Combo2, QString());
        clickRow(rowOf("one.txt"));
        QCOMPARE(viewer()->text(), QString());
        QCOMPARE(viewer()->length(), qsizetype(0));

        // With a file shown, an emptied keyword keeps what the viewer shows.
        typeInto(m_w->Combo2, QStringLiteral("alpha"));
        clickRow(rowOf("two.txt"));
        const QString shown = viewer()->text();
        QVERIFY(!shown.isEmpty());
        typeInto(m_w->Combo2, QString());
        clickRow(rowOf("one.txt"));
        QCOMPARE(viewer()->text(), shown);
    }

    void changedKeywordSelectsNewFirstWord()
    {
        search(QStringLiteral("alpha"));
        typeInto(m_w->Combo2, QStringLiteral("again alpha"));
        clickRow(rowOf("one.txt"));
        QCOMPARE(viewer()->selectedText(), QStringLiteral("again"));
        QCOMPARE(viewer()->selectionStart(), qsizetype(33));

        // Japanese text decoded from code page 932; offsets count characters.
        typeInto(m_w->Combo2, QStringLiteral("の行"));
        clickRow(rowOf("three.txt"));
        QCOMPARE(viewer()->selectionStart(), qsizetype(3));
        QCOMPARE(viewer()->selectedText(), QStringLiteral("の行"));

        // A keyword that begins with spaces: its empty pieces are skipped, as
        // the search skips them, and the first real word is selected.
        typeInto(m_w->Combo2, QStringLiteral("  beta alpha"));
        clickRow(rowOf("two.txt"));
        QCOMPARE(viewer()->text(), QStringLiteral("alpha beta at the very start\n"));
        QCOMPARE(viewer()->selectionStart(), qsizetype(6));
        QCOMPARE(viewer()->selectedText(), QStringLiteral("beta"));

        // Spaces only: the file is shown, nothing selected, the viewer usable.
        typeInto(m_w->Combo2, QStringLiteral("  "));
        clickRow(rowOf("one.txt"));
        QCOMPARE(viewer()->text(), QStringLiteral("beta first\nthen alpha beta\nalpha again\n"));
        QCOMPARE(viewer()->selectionLength(), qsizetype(0));
        QCOMPARE(viewer()->find(QStringLiteral("again"), 0), qsizetype(33));
    }

    // A search for " alpha" finds the files that hold "alpha", and each of
    // them shows with "alpha" selected.
    void leadingSpaceKeywordSelectsItsWord()
    {
        search(QStringLiteral(" alpha"));
        QCOMPARE(m_w->List1->count(), 3);
        for (const char *name : {"one.txt", "two.txt", "three.txt"}) {
            clickRow(rowOf(name));
            QCOMPARE(viewer()->selectedText(), QStringLiteral("alpha"));
        }
    }

    void fileDeletedAfterSearch()
    {
        write("gone.txt", "alpha will vanish\r\n");
        search(QStringLiteral("alpha"));
        const int goneRow = rowOf("gone.txt");
        QVERIFY(goneRow >= 0);
        clickRow(rowOf("two.txt"));
        QVERIFY(!viewer()->text().isEmpty());
        const QString status = m_w->panelText();
        const int rows = m_w->List1->count();

        QVERIFY(QFile::remove(m_dir.filePath(QStringLiteral("gone.txt"))));
        clickRow(goneRow);
        QCOMPARE(viewer()->text(), QString());
        QCOMPARE(viewer()->selectionLength(), qsizetype(0));
        QVERIFY(m_box.shown().isEmpty());
        QCOMPARE(m_w->panelText(), status);
        QCOMPARE(m_w->List1->count(), rows);

        // The program goes on: the next selection loads as usual.
        clickRow(rowOf("one.txt"));
        QCOMPARE(viewer()->selectedText(), QStringLiteral("alpha"));
    }

    void f3FollowsTheKeywordBox()
    {
        // one.txt: "beta first" | "then alpha beta" | "alpha again". The
        // selection starts on line 1; F3 in the viewer reads the keyword box
        // as it stands at the press.
        search(QStringLiteral("alpha beta"));
        clickRow(rowOf("one.txt"));
        viewer()->setFocus();
        viewer()->select(0, 0);
        QTest::keyClick(viewer(), Qt::Key_F3);
        QCOMPARE(viewer()->selectionStart(), qsizetype(16));
        QTest::keyClick(viewer(), Qt::Key_F3);
        QCOMPARE(viewer()->selectionStart(), qsizetype(16));
        QCOMPARE(m_beeper.count(), 1);

        // Words split as the search splits them: extra spaces make no word.
        typeInto(m_w->Combo2, QStringLiteral(" again  alpha"));
        viewer()->setFocus();
        QTest::keyClick(viewer(), Qt::Key_F3);
        QCOMPARE(viewer()->selectedText(), QStringLiteral("again"));
        QCOMPARE(viewer()->lineOfOffset(viewer()->selectionStart()), qsizetype(2));

        // An empty box: nothing moves and nothing beeps.
        typeInto(m_w->Combo2, QString());
        viewer()->setFocus();
        viewer()->select(0, 0);
        QTest::keyClick(viewer(), Qt::Key_F3);
        QTest::keyClick(viewer(), Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(viewer()->selectionStart(), qsizetype(0));
        QCOMPARE(m_beeper.count(), 1);
    }

    // Right after a file is chosen the focus stays in the list: F3 and
    // Shift+F3 there step through the shown file's matching lines too.
    void f3FromTheResultList()
    {
        search(QStringLiteral("alpha beta"));
        clickRow(rowOf("one.txt"));
        m_w->List1->setFocus();
        viewer()->select(0, 0);
        QTest::keyClick(m_w->List1, Qt::Key_F3);
        QCOMPARE(viewer()->selectionStart(), qsizetype(16));
        viewer()->select(viewer()->text().size(), 0);
        QTest::keyClick(m_w->List1, Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(viewer()->selectionStart(), qsizetype(16));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(m_w->List1));
        QCOMPARE(m_w->List1->selectedRow(), rowOf("one.txt")); // the list stays as it was
    }
};

QTEST_MAIN(TestResultViewer)
#include "tst_resultviewer.moc"
