// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// Start-up, shut-down, the layout pass and the splitter of the main window, on
// the offscreen platform with real widgets and real mouse events.

#include "folderpicker/FolderTree.h"
#include "folderpicker/SelectFolder.h"
#include "infowindows/TitleWindow.h"
#include "mainwindow/MainWindow.h"
#include "platform/FakeHelpViewer.h"
#include "platform/FakeMessageBox.h"
#include "platform/FakeVolumeList.h"
#include "platform/HelpFile.h"
#include "platform/SettingsStore.h"
#include "platform/SettingsTable.h"
#include "platform/Twips.h"
#include "viewer/TextViewer.h"

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QScreen>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <memory>

namespace {

// A store that notes, at each read, whether the title window is up.
class WatchedStore : public MemorySettingsStore {
public:
    QString get(const QString &section, const QString &key,
                const QString &defaultValue) const override
    {
        if (!titleWindowVisible())
            ++readsWithoutTitle;
        return MemorySettingsStore::get(section, key, defaultValue);
    }
    static bool titleWindowVisible()
    {
        const auto windows = QApplication::topLevelWidgets();
        for (const QWidget *w : windows)
            if (qobject_cast<const TitleWindow *>(w) && w->isVisible())
                return true;
        return false;
    }
    mutable int readsWithoutTitle = 0;
};

QString config()
{
    return QStringLiteral("Config");
}

// Outer geometry of a window in twips.
int twLeft(const QWidget *w)
{
    return qRound(twips::fromPixelsX(w->frameGeometry().x()));
}
int twTop(const QWidget *w)
{
    return qRound(twips::fromPixelsY(w->frameGeometry().y()));
}
int twWidth(const QWidget *w)
{
    return qRound(twips::fromPixelsX(w->frameGeometry().width()));
}
int twHeight(const QWidget *w)
{
    return qRound(twips::fromPixelsY(w->frameGeometry().height()));
}
int tw(int pixels)
{
    return qRound(twips::fromPixelsX(pixels));
}

// Resizes a window so that its outer (frame) size is width x height pixels.
void resizeOuter(QWidget *w, int width, int height)
{
    const QSize frame = w->frameGeometry().size() - w->size();
    w->resize(width - frame.width(), height - frame.height());
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void firstRunReadsDefaultsAndWritesThemBack();
    void titleWindowCoversTheWholeLoad();
    void storedPatternJoinsThePatternBox_data();
    void storedPatternJoinsThePatternBox();
    void storedFolderBecomesTheOnlyFolderEntry();
    void folderPickerIsLoadedHiddenAtPath();
    void unansweredNotReadyBoxEndsTheLoad();
    void notReadyBoxIsNotHiddenByTheTitleWindow();
    void storedWindowState_data();
    void storedWindowState();
    void unacceptableValuesFallBack_data();
    void unacceptableValuesFallBack();
    void negativeLeftIsKept();
    void windowOffEveryScreenComesOntoThePrimary();
    void closingWhileMinimizedStoresTheLastNormalGeometry();
    void closingWhileMaximizedStoresItsRectangle();
    void settingsAreWrittenOnce();

    void shrinkingSnapsToTheMinimumSize();
    void paneHeightsFollowTheWindowHeight();
    void splitIsPulledBelowTheRightEdge();
    void minimizedWindowIsNotLaidOut();

    void splitBelowTwoHundredIsRaisedByTheFirstDrag();
    void dragIsHeldBetweenItsLimits();
    void pressAndReleaseWithoutMove_data();
    void pressAndReleaseWithoutMove();
    void helpFileNameIsEmptyDuringADrag();
    void losingTheWindowEndsADrag();

private:
    MainWindow *start(bool show = true);
    QPoint splitterCentre() const;

    std::unique_ptr<WatchedStore> m_store;
    std::unique_ptr<FakeHelpViewer> m_help;
    std::unique_ptr<FakeMessageBox> m_box;
    std::unique_ptr<FakeVolumeList> m_volumes;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestStartup::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_store = std::make_unique<WatchedStore>();
    m_help = std::make_unique<FakeHelpViewer>();
    m_box = std::make_unique<FakeMessageBox>();
    m_volumes = std::make_unique<FakeVolumeList>();
    m_volumes->add(m_dir->path());
}

void TestStartup::cleanup()
{
    // A box with a choice that no test answered means a test missed a prompt.
    const bool unexpectedBox = m_box && !m_box->unexpected().isEmpty();
    m_window.reset();
    m_volumes.reset();
    m_box.reset();
    m_help.reset();
    m_store.reset();
    m_dir.reset();
    QVERIFY2(!unexpectedBox, "a box with a choice came up that the test did not answer");
}

MainWindow *TestStartup::start(bool show)
{
    PlatformServices services;
    services.messageBox = m_box.get();
    services.help = m_help.get();
    services.settings = m_store.get();
    services.volumes = m_volumes.get();
    m_window = std::make_unique<MainWindow>(services);
    if (show) {
        m_window->show();
        if (!QTest::qWaitForWindowExposed(m_window.get()))
            qWarning("main window not exposed");
    }
    return m_window.get();
}

QPoint TestStartup::splitterCentre() const
{
    const QWidget *splitter = m_window->Image1;
    return splitter->mapTo(m_window.get(), splitter->rect().center());
}

void TestStartup::firstRunReadsDefaultsAndWritesThemBack()
{
    MainWindow *w = start();
    // Every key read once, in the table's order.
    QCOMPARE(m_store->reads().size(), qsizetype(kSettings.size()));
    for (std::size_t i = 0; i < kSettings.size(); ++i) {
        QCOMPARE(m_store->reads()[qsizetype(i)].key, QString::fromLatin1(kSettings[i].key));
        QCOMPARE(m_store->reads()[qsizetype(i)].section, QString::fromLatin1(kSettings[i].section));
    }
    QCOMPARE(twLeft(w), 0);
    QCOMPARE(twTop(w), 0);
    QCOMPARE(twWidth(w), 6255);
    QCOMPARE(twHeight(w), 4935);
    QVERIFY(!w->isMinimized() && !w->isMaximized());
    QCOMPARE(w->splitX(), 1450);
    QCOMPARE(w->Combo1->count(), 1);
    QCOMPARE(w->Combo1->itemText(0), QString());
    QCOMPARE(w->Combo1->currentText(), QString());
    QCOMPARE(w->Combo3->count(), 2);
    QCOMPARE(w->Combo3->currentText(), QStringLiteral("*.*"));
    QCOMPARE(helpfile::name(), QStringLiteral("tarnview.hlp"));
    QVERIFY(!w->isDragging());
    QVERIFY(!w->Picture1->isVisible());

    w->close();
    QCOMPARE(m_help->calls().size(), 1);
    QCOMPARE(m_help->calls()[0].command, HelpViewer::HELP_QUIT);
    QCOMPARE(m_help->calls()[0].helpFile, QStringLiteral("tarnview.hlp"));
    const QList<MemorySettingsStore::Access> expected = {
        {"Version", "Version1", " 200"},
        {"Version", "Version2", " 331"},
        {"Config", "Window Left", " 0"},
        {"Config", "Window Top", " 0"},
        {"Config", "Window Width", " 6255"},
        {"Config", "Window Height", " 4935"},
        {"Config", "Window State", " 0"},
        {"Config", "Split X", " 1450"},
        {"Config", "Path", ""},
        {"Config", "Pattern", "*.*"},
        {"Config", "Encoding", "cp932"},
        {"Config", "Documents", "0"},
        {"Config", "IgnoreCase", "0"},
        {"Config", "IgnoreWidth", "0"},
        {"Config", "IgnoreKana", "0"},
        {"Config", "Archives", "0"},
    };
    QCOMPARE(m_store->saves(), expected);
    QCOMPARE(m_store->flushCount(), 1);
}

void TestStartup::titleWindowCoversTheWholeLoad()
{
    start(false);
    QCOMPARE(m_store->reads().size(), qsizetype(kSettings.size()));
    QCOMPARE(m_store->readsWithoutTitle, 0);
    // Removed before the main window shows, and not just hidden.
    const auto windows = QApplication::topLevelWidgets();
    for (const QWidget *w : windows)
        QVERIFY(!qobject_cast<const TitleWindow *>(w));
}

void TestStartup::storedPatternJoinsThePatternBox_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("new pattern") << "*.doc" << QStringList{"*.*", "*.txt", "*.doc"};
    QTest::newRow("existing entry") << "*.txt" << QStringList{"*.*", "*.txt"};
    QTest::newRow("case differs") << "*.TXT" << QStringList{"*.*", "*.txt", "*.TXT"};
    QTest::newRow("empty") << "" << QStringList{"*.*", "*.txt", ""};
}

