// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The window through a long search: a document reader that holds one
// document until it is stopped keeps the search waiting, while the test acts
// as the user does, through the window system (key and mouse events to the
// window, the close box as a spontaneous close).

#include "mainwindow/MainWindow.h"
#include "mainwindow/PathList.h"
#include "platform/FakeHelpViewer.h"
#include "platform/FakeMessageBox.h"
#include "platform/FakeVolumeList.h"
#include "platform/SettingsStore.h"
#include "platform/TerminationSignals.h"
#include "resources/Texts.h"
#include "tests/common/FakeDocumentReader.h"

#include <csignal>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWindow>
#include <QtTest/qtestspontaneevent.h>

#include <functional>

namespace {

const QByteArray kSlowDocument = "%PDF-1.4 held until stopped\n";

QStringList rows(const PathListView *list)
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

} // namespace

class TestSearchStop : public QObject {
    Q_OBJECT

private:
    FakeMessageBox m_box;
    FakeHelpViewer m_help;
    FakeVolumeList m_volumes;
    MemorySettingsStore m_settings;
    FakeDocumentReader m_reader;
    PlatformServices m_services;
    std::unique_ptr<MainWindow> m_w;
    QTemporaryDir m_tree;
    QString m_slow;

    MainWindow &w() { return *m_w; }
    QWindow *handle() { return m_w->windowHandle(); }
    QPoint inWindow(QWidget *widget) { return widget->mapTo(m_w.get(), widget->rect().center()); }

    // Starts a search of the tree for "alpha beta" and runs `whileWaiting`
    // once the search waits for the held document, with panel 1 naming it.
    void searchAndThen(std::function<void()> whileWaiting)
    {
        w().Combo1->setEditText(m_tree.path());
        w().Combo2->setEditText(QStringLiteral("alpha beta"));
        auto *poll = new QTimer(m_w.get());
        poll->setInterval(5);
        connect(poll, &QTimer::timeout, this, [this, poll, whileWaiting] {
            if (m_reader.waiting() == 0 || w().panelText() != texts::searchingFile + m_slow)
                return;
            poll->stop();
            whileWaiting();
        });
        poll->start();
        w().MENU_SEARCH_Click();
        poll->deleteLater();
    }

    // The files a one-thread run lists as found before the held document.
    QStringList foundBeforeSlow()
    {
        QStringList out;
        for (const QString &path : rows(w().List2)) {
            if (path == m_slow)
                break;
            if (QFileInfo(path).fileName().startsWith(u'm'))
                out << path;
        }
        return out;
    }

