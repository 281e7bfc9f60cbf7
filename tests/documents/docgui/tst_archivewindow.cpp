// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The window with archives, over the real reader helper: the search menu's
// item and its key in the settings store, the choice reaching the next
// search, and the viewer showing an archive's members in order with each
// member's path beside its first line, the first word selected and F3 going
// on from one member to the next.

#include "documents/ReaderPool.h"
#include "mainwindow/MainWindow.h"
#include "platform/FakeBeeper.h"
#include "platform/FakeServices.h"
#include "tests/documents/docgui/ListedFiles.h"
#include "viewer/DocumentFile.h"
#include "viewer/LocationGutter.h"
#include "viewer/TextViewer.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kConfig = QStringLiteral("Config");
const QString kArchives = QStringLiteral("Archives");

QString fixture(const char *name)
{
    return QStringLiteral(ARCHIVE_FIXTURES "/") + QString::fromLatin1(name);
}

} // namespace

class TestArchiveWindow : public QObject {
    Q_OBJECT

    FakeServices m_fakes;
    FakeBeeper m_beeper;
    std::unique_ptr<documents::ReaderPool> m_pool;
    std::unique_ptr<MainWindow> m_w;
    QTemporaryDir m_tree;

    MainWindow &w() { return *m_w; }
    TextViewer &viewer() { return *m_w->RichTextBox1; }