void TestStartup::storedPatternJoinsThePatternBox()
{
    QFETCH(QString, stored);
    QFETCH(QStringList, entries);
    m_store->preset(config(), QStringLiteral("Pattern"), stored);
    MainWindow *w = start();
    QStringList actual;
    for (int i = 0; i < w->Combo3->count(); ++i)
        actual << w->Combo3->itemText(i);
    QCOMPARE(actual, entries);
    QCOMPARE(w->Combo3->currentText(), stored);
    QVERIFY(!w->Combo3->isVisible());
    w->close();
    QCOMPARE(m_store->value(config(), QStringLiteral("Pattern")), stored);
}

void TestStartup::storedFolderBecomesTheOnlyFolderEntry()
{
    const QString folder = m_dir->path();
    m_store->preset(config(), QStringLiteral("Path"), folder);
    MainWindow *w = start();
    QCOMPARE(w->path, folder);
    QCOMPARE(w->Combo1->count(), 1);
    QCOMPARE(w->Combo1->itemText(0), folder);
    QCOMPARE(w->Combo1->currentText(), folder);
    w->close();
    QCOMPARE(m_store->value(config(), QStringLiteral("Path")), folder);
}

void TestStartup::folderPickerIsLoadedHiddenAtPath()
{
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("inner/deeper")));
    const QString folder = m_dir->filePath(QStringLiteral("inner"));
    m_store->preset(config(), QStringLiteral("Path"), folder);
    start();
    SelectFolder *picker = nullptr;
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows)
        if (auto *p = qobject_cast<SelectFolder *>(w))
            picker = p;
    QVERIFY(picker);
    QVERIFY(!picker->isVisible());
    QCOMPARE(picker->Dir1()->path(), folder);
    QCOMPARE(m_box->count(), 0);

    // At exit it goes with the main window.
    QPointer<SelectFolder> guard(picker);
    m_window->close();
    QVERIFY(guard.isNull());
}

