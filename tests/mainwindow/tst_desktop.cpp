// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The result list and the window towards the rest of the desktop: the context
// menu, Ctrl+C, dragging a result out and dropping a folder in, driven with
// real mouse and key events over real files; opening goes to a recording
// desktop, boxes to the fake message box.

#include "mainwindow/MainWindow.h"
#include "mainwindow/PathList.h"
#include "platform/FakeServices.h"
#include "platform/HelpViewer.h"
#include "platform/LocalFiles.h"
#include "resources/Texts.h"
#include "viewer/TextViewer.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace {

// Creates a file by its native name, which need not be valid text.
bool writeNative(const QByteArray &path, const QByteArray &bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    ::close(fd);
    return ok;
}

QStringList actionTexts(const QMenu *menu)
{
    QStringList out;
    for (const QAction *a : menu->actions())
        out << a->text();
    return out;
}

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakeServices> m_fakes;
    std::unique_ptr<MainWindow> m_w;

    QByteArray dirBytes() const { return QFile::encodeName(m_dir->path()); }
    QByteArray pathOf(const char *name) const { return dirBytes() + '/' + name; }
    PathListView *list() const { return m_w->List1; }
    FakeDesktopShell &desktop() { return m_fakes->desktop; }

    void search()
    {
        m_w->Combo1->setFocus();
        m_w->Combo1->lineEdit()->selectAll();
        QTest::keyClicks(m_w->Combo1->lineEdit(), m_dir->path());
        m_w->Combo2->setFocus();
        m_w->Combo2->lineEdit()->selectAll();
        QTest::keyClicks(m_w->Combo2->lineEdit(), QStringLiteral("alpha"));
        QTest::mouseClick(m_w->Command2, Qt::LeftButton);
        QCOMPARE(list()->count(), 4);
    }

    int rowOf(const QByteArray &nativePath) const
    {
        for (int i = 0; i < list()->count(); ++i) {
            if (list()->itemData(i, Qt::UserRole).toByteArray() == nativePath)
                return i;
        }
        return -1;
    }

    // A point on the row's text in the list's viewport; a long path's row is
    // wider than the list, so not its centre.
    QPoint onRow(int row) const
    {
        const QRect r = list()->rowRect(row);
        return {r.left() + 4, r.center().y()};
    }
    // The same in the window's coordinates, for events that go through the
    // window as the platform delivers them.
    QPoint inWindow(int row) const { return list()->viewport()->mapTo(m_w.get(), onRow(row)); }

    void rightClick(int row)
    {
        QVERIFY(row >= 0);
        QTest::mouseClick(m_w->windowHandle(), Qt::RightButton, {}, inWindow(row));
    }

    QMenu *openMenu() const { return qobject_cast<QMenu *>(QApplication::activePopupWidget()); }

    // Chooses an entry of the open menu by its access key.
    void choose(Qt::Key key)
    {
        QMenu *menu = openMenu();
        QVERIFY(menu);
        QTest::keyClick(menu, key);
        QTRY_VERIFY(!openMenu());
    }

    QList<int> selectedRows() const
    {
        QList<int> rows;
        for (const QModelIndex &i : list()->selectionModel()->selectedIndexes())
            rows << i.row();
        return rows;
    }

    // Sends a whole drag over the window at pos, ending in a drop when the
    // window accepts it. Returns whether it was accepted, and the action.
    std::pair<bool, Qt::DropAction>
    dropOn(QPoint pos, const QMimeData &data,
           Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction)
    {
        QWindow *window = m_w->windowHandle();
        QDragEnterEvent enter(pos, actions, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &enter);
        QDragMoveEvent move(pos, actions, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &move);
        if (!enter.isAccepted() || !move.isAccepted()) {
            QDragLeaveEvent leave;
            QCoreApplication::sendEvent(window, &leave);
            return {false, Qt::IgnoreAction};
        }
        QDropEvent drop(pos, actions, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &drop);
        return {drop.isAccepted(), drop.dropAction()};
    }

    QPoint listCentre() const { return list()->mapTo(m_w.get(), list()->rect().center()); }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QVERIFY(writeNative(pathOf("one.txt"), "alpha one\r\n"));
        QVERIFY(writeNative(pathOf("two.txt"), "two alpha\r\n"));
        QVERIFY(writeNative(pathOf("three.txt"), "alpha three\r\n"));
        // Latin-1 e-acute: not valid UTF-8.
        QVERIFY(writeNative(pathOf("caf\xe9.txt"), "alpha caf\r\n"));
        QVERIFY(writeNative(pathOf("none.txt"), "nothing\r\n"));

        m_fakes = std::make_unique<FakeServices>();
        m_w = std::make_unique<MainWindow>(m_fakes->services());
        m_w->show();
        m_w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_w.get()));
        QGuiApplication::clipboard()->clear();
    }

    void cleanup()
    {
        if (QWidget *popup = QApplication::activePopupWidget())
            popup->close();
        m_w.reset();
        m_fakes.reset();
        // QTemporaryDir removes by text names; these are not text.
        ::unlink(pathOf("caf\xe9.txt").constData());
        ::rmdir(pathOf("d\xff").constData());
        m_dir.reset();
    }

    void fileUrlsKeepTheNativeBytes_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::newRow("plain") << QByteArray("/tmp/a/b.txt");
        QTest::newRow("blank, percent, hash") << QByteArray("/tmp/a b/%41#1?.txt");
        QTest::newRow("Japanese") << QString::fromUtf8("/tmp/日本語/ファイル.txt").toUtf8();
        QTest::newRow("not UTF-8") << QByteArray("/tmp/\x82\xa0/\xff\xfe.txt");
        QTest::newRow("folder") << QByteArray("/tmp/a/");
    }

    void fileUrlsKeepTheNativeBytes()
    {
        QFETCH(QByteArray, path);
        const QUrl url = platform::localFileUrl(path);
        QVERIFY(url.isLocalFile());
        QCOMPARE(platform::nativePathOfUrl(url), path);
        // As another program reads it from a text/uri-list.
        QCOMPARE(platform::nativePathOfUrl(QUrl::fromEncoded(url.toEncoded())), path);
    }

    void onlyLocalPathsComeBackFromUrls()
    {
        QCOMPARE(platform::nativePathOfUrl(QUrl(QStringLiteral("https://example.org/a.txt"))),
                 QByteArray());
        QCOMPARE(platform::nativePathOfUrl(QUrl(QStringLiteral("file://otherhost/a.txt"))),
                 QByteArray());
        QCOMPARE(platform::nativePathOfUrl(QUrl(QStringLiteral("a.txt"))), QByteArray());
        QCOMPARE(platform::nativePathOfUrl(QUrl(QStringLiteral("file://localhost/a.txt"))),
                 QByteArray("/a.txt"));
        QCOMPARE(platform::parentFolder("/a/b.txt"), QByteArray("/a"));
        QCOMPARE(platform::parentFolder("/b.txt"), QByteArray("/"));
        QCOMPARE(platform::parentFolder("/a/b/"), QByteArray("/a"));
    }

    void pointerMenuActsOnTheRowUnderItWithoutSelecting()
    {
        search();
        QCOMPARE(list()->currentRow(), -1);
        const int two = rowOf(pathOf("two.txt"));

        rightClick(two);
        QMenu *menu = openMenu();
        QVERIFY(menu);
        QCOMPARE(actionTexts(menu),
                 QStringList({texts::resultOpen, texts::resultOpenFolder, texts::resultCopyPath}));
        choose(Qt::Key_O);
        QCOMPARE(desktop().opened(),
                 QList<QUrl>({QUrl::fromLocalFile(m_dir->filePath("two.txt"))}));
        // Nothing was selected and nothing loaded.
        QCOMPARE(list()->currentRow(), -1);
        QVERIFY(selectedRows().isEmpty());
        QCOMPARE(m_w->RichTextBox1->text(), QString());

        // With a selected row, a menu on another row leaves it and the viewer be.
        const int one = rowOf(pathOf("one.txt"));
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, onRow(one));
        QCOMPARE(m_w->RichTextBox1->text(), QStringLiteral("alpha one\n"));
        rightClick(two);
        choose(Qt::Key_F);
        QCOMPARE(desktop().opened().last(), QUrl::fromLocalFile(m_dir->path()));
        rightClick(two);
        choose(Qt::Key_C);
        const QMimeData *copied = QGuiApplication::clipboard()->mimeData();
        QVERIFY(copied);
        QCOMPARE(copied->text(), m_dir->filePath("two.txt"));
        QCOMPARE(copied->urls(), QList<QUrl>({QUrl::fromLocalFile(m_dir->filePath("two.txt"))}));
        QCOMPARE(list()->currentRow(), one);
        QCOMPARE(selectedRows(), QList<int>({one}));
        QCOMPARE(m_w->RichTextBox1->text(), QStringLiteral("alpha one\n"));
        QCOMPARE(desktop().opened().size(), 2);

        // Below the last row there is no entry to act on.
        const QPoint below = list()->viewport()->mapTo(
            m_w.get(), QPoint(5, list()->rowRect(list()->count() - 1).bottom() + 20));
        QTest::mouseClick(m_w->windowHandle(), Qt::RightButton, {}, below);
        QVERIFY(!openMenu());
    }

    void keyboardMenuActsOnTheCurrentRow()
    {
        search();
        const int three = rowOf(pathOf("three.txt"));
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, onRow(three));
        QTest::keyClick(m_w->windowHandle(), Qt::Key_Menu);
        QVERIFY(openMenu());
        QTest::keyClick(openMenu(), Qt::Key_Escape);
        QTRY_VERIFY(!openMenu());
        QVERIFY(desktop().opened().isEmpty());

        QTest::keyClick(m_w->windowHandle(), Qt::Key_F10, Qt::ShiftModifier);
        choose(Qt::Key_O);
        QCOMPARE(desktop().opened(),
                 QList<QUrl>({QUrl::fromLocalFile(m_dir->filePath("three.txt"))}));
        QCOMPARE(QApplication::focusWidget(), list());

        // F1 in the menu opens the result list's help topic.
        QTest::keyClick(m_w->windowHandle(), Qt::Key_Menu);
        QVERIFY(openMenu());
        QTest::keyClick(openMenu(), Qt::Key_F1);
        QTRY_VERIFY(!openMenu());
        QCOMPARE(m_fakes->help.calls().size(), 1);
        QCOMPARE(m_fakes->help.calls().first().command, int(HelpViewer::HELP_CONTEXT));
        QCOMPARE(m_fakes->help.calls().first().data, 15);
    }

    void ctrlCCopiesTheSelectedPath()
    {
        search();
        list()->setFocus();
        QTest::keyClick(list(), Qt::Key_C, Qt::ControlModifier); // nothing selected
        QVERIFY(QGuiApplication::clipboard()->text().isEmpty());

        const int one = rowOf(pathOf("one.txt"));
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, onRow(one));
        QTest::keyClick(list(), Qt::Key_C, Qt::ControlModifier);
        const QMimeData *copied = QGuiApplication::clipboard()->mimeData();
        QCOMPARE(copied->text(), m_dir->filePath("one.txt"));
        QCOMPARE(copied->urls(), QList<QUrl>({QUrl::fromLocalFile(m_dir->filePath("one.txt"))}));
    }

    void aVanishedFileIsReported()
    {
        search();
        const int two = rowOf(pathOf("two.txt"));
        QVERIFY(QFile::remove(m_dir->filePath("two.txt")));

        rightClick(two);
        choose(Qt::Key_O);
        QVERIFY(desktop().opened().isEmpty());
        QCOMPARE(m_fakes->messageBox.count(), 1);
        QCOMPARE(m_fakes->messageBox.shown().first().text,
                 m_dir->filePath("two.txt") + QLatin1Char('\n') + texts::fileGone);
        QCOMPARE(m_fakes->messageBox.shown().first().title, texts::productName);

        // Its folder is still there and opens.
        rightClick(two);
        choose(Qt::Key_F);
        QCOMPARE(desktop().opened(), QList<QUrl>({QUrl::fromLocalFile(m_dir->path())}));
        QCOMPARE(m_fakes->messageBox.count(), 1);

        // A desktop that cannot open the file says so too.
        desktop().setOpenSucceeds(false);
        rightClick(rowOf(pathOf("one.txt")));
        choose(Qt::Key_O);
        QCOMPARE(m_fakes->messageBox.count(), 2);
        QCOMPARE(m_fakes->messageBox.shown().last().text,
                 m_dir->filePath("one.txt") + QLatin1Char('\n') + texts::openFailed);
    }

    void draggingAResultGivesItsFileUrl()
    {
        search();
        const int one = rowOf(pathOf("one.txt"));
        const QPoint start = onRow(one);
        QTest::mousePress(list()->viewport(), Qt::LeftButton, {}, start);
        QTest::mouseMove(list()->viewport(), start + QPoint(2, 0)); // below the drag distance
        QVERIFY(desktop().drags().isEmpty());
        QTest::mouseMove(list()->viewport(),
                         start + QPoint(QApplication::startDragDistance() + 5, 0));
        QTest::mouseRelease(list()->viewport(), Qt::LeftButton, {},
                            start + QPoint(QApplication::startDragDistance() + 5, 0));
        QCOMPARE(desktop().drags().size(), 1);
        const FakeDesktopShell::Drag &drag = desktop().drags().first();
        QCOMPARE(drag.source, list());
        QCOMPARE(drag.data->urls(), QList<QUrl>({QUrl::fromLocalFile(m_dir->filePath("one.txt"))}));
        QVERIFY(!(drag.actions & Qt::MoveAction));
        QVERIFY(drag.actions & Qt::CopyAction);
        // The press selected the row, as a click does; the drag kept it.
        QCOMPARE(selectedRows(), QList<int>({one}));
    }

    void aNameThatIsNotUtf8OpensCopiesAndDragsAsItself()
    {
        search();
        const QByteArray native = pathOf("caf\xe9.txt");
        const int row = rowOf(native);
        QVERIFY(row >= 0);

        rightClick(row);
        choose(Qt::Key_O);
        QCOMPARE(desktop().opened().size(), 1);
        const QUrl opened = desktop().opened().first();
        QVERIFY(opened.toEncoded().endsWith("/caf%E9.txt"));
        QCOMPARE(platform::nativePathOfUrl(opened), native);

        rightClick(row);
        choose(Qt::Key_C);
        const QMimeData *copied = QGuiApplication::clipboard()->mimeData();
        QCOMPARE(copied->urls().size(), 1);
        QCOMPARE(platform::nativePathOfUrl(copied->urls().first()), native);
        QVERIFY(copied->data(QStringLiteral("text/uri-list")).contains("caf%E9.txt"));

        const QPoint start = onRow(row);
        QTest::mousePress(list()->viewport(), Qt::LeftButton, {}, start);
        QTest::mouseMove(list()->viewport(), start + QPoint(0, 30));
        QTest::mouseRelease(list()->viewport(), Qt::LeftButton, {}, start + QPoint(0, 30));
        QCOMPARE(desktop().drags().size(), 1);
        QCOMPARE(platform::nativePathOfUrl(desktop().drags().first().data->urls().first()), native);
    }

    void droppingAFolderOrFileFillsTheFolderBoxOnly()
    {
        search();
        QSignalSpy commands(m_w.get(), &MainWindow::commandRun);
        QStringList history;
        for (int i = 0; i < m_w->Combo1->count(); ++i)
            history << m_w->Combo1->itemText(i);
        const QString panel = m_w->panelText();
        const QByteArray sub = pathOf("sub folder");
        QVERIFY(::mkdir(sub.constData(), 0755) == 0);

        QMimeData folder;
        folder.setUrls({QUrl::fromLocalFile(m_dir->filePath("sub folder") + QLatin1Char('/'))});
        auto [accepted, action] = dropOn(listCentre(), folder);
        QVERIFY(accepted);
        QCOMPARE(action, Qt::CopyAction); // never a move: the source would delete it
        QCOMPARE(m_w->Combo1->currentText(), m_dir->filePath("sub folder"));

        // A file stands for its folder; dropped on the keyword box it still
        // goes to the folder box.
        QMimeData file;
        file.setUrls({QUrl::fromLocalFile(m_dir->filePath("none.txt"))});
        const QPoint keywordBox =
            m_w->Combo2->lineEdit()->mapTo(m_w.get(), m_w->Combo2->lineEdit()->rect().center());
        std::tie(accepted, action) = dropOn(keywordBox, file, Qt::CopyAction | Qt::LinkAction);
        QVERIFY(accepted);
        QCOMPARE(m_w->Combo1->currentText(), m_dir->path());
        QCOMPARE(m_w->Combo2->currentText(), QStringLiteral("alpha"));

        QStringList after;
        for (int i = 0; i < m_w->Combo1->count(); ++i)
            after << m_w->Combo1->itemText(i);
        QCOMPARE(after, history);
        QCOMPARE(list()->count(), 4);
        QCOMPARE(m_w->panelText(), panel);
        QVERIFY(commands.isEmpty());
    }

    void dropsOfAnythingButALocalPathAreRefused()
    {
        m_w->Combo1->setEditText(QStringLiteral("/kept"));
        QMimeData web;
        web.setUrls({QUrl(QStringLiteral("https://example.org/folder/"))});
        QMimeData gone;
        gone.setUrls({QUrl::fromLocalFile(m_dir->filePath("no such folder"))});
        QMimeData text;
        text.setText(m_dir->path());
        QMimeData moveOnly;
        moveOnly.setUrls({QUrl::fromLocalFile(m_dir->path())});
        // A folder whose name is not text cannot be written in the folder box.
        const QByteArray odd = pathOf("d\xff");
        QVERIFY(::mkdir(odd.constData(), 0755) == 0);
        QMimeData notText;
        notText.setUrls({platform::localFileUrl(odd)});

        const QPoint keywordBox =
            m_w->Combo2->lineEdit()->mapTo(m_w.get(), m_w->Combo2->lineEdit()->rect().center());
        for (const QPoint at : {listCentre(), keywordBox}) {
            QVERIFY(!dropOn(at, web).first);
            QVERIFY(!dropOn(at, gone).first);
            QVERIFY(!dropOn(at, moveOnly, Qt::MoveAction).first);
            QVERIFY(!dropOn(at, notText).first);
        }
        QVERIFY(!dropOn(listCentre(), text).first);
        QCOMPARE(m_w->Combo1->currentText(), QStringLiteral("/kept"));
    }
};

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