    void start()
    {
        PlatformServices services = m_fakes.services();
        services.beeper = &m_beeper;
        services.documents = m_pool.get();
        m_w = std::make_unique<MainWindow>(services);
        m_w->show();
        QVERIFY(QTest::qWaitForWindowActive(m_w.get()));
    }
    void restart()
    {
        m_w->close(); // shut-down writes the settings
        m_w.reset();
        start();
    }
    // The search menu, then the archives item by its access key.
    void toggleArchives()
    {
        QMenu *search = w().MENU_SEARCH_CATEGORY;
        search->popup(w().mapToGlobal(QPoint(10, 10)));
        QVERIFY(QTest::qWaitForWindowExposed(search));
        QTest::keyClick(search, Qt::Key_Z);
        QTRY_VERIFY(!search->isVisible());
    }
    QStringList search(const QString &keyword)
    {
        const QStringList names = listedfiles::search(w(), m_tree.path(), keyword);
        m_fakes.messageBox.clear();
        return names;
    }
    void show(const QString &name)
    {
        QVERIFY2(listedfiles::show(w(), name, 30'000), qPrintable(name + " is not shown"));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_tree.isValid());
        m_fakes.volumes.add(m_tree.path());
        m_fakes.settings.preset(kConfig, QStringLiteral("Encoding"), QStringLiteral("auto"));
        for (const char *name : {"twice.zip", "nested.zip", "encrypted.zip"})
            QVERIFY(QFile::copy(fixture(name), m_tree.filePath(QString::fromLatin1(name))));
        documents::ReaderPool::Options options;
        options.program = DOCREADER;
        options.pdfProgram = PDFREADER;
        options.helpers = 1;
        m_pool = std::make_unique<documents::ReaderPool>(options);
    }
    void cleanup() { m_w.reset(); }

    void itemFollowsTheLooseSubmenuAndIsKept()
    {
        m_fakes.settings.preset(kConfig, kArchives, QStringLiteral("0"));
        start();
        const auto items = w().MENU_SEARCH_CATEGORY->actions();
        // After 文書ファイルも検索 and the あいまい検索 submenu that follows it.
        const qsizetype at = items.indexOf(w().MENU_LOOSE_CATEGORY->menuAction());
        QVERIFY(at >= 1 && at + 1 < items.size());
        QCOMPARE(items.at(at - 1), w().MENU_DOCUMENTS);
        QCOMPARE(items.at(at + 1), w().MENU_ARCHIVES);
        QCOMPARE(w().MENU_ARCHIVES->text(), QStringLiteral("圧縮ファイルの中も検索(&Z)"));
        QVERIFY(w().MENU_ARCHIVES->isCheckable() && !w().MENU_ARCHIVES->isChecked());
        // Off: the compressed bytes are searched, as before.
        QCOMPARE(search(QStringLiteral("見積書 納品書")), QStringList{});
        toggleArchives();
        QVERIFY(w().searchArchives());
        QCOMPARE(search(QStringLiteral("見積書 納品書")), QStringList{"nested.zip"});
        restart();
        QCOMPARE(m_fakes.settings.value(kConfig, kArchives), QStringLiteral("1"));
        QVERIFY(w().MENU_ARCHIVES->isChecked());
    }

    void membersShownInOrderWithTheirPathsAndF3AcrossThem()
    {
        m_fakes.settings.preset(kConfig, kArchives, QStringLiteral("1"));
        start();
        search(QStringLiteral("alpha beta"));
        show(QStringLiteral("twice.zip"));
        QCOMPARE(viewer().text(), QStringLiteral("first\nalpha beta one\nalpha beta two"));
        QCOMPARE(viewer().selectedText(), QStringLiteral("alpha"));
        QCOMPARE(viewer().selectionStart(), qsizetype(6));
        LocationGutter *strip = viewer().findChild<LocationGutter *>();
        QVERIFY(strip && strip->isVisible());
        QCOMPARE(strip->labelOnRow(0), QStringLiteral("a.txt"));
        QCOMPARE(strip->labelOnRow(2), QStringLiteral("b.txt"));
        viewer().setFocus();
        QTest::keyClick(&viewer(), Qt::Key_F3);
        QCOMPARE(viewer().selectionStart(), qsizetype(21));
        QCOMPARE(viewer().selectedText(), QStringLiteral("alpha"));

        // Three archives deep, the path through them; the tip names what is not shown.
        show(QStringLiteral("nested.zip"));
        QVERIFY(viewer().text().contains(QStringLiteral("見積書 納品書")));
        QVERIFY(viewer().locations().size() >= 2);
        QCOMPARE(viewer().locations().front().label,
                 QStringLiteral("middle.zip/inner.tar.gz/memo.txt"));
        show(QStringLiteral("encrypted.zip"));
        QCOMPARE(viewer().text(), QStringLiteral("alpha beta\ngamma"));
        QVERIFY2(viewer().toolTip().contains(QStringLiteral("memo.txt: encrypted")),
                 qPrintable(viewer().toolTip()));
    }

    // An ISO 9660 image, told by its mark at byte 32,769 (never by its name),
    // is listed and shown by its members, with their Joliet names.
    // Told by bytes past the first 32 KiB: an image's mark, a program's LZH
    // 40,000 bytes in; by the file's end: a zip behind a program longer than
    // the first read.
    void imageShownByItsMembers_data()
    {
        QTest::addColumn<QString>("fixtureName");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("member");
        QTest::addColumn<QString>("line");
        const QString minutes = QStringLiteral("報告書/議事録.txt");
        QTest::newRow("iso 9660") << u"genisoimage-joliet.iso"_qs << u"disc.img"_qs << minutes
                                  << u"議事録 本文"_qs;
        QTest::newRow("self-extracting lzh")
            << u"lha-sfx.exe"_qs << u"setup.exe"_qs << minutes << u"議事録 本文"_qs;
        QTest::newRow("self-extracting zip")
            << u"zip-sfx.exe"_qs << u"installer.exe"_qs << u"long.txt"_qs << u"alpha beta last"_qs;
    }
    void imageShownByItsMembers()
    {
        QFETCH(QString, fixtureName);
        QFETCH(QString, name);
        QFETCH(QString, member);
        QFETCH(QString, line);
        QVERIFY(QFile::copy(fixture(qPrintable(fixtureName)), m_tree.filePath(name)));
        m_fakes.settings.preset(kConfig, kArchives, QStringLiteral("1"));
        start();
        QVERIFY(search(QStringLiteral("alpha beta")).contains(name));
        show(name);
        QStringList labels;
        for (const auto &location : viewer().locations())
            labels << location.label;
        QVERIFY2(labels.contains(member), qPrintable(labels.join(u' ')));
        QVERIFY(viewer().text().contains(line));
    }
};

QTEST_MAIN(TestArchiveWindow)
#include "tst_archivewindow.moc"