void TestStartup::unansweredNotReadyBoxEndsTheLoad()
{
    // A stored folder on a volume that never becomes ready, and no answer
    // queued: the box is recorded as unexpected and answered Cancel, so the
    // load ends instead of asking again without end.
    QTemporaryDir usb;
    QVERIFY(usb.isValid());
    m_volumes->add(usb.path(), QStringLiteral("USB"), false);
    m_store->preset(config(), QStringLiteral("Path"), usb.path());
    MainWindow *w = start();
    QCOMPARE(m_box->count(), 1);
    QCOMPARE(m_box->unexpected().size(), 1);
    QCOMPARE(m_box->unexpected()[0].flags & 0x0F, mb::RetryCancel);
    QVERIFY(!WatchedStore::titleWindowVisible());
    QVERIFY(w->isVisible());
    QCOMPARE(w->Combo1->currentText(), usb.path());
    m_box->clear(); // seen and checked here
}

void TestStartup::notReadyBoxIsNotHiddenByTheTitleWindow()
{
    // The stored folder lies on a volume that is not ready: the picker's
    // Retry/Cancel box comes up while the title window is still on screen, on
    // the same spot. No window of the program may then be kept above the box.
    QTemporaryDir usb;
    QVERIFY(usb.isValid());
    m_volumes->add(usb.path(), QStringLiteral("USB"), false);
    m_store->preset(config(), QStringLiteral("Path"), usb.path());
    int boxes = 0;
    bool titleUp = false;
    QStringList keptAbove;
    m_box->onShow([&](const FakeMessageBox::Shown &shown) {
        ++boxes;
        QCOMPARE(shown.flags & 0x0F, mb::RetryCancel);
        titleUp = WatchedStore::titleWindowVisible();
        const auto windows = QApplication::topLevelWidgets();
        for (const QWidget *w : windows) {
            if (!w->isVisible())
                continue;
            const bool above = w->windowFlags().testFlag(Qt::WindowStaysOnTopHint) ||
                               (w->windowHandle() &&
                                w->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
            if (above)
                keptAbove << QString::fromLatin1(w->metaObject()->className());
        }
    });
    m_box->setNextAnswer(mb::Cancel);
    MainWindow *w = start();
    QCOMPARE(boxes, 1);
    QVERIFY(titleUp);
    QCOMPARE(keptAbove, QStringList());
    // Cancel ends the load as usual: the title window goes, the window shows.
    QVERIFY(!WatchedStore::titleWindowVisible());
    QVERIFY(w->isVisible());
}

void TestStartup::storedWindowState_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("maximized");
    QTest::newRow("normal") << " 0" << false;
    QTest::newRow("minimized comes up normal") << "1" << false;
    QTest::newRow("maximized") << " 2" << true;
}