    void checkStopped()
    {
        const QStringList found = foundBeforeSlow();
        QCOMPARE(rows(w().List1), found);
        QCOMPARE(w().panelText(), texts::searchStopped(found.size()));
        QCOMPARE(m_box.count(), 0); // no "nothing found" box
        QVERIFY(!w().searchRunning());
        QVERIFY(!w().MENU_STOP->isEnabled());
        QCOMPARE(m_reader.stopped(), 1); // the read in progress was ended
        QCOMPARE(m_reader.waiting(), 0);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_tree.isValid());
        for (int i = 0; i < 30; ++i) {
            const bool match = i % 3 != 1;
            QFile f(m_tree.path() + QStringLiteral("/%1%2.txt").arg(match ? 'm' : 'n').arg(i));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(match ? "alpha beta\r\n" : "alpha\r\n");
        }
        m_slow = m_tree.path() + QStringLiteral("/slow.pdf");
        QFile slow(m_slow);
        QVERIFY(slow.open(QIODevice::WriteOnly));
        slow.write(kSlowDocument);
        m_volumes.add(m_tree.path());
        m_services.messageBox = &m_box;
        m_services.help = &m_help;
        m_services.volumes = &m_volumes;
        m_services.settings = &m_settings;
        m_services.documents = &m_reader;
    }

    void init()
    {
        m_reader.hold(kSlowDocument);
        m_reader.clearCalls();
        m_w = std::make_unique<MainWindow>(m_services);
        m_w->setSearchDocuments(true);
        m_w->show();
        QVERIFY(QTest::qWaitForWindowActive(m_w.get()));
        m_box.clear();
    }

    void cleanup()
    {
        m_w.reset();
        m_reader.release();
    }

    void stopEndsTheSearchAndKeepsWhatWasFound_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("Esc") << 0;
        QTest::newRow("stop command") << 1;
        QTest::newRow("toolbar stop button") << 2;
        QTest::newRow("menu opened with the mouse") << 3;
    }
    void stopEndsTheSearchAndKeepsWhatWasFound()
    {
        QFETCH(int, how);
        QVERIFY(!w().MENU_STOP->isEnabled());
        const QStringList folders = items(w().Combo1);
        bool enabledDuring = false;
        searchAndThen([&] {
            enabledDuring = w().MENU_STOP->isEnabled() && !w().MENU_SEARCH->isEnabled();
            switch (how) {
            case 0:
                QTest::keyClick(handle(), Qt::Key_Escape);
                break;
            case 1:
                w().MENU_STOP->trigger();
                break;
            case 2:
                QTest::mouseClick(handle(), Qt::LeftButton, {},
                                  inWindow(w().Toolbar1->widgetForAction(w().MENU_STOP)));
                break;
            case 3: {
                QMenuBar *bar = w().menuBar();
                const QRect title = bar->actionGeometry(w().MENU_SEARCH_CATEGORY->menuAction());
                QTest::mouseClick(handle(), Qt::LeftButton, {},
                                  bar->mapTo(m_w.get(), title.center()));
                QMenu *menu = w().MENU_SEARCH_CATEGORY;
                QTRY_VERIFY(menu->isVisible());
                QTest::mouseClick(menu->windowHandle(), Qt::LeftButton, {},
                                  menu->actionGeometry(w().MENU_STOP).center());
                break;
            }
            }
        });
        QVERIFY(enabledDuring);
        checkStopped();
        QVERIFY(!foundBeforeSlow().isEmpty());
        // The folder and the keyword joined their histories all the same.
        QCOMPARE(items(w().Combo1), folders + QStringList{m_tree.path()});
        QVERIFY(items(w().Combo2).contains(QStringLiteral("alpha beta")));
    }

    // The close box stops the search and closes the window at once, with the
    // settings written as at any close.
    void closeBoxStopsTheSearchAndCloses()
    {
        searchAndThen([&] {
            QCloseEvent close;
            QSpontaneKeyEvent::setSpontaneous(&close);
            QCoreApplication::sendEvent(handle(), &close);
        });
        QVERIFY(!w().isVisible());
        QCOMPARE(m_reader.stopped(), 1);
        QCOMPARE(m_settings.value(QStringLiteral("Config"), QStringLiteral("Path")), m_tree.path());
        QCOMPARE(m_help.calls().last().command, int(HelpViewer::HELP_QUIT));
    }

    // The session's end (SIGTERM) during a search: as the close box, the
    // search stopped and the settings written; and with no search, the
    // window closes at once.
    void terminationSignalClosesAsTheCloseBox()
    {
        QVERIFY(platform::onTerminationSignals(m_w.get(), [this] { w().close(); }));
        searchAndThen([] { ::raise(SIGTERM); });
        QTRY_VERIFY(!w().isVisible());
        QCOMPARE(m_reader.stopped(), 1);
        QCOMPARE(m_settings.value(QStringLiteral("Config"), QStringLiteral("Path")), m_tree.path());
        // Honoured once: a second one would end the process.
        struct sigaction now {};
        QVERIFY(sigaction(SIGTERM, nullptr, &now) == 0 && now.sa_handler == SIG_DFL);
    }

    // While the search waits: the window paints, panel 1 names the file being
    // read, and the files found so far are listed. Typing waits for the end;
    // a click on the search button or Enter starts no second search, and a
    // click on the list picks nothing.
    void inputWaitsAndStartsNoSecondSearch()
    {
        QSignalSpy commands(m_w.get(), &MainWindow::commandRun);
        w().Combo2->setFocus();
        int listPaints = 0;
        struct PaintCounter : QObject {
            int &count;
            explicit PaintCounter(int &c) : count(c) {}
            bool eventFilter(QObject *, QEvent *e) override
            {
                count += e->type() == QEvent::Paint;
                return false;
            }
        } counter(listPaints);
        QString keywordDuring, panelDuring;
        int rowsDuring = -1;
        searchAndThen([&] {
            QTest::keyClick(handle(), Qt::Key_X);
            QTest::keyClick(handle(), Qt::Key_Y);
            QTest::mouseClick(handle(), Qt::LeftButton, {}, inWindow(w().Command2));
            QTest::keyClick(handle(), Qt::Key_Return);
            QTest::mouseClick(handle(), Qt::LeftButton, {},
                              w().List1->viewport()->mapTo(m_w.get(), QPoint(5, 5)));
            w().List1->viewport()->installEventFilter(&counter);
            w().List1->viewport()->update();
            QTest::qWait(60); // the search still waits; the window repaints
            keywordDuring = w().Combo2->currentText();
            panelDuring = w().findChild<QLabel *>(QStringLiteral("StatusBar1_Panel1"))->text();
            rowsDuring = w().List1->count();
            QTest::keyClick(handle(), Qt::Key_Escape);
        });
        QCOMPARE(keywordDuring, QStringLiteral("alpha beta"));
        QCOMPARE(panelDuring, texts::searchingFile + m_slow);
        QCOMPARE(rowsDuring, foundBeforeSlow().size());
        QVERIFY(listPaints > 0);
        checkStopped();
        // What was typed arrived after the search, and nothing ran again.
        QCOMPARE(w().Combo2->currentText(), QStringLiteral("alpha betaxy"));
        QCOMPARE(commands.count(), 2); // the search and its stop
        QCOMPARE(w().List1->selectedRow(), -1);
    }

    // Documents that cannot be read are counted after the count and listed
    // with why; the next search clears the list.
    void unreadableFilesAreCountedAndListed()
    {
        m_reader.release();
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QByteArray locked = "%PDF-1.4 locked", broken = "%PDF-1.4 broken";
        m_reader.setResult(locked,
                           {documents::Failure::Encrypted, QStringLiteral("encrypted"), {}});
        m_reader.setResult(broken, {documents::Failure::Damaged, QStringLiteral("damaged"), {}});
        for (const auto &[name, bytes] :
             {std::pair{"a.txt", QByteArray("alpha beta\r\n")}, std::pair{"locked.pdf", locked},
              std::pair{"broken.pdf", broken}}) {
            QFile f(dir.filePath(QString::fromLatin1(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        }
        QVERIFY(!w().MENU_UNREADABLE->isEnabled());
        w().Combo1->setEditText(dir.path());
        w().Combo2->setEditText(QStringLiteral("alpha beta"));
        w().MENU_SEARCH_Click();
        QCOMPARE(w().panelText(), QStringLiteral("1個見つかりました") + texts::unreadableSuffix(2));
        QStringList expected{dir.filePath("locked.pdf") + ": encrypted",
                             dir.filePath("broken.pdf") + ": damaged"};
        QStringList listed = w().unreadableFiles();
        listed.sort();
        expected.sort();
        QCOMPARE(listed, expected);
        QVERIFY(w().MENU_UNREADABLE->isEnabled());
        w().MENU_UNREADABLE->trigger();
        QVERIFY(w().unreadableWindow() && w().unreadableWindow()->isVisible());
        auto *text = w().unreadableWindow()->findChild<QPlainTextEdit *>();
        QVERIFY(text->isReadOnly());
        QCOMPARE(text->toPlainText(), w().unreadableFiles().join(u'\n'));

        // The next search clears the list (and closes the window).
        QFile::remove(dir.filePath("locked.pdf"));
        QFile::remove(dir.filePath("broken.pdf"));
        w().MENU_SEARCH_Click();
        QCOMPARE(w().panelText(), QStringLiteral("1個見つかりました"));
        QVERIFY(w().unreadableFiles().isEmpty());
        QVERIFY(!w().MENU_UNREADABLE->isEnabled());
        QTRY_VERIFY(!w().unreadableWindow());
    }

    // A folder that does not exist is named in a box with why, not taken
    // for a folder where nothing was found.
    void missingFolderIsToldInABox()
    {
        const QString missing = m_tree.path() + QStringLiteral("/no such folder");
        w().Combo1->setEditText(missing);
        w().Combo2->setEditText(QStringLiteral("alpha"));
        w().MENU_SEARCH_Click();
        QCOMPARE(m_box.count(), 1);
        QCOMPARE(m_box.shown().first().text,
                 texts::folderCannotBeSearched(missing, texts::folderMissing));
    }
};

QTEST_MAIN(TestSearchStop)
#include "tst_searchstop.moc"