void TestStartup::storedWindowState()
{
    QFETCH(QString, stored);
    QFETCH(bool, maximized);
    m_store->preset(config(), QStringLiteral("Window State"), stored);
    MainWindow *w = start();
    QVERIFY(!w->isMinimized());
    QCOMPARE(w->isMaximized(), maximized);
    w->close();
    QCOMPARE(m_store->value(config(), QStringLiteral("Window State")),
             maximized ? QStringLiteral(" 2") : QStringLiteral(" 0"));
}

void TestStartup::unacceptableValuesFallBack_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("split");
    QTest::addColumn<QString>("version1");

    // Numbers read the same with and without the leading blank.
    QTest::newRow("left without blank") << "Window Left"
                                        << "750" << 750 << 6255 << 4935 << 1450 << " 200";
    QTest::newRow("left too far") << "Window Left"
                                  << "1e12" << 0 << 6255 << 4935 << 1450 << " 200";
    QTest::newRow("wider") << "Window Width"
                           << " 9000" << 0 << 9000 << 4935 << 1450 << " 200";
    QTest::newRow("negative width") << "Window Width"
                                    << "-9000" << 0 << 6255 << 4935 << 1450 << " 200";
    QTest::newRow("width not a number: raised to the minimum")
        << "Window Width"
        << "wide" << 0 << 6255 << 4935 << 1450 << " 200";
    QTest::newRow("huge height") << "Window Height"
                                 << "1e30" << 0 << 6255 << 4935 << 1450 << " 200";
    QTest::newRow("split beyond 32 bits") << "Split X"
                                          << "3000000000" << 0 << 6255 << 4935 << 1450 << " 200";
    QTest::newRow("split half to even") << "Split X"
                                        << "1000.5" << 0 << 6255 << 4935 << 1000 << " 200";
    QTest::newRow("version beyond 16 bits") << "Version1"
                                            << "40000" << 0 << 6255 << 4935 << 1450 << " 200";
    QTest::newRow("version not a number") << "Version1"
                                          << "v2" << 0 << 6255 << 4935 << 1450 << " 0";
    QTest::newRow("negative version") << "Version1"
                                      << "-3" << 0 << 6255 << 4935 << 1450 << "-3";
    QTest::newRow("state 5") << "Window State"
                             << "5" << 0 << 6255 << 4935 << 1450 << " 200";
    QTest::newRow("state beyond 16 bits") << "Window State"
                                          << "65538" << 0 << 6255 << 4935 << 1450 << " 200";
}

void TestStartup::unacceptableValuesFallBack()
{
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(int, left);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, split);
    QFETCH(QString, version1);
    const QString section = key.startsWith(u'V') ? QStringLiteral("Version") : config();
    m_store->preset(section, key, stored);
    MainWindow *w = start();
    QVERIFY(!w->isMinimized() && !w->isMaximized());
    QCOMPARE(twLeft(w), left);
    QCOMPARE(twWidth(w), width);
    QCOMPARE(twHeight(w), height);
    QCOMPARE(w->splitX(), split);
    w->close();
    QCOMPARE(m_store->value(QStringLiteral("Version"), QStringLiteral("Version1")), version1);
}

void TestStartup::negativeLeftIsKept()
{
    // A maximized window's left edge is stored negative; start-up places the
    // window there (before it shows: the offscreen platform then clamps it).
    m_store->preset(config(), QStringLiteral("Window Left"), QStringLiteral("-60"));
    MainWindow *w = start(false);
    QCOMPARE(twLeft(w), -60);
}

void TestStartup::windowOffEveryScreenComesOntoThePrimary()
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    m_store->preset(config(), QStringLiteral("Window Left"),
                    QString::number(tw(screen.right() + 100)));
    m_store->preset(config(), QStringLiteral("Window Top"), QStringLiteral("-30000"));
    MainWindow *w = start();
    QVERIFY(screen.intersects(w->frameGeometry()));
    QCOMPARE(w->frameGeometry().topLeft(),
             QGuiApplication::primaryScreen()->availableGeometry().topLeft());

    // Partly on a screen is left where it is.
    cleanup();
    init();
    m_store->preset(config(), QStringLiteral("Window Left"), QString::number(tw(-200)));
    w = start(false);
    QCOMPARE(w->frameGeometry().x(), -200);
}

void TestStartup::closingWhileMinimizedStoresTheLastNormalGeometry()
{
    MainWindow *w = start();
    w->move(30, 40);
    resizeOuter(w, 500, 400); // a layout pass notes this geometry
    QTRY_COMPARE(w->frameGeometry().size(), QSize(500, 400));
    const QRect normal = w->frameGeometry();
    w->showMinimized();
    QTRY_VERIFY(w->isMinimized());
    w->move(90, 90); // moving runs no layout pass
    w->close();
    QCOMPARE(m_store->value(config(), QStringLiteral("Window Left")),
             QStringLiteral(" %1").arg(tw(normal.x())));
    QCOMPARE(m_store->value(config(), QStringLiteral("Window Top")),
             QStringLiteral(" %1").arg(tw(normal.y())));
    QCOMPARE(m_store->value(config(), QStringLiteral("Window Width")), QStringLiteral(" 7500"));
    QCOMPARE(m_store->value(config(), QStringLiteral("Window Height")), QStringLiteral(" 6000"));
    QCOMPARE(m_store->value(config(), QStringLiteral("Window State")), QStringLiteral(" 0"));
}

void TestStartup::closingWhileMaximizedStoresItsRectangle()
{
    MainWindow *w = start();
    w->showMaximized();
    QTRY_VERIFY(w->isMaximized());
    QTRY_VERIFY(w->frameGeometry().width() > twips::toPixelsX(6255));
    const QRect rect = w->frameGeometry();
    w->close();
    QCOMPARE(m_store->value(config(), QStringLiteral("Window Width")),
             QStringLiteral(" %1").arg(tw(rect.width())));
    QCOMPARE(m_store->value(config(), QStringLiteral("Window Left")),
             (rect.x() < 0 ? QStringLiteral("%1") : QStringLiteral(" %1")).arg(tw(rect.x())));
    QCOMPARE(m_store->value(config(), QStringLiteral("Window State")), QStringLiteral(" 2"));
    QCOMPARE(w->lastwidth, tw(rect.width()));
}

void TestStartup::settingsAreWrittenOnce()
{
    MainWindow *w = start();
    w->close();
    w->close();
    short cancel = 0;
    w->Form_Unload(cancel);
    QCOMPARE(cancel, short(0));
    QCOMPARE(m_store->saves().size(), qsizetype(kSettings.size()));
    QCOMPARE(m_store->reads().size(), qsizetype(kSettings.size()));
}

void TestStartup::shrinkingSnapsToTheMinimumSize()
{
    MainWindow *w = start();
    resizeOuter(w, 100, 50);
    QTRY_COMPARE(w->frameGeometry().size(), twips::toPixels(6255, 2500));
    QCOMPARE(w->lastwidth, tw(twips::toPixelsX(6255)));
    QCOMPARE(w->lastheight, qRound(twips::fromPixelsY(twips::toPixelsY(2500))));
}

void TestStartup::paneHeightsFollowTheWindowHeight()
{
    MainWindow *w = start();
    const int statusBar = qRound(twips::fromPixelsY(w->StatusBar1->height()));
    // At the default height, with the status bar 255 twips high, both panes
    // are 2280 twips high.
    const int expected = 4935 - 1680 - statusBar - 720;
    QCOMPARE(qRound(twips::fromPixelsY(w->List1->height())), expected);
    if (statusBar == 255)
        QCOMPARE(expected, 2280);
    QCOMPARE(w->RichTextBox1->height(), w->List1->height());
    QCOMPARE(w->Image1->height(), w->RichTextBox1->height() + twips::toPixelsY(30));
    QCOMPARE(w->Image1->x(), w->List1->width());
    QCOMPARE(w->Image1->width(), twips::toPixelsX(50));

    // At the minimum height the panes would be negative: they keep their height.
    const int before = w->List1->height();
    resizeOuter(w, w->frameGeometry().width(), 10);
    QTRY_COMPARE(w->frameGeometry().height(), twips::toPixelsY(2500));
    QCOMPARE(w->List1->height(), before);
    QCOMPARE(w->RichTextBox1->height(), before);
    QCOMPARE(w->Image1->height(), before + twips::toPixelsY(30));

    // Taller: they grow with the window.
    resizeOuter(w, w->frameGeometry().width(), twips::toPixelsY(7000));
    QTRY_COMPARE(w->List1->height(), twips::toPixelsY(7000 - 1680 - statusBar - 720));
}

void TestStartup::splitIsPulledBelowTheRightEdge()
{
    // Pulled on the first pass.
    m_store->preset(config(), QStringLiteral("Split X"), QStringLiteral(" 6000"));
    MainWindow *w = start();
    QCOMPARE(w->splitX(), 6255 - 400);
    QCOMPARE(w->List1->width(), twips::toPixelsX(5855));
    QCOMPARE(w->RichTextBox1->x(), twips::toPixelsX(5905));

    // Narrowing pulls it further; widening does not push it back.
    cleanup();
    init();
    m_store->preset(config(), QStringLiteral("Window Width"), QStringLiteral(" 9000"));
    m_store->preset(config(), QStringLiteral("Split X"), QStringLiteral(" 8000"));
    w = start();
    QCOMPARE(w->splitX(), 8000);
    const int height = w->frameGeometry().height();
    resizeOuter(w, twips::toPixelsX(7000), height);
    QTRY_COMPARE(w->splitX(), tw(twips::toPixelsX(7000)) - 400);
    resizeOuter(w, twips::toPixelsX(5000), height); // snaps back to 6255
    QTRY_COMPARE(w->frameGeometry().width(), twips::toPixelsX(6255));
    QCOMPARE(w->splitX(), 5855);
    resizeOuter(w, twips::toPixelsX(9000), height);
    QTRY_COMPARE(w->frameGeometry().width(), twips::toPixelsX(9000));
    QCOMPARE(w->splitX(), 5855);
    QCOMPARE(w->RichTextBox1->width(), twips::toPixelsX(9000 - 5905 - 120));
}

void TestStartup::minimizedWindowIsNotLaidOut()
{
    MainWindow *w = start();
    resizeOuter(w, 600, 400);
    QTRY_COMPARE(w->lastwidth, 9000);
    w->showMinimized();
    QTRY_VERIFY(w->isMinimized());
    QCOMPARE(w->lastwidth, 9000);
    w->showNormal();
    QTRY_VERIFY(!w->isMinimized());
    QCOMPARE(w->lastwidth, tw(w->frameGeometry().width()));
    QCOMPARE(w->frameGeometry().size(), QSize(600, 400));
}

void TestStartup::splitBelowTwoHundredIsRaisedByTheFirstDrag()
{
    m_store->preset(config(), QStringLiteral("Split X"), QStringLiteral("0"));
    MainWindow *w = start();
    QCOMPARE(w->splitX(), 0); // the layout keeps it
    QCOMPARE(w->List1->width(), 0);
    QWindow *window = w->windowHandle();
    const QPoint at = splitterCentre();
    QTest::mousePress(window, Qt::LeftButton, {}, at);
    QVERIFY(w->isDragging());
    QVERIFY(w->Picture1->isVisible());
    QCOMPARE(w->Picture1->geometry().x(), w->Image1->x());
    QTest::mouseMove(window, at + QPoint(1, 0));
    QCOMPARE(w->splitX(), 200);
    QCOMPARE(w->Picture1->x(), twips::toPixelsX(200));
    QTest::mouseRelease(window, Qt::LeftButton, {}, at + QPoint(1, 0));
    QVERIFY(!w->isDragging());
    QVERIFY(!w->Picture1->isVisible());
    QCOMPARE(w->splitX(), 200);
    QCOMPARE(w->List1->width(), twips::toPixelsX(200));
}

void TestStartup::dragIsHeldBetweenItsLimits()
{
    m_store->preset(config(), QStringLiteral("Window Width"), QStringLiteral("9000"));
    MainWindow *w = start();
    QWindow *window = w->windowHandle();
    const QPoint at = splitterCentre();
    QTest::mousePress(window, Qt::LeftButton, {}, at);

    // Far left, outside the strip and the window: the strip still gets the moves.
    QTest::mouseMove(window, QPoint(-300, at.y()));
    QCOMPARE(w->splitX(), 200);
    QCOMPARE(w->Picture1->x(), twips::toPixelsX(200));
    QCOMPARE(w->List1->width(), twips::toPixelsX(200));
    QCOMPARE(w->RichTextBox1->x(), twips::toPixelsX(250));
    QCOMPARE(w->Image1->x(), twips::toPixelsX(200));

    // Somewhere in between.
    QTest::mouseMove(window, QPoint(twips::toPixelsX(3000), at.y()));
    QVERIFY(qAbs(w->splitX() - 3000) <= 30);
    QCOMPARE(w->Image1->x(), w->Picture1->x());

    // Far right.
    // The bar stops at W - 400 = 8600 twips, as near as a pixel allows, and the
    // split is taken from where the bar stands.
    const int rightmost = tw(twips::toPixelsX(8600));
    QTest::mouseMove(window, QPoint(w->width() + 300, at.y()));
    QCOMPARE(w->Picture1->x(), twips::toPixelsX(8600));
    QCOMPARE(w->splitX(), rightmost);
    QTest::mouseRelease(window, Qt::LeftButton, {}, QPoint(w->width() + 300, at.y()));
    QCOMPARE(w->splitX(), rightmost);
    QCOMPARE(w->List1->width(), twips::toPixelsX(rightmost));
    QCOMPARE(w->RichTextBox1->x(), twips::toPixelsX(rightmost + 50));
    QCOMPARE(w->RichTextBox1->width(), twips::toPixelsX(9000 - (rightmost + 50) - 120));
    QVERIFY(!w->Picture1->isVisible());

    // The new split is what is stored at exit.
    w->close();
    QCOMPARE(m_store->value(config(), QStringLiteral("Split X")),
             QStringLiteral(" %1").arg(rightmost));
}

void TestStartup::pressAndReleaseWithoutMove_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("after");
    QTest::newRow("within the limits") << "1500" << 1500;
    QTest::newRow("below 200") << "120" << 200;
}

void TestStartup::pressAndReleaseWithoutMove()
{
    QFETCH(QString, stored);
    QFETCH(int, after);
    m_store->preset(config(), QStringLiteral("Split X"), stored);
    MainWindow *w = start();
    const QRect list = w->List1->geometry();
    const QRect viewer = w->RichTextBox1->geometry();
    const QPoint at = splitterCentre();
    QTest::mouseClick(w->windowHandle(), Qt::LeftButton, {}, at);
    QVERIFY(!w->isDragging());
    QCOMPARE(w->splitX(), after);
    QCOMPARE(helpfile::name(), QStringLiteral("tarnview.hlp"));
    if (after == stored.toInt()) {
        QCOMPARE(w->List1->geometry(), list);
        QCOMPARE(w->RichTextBox1->geometry(), viewer);
    } else {
        QCOMPARE(w->List1->width(), twips::toPixelsX(after));
    }
}

void TestStartup::helpFileNameIsEmptyDuringADrag()
{
    MainWindow *w = start();
    QWindow *window = w->windowHandle();
    const QPoint at = splitterCentre();
    QTest::mousePress(window, Qt::LeftButton, {}, at);
    QCOMPARE(helpfile::name(), QStringLiteral("tarnview.hlp"));
    QTest::mouseMove(window, at + QPoint(20, 0));
    QCOMPARE(helpfile::name(), QString());
    QTest::mouseMove(window, at + QPoint(40, 5));
    QCOMPARE(helpfile::name(), QString());
    QTest::mouseRelease(window, Qt::LeftButton, {}, at + QPoint(40, 5));
    QCOMPARE(helpfile::name(), QStringLiteral("tarnview.hlp"));

    // Moving over the strip without a press changes nothing.
    const int split = w->splitX();
    QTest::mouseMove(window, splitterCentre() + QPoint(10, 0));
    QCOMPARE(w->splitX(), split);
    QCOMPARE(helpfile::name(), QStringLiteral("tarnview.hlp"));
}

void TestStartup::losingTheWindowEndsADrag()
{
    MainWindow *w = start();
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    QWindow *window = w->windowHandle();
    const QPoint at = splitterCentre();
    QTest::mousePress(window, Qt::LeftButton, {}, at);
    QTest::mouseMove(window, at + QPoint(30, 0));
    QCOMPARE(helpfile::name(), QString());
    const int split = w->splitX();

    // Another window takes the focus before the release arrives.
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QVERIFY(!w->isDragging());
    QVERIFY(!w->Picture1->isVisible());
    QCOMPARE(w->splitX(), split);
    QCOMPARE(helpfile::name(), QStringLiteral("tarnview.hlp"));
    QTest::mouseRelease(window, Qt::LeftButton, {}, at + QPoint(30, 0));
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
