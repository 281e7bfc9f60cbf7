// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The folder picker driven as a user drives it: real widgets on the offscreen
// platform, real folders in a temporary directory, volumes from a fake list and
// the Retry/Cancel box answered through the fake message box.

#include "folderpicker/DriveList.h"
#include "folderpicker/FolderPickerHost.h"
#include "folderpicker/FolderTree.h"
#include "folderpicker/SelectFolder.h"
#include "platform/FakeMessageBox.h"
#include "platform/FakeVolumeList.h"
#include "platform/QtMessageBox.h"
#include "platform/Translations.h"
#include "resources/Texts.h"

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

struct Host : FolderPickerHost {
    QString m_path;
    QString box = QStringLiteral("typed but not searched");
    int writes = 0;
    QString path() const override { return m_path; }
    void setPath(const QString &p) override
    {
        m_path = p;
        ++writes;
    }
    void setFolderBoxText(const QString &t) override
    {
        box = t;
        ++writes;
    }
};

QString notReadyText(const QString &driveValue)
{
    return driveValue + texts::driveNotAccessible + "\r\n\r\n" + texts::deviceNotReady;
}

} // namespace

class SelectFolderTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void opensAtPath();
    void windowAndKeys();
    void doubleClickThenOk();
    void singleClickOnlyHighlights();
    void rootKeepsOneSeparator_data();
    void rootKeepsOneSeparator();
    void pathsThatCannotBeOpened();
    void notReadyAtLoadThenRetry();
    void retryRepeatsUntilReady();
    void cancelOnNotReadyKeepsPreviousFolder();
    void notReadyBoxSpeaksJapanese();
    void leavingWithoutOk_data();
    void leavingWithoutOk();
    void reopenStartsFromNewPath();
    void ampersandInFolderName();
    void vanishedFolderStaysClosed();

private:
    SelectFolder *make();
    void show(SelectFolder &dialog);
    void doubleClick(FolderTree *tree, const QString &fullPath);

    std::unique_ptr<QTemporaryDir> m_tmp;
    QString m_data; // volume "DATA", ready
    QString m_usb;  // volume "USB", not ready until a test says so
    FakeVolumeList m_volumes;
    FakeMessageBox m_box;
    Host m_host;
    std::unique_ptr<SelectFolder> m_dialog;
};

void SelectFolderTest::init()
{
    m_dialog.reset();
    m_tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tmp->isValid());
    m_data = m_tmp->filePath("data");
    m_usb = m_tmp->filePath("usb");
    QDir root(m_tmp->path());
    for (const char *folder :
         {"data/docs/letters", "data/docs/.hidden", "data/music", "usb/photos"})
        QVERIFY(root.mkpath(folder));
    m_volumes = FakeVolumeList();
    m_volumes.add(m_data, "DATA");
    m_volumes.add(m_usb, "USB", false);
    m_box.clear();
    m_box.onShow(nullptr);
    m_host = Host();
}

SelectFolder *SelectFolderTest::make()
{
    PlatformServices services;
    services.messageBox = &m_box;
    services.volumes = &m_volumes;
    m_dialog = std::make_unique<SelectFolder>(m_host, services);
    return m_dialog.get();
}

void SelectFolderTest::show(SelectFolder &dialog)
{
    dialog.open();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
}

void SelectFolderTest::doubleClick(FolderTree *tree, const QString &fullPath)
{
    QTreeWidgetItem *item = tree->entry(fullPath);
    QVERIFY2(item, qPrintable(fullPath));
    const QPoint at = tree->visualItemRect(item).center();
    // A double-click as the system delivers it: press, release, double-click.
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
}

void SelectFolderTest::opensAtPath()
{
    m_host.m_path = m_data + "/docs/";
    SelectFolder *d = make();
    QCOMPARE(d->Drive1()->value(), m_data + " [DATA]");
    QCOMPARE(d->Dir1()->path(), m_data + "/docs");
    QCOMPARE(d->Label2()->text(), texts::pickerFolderPrefix + m_data + "/docs");
    QCOMPARE(m_box.count(), 0);

    // Ancestors down to the open folder, then its visible sub-folders by name.
    FolderTree *tree = d->Dir1();
    QCOMPARE(FolderTree::entryPath(tree->openEntry()), m_data + "/docs");
    QCOMPARE(tree->topLevelItemCount(), 1);
    QCOMPARE(FolderTree::entryPath(tree->topLevelItem(0)), QStringLiteral("/"));
    QVERIFY(tree->entry(m_tmp->path()));
    QCOMPARE(tree->openEntry()->childCount(), 1);
    QCOMPARE(FolderTree::entryPath(tree->openEntry()->child(0)), m_data + "/docs/letters");
    QVERIFY(!tree->entry(m_data + "/music")); // a sibling, not shown
}

void SelectFolderTest::windowAndKeys()
{
    m_host.m_path = m_data + "/";
    SelectFolder *d = make();
    show(*d);
    QCOMPARE(d->windowTitle(), texts::pickerCaption);
    QCOMPARE(d->size(), QSize(243, 255)); // 3645 x 3825 twips at 96 DPI
    QCOMPARE(d->minimumSize(), d->maximumSize());
    QVERIFY(!(d->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QVERIFY(d->isModal());
    QCOMPARE(d->frameGeometry().center(),
             QGuiApplication::primaryScreen()->availableGeometry().center());
    QVERIFY(d->Command1()->isDefault());

    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(d->Drive1()));
    QTest::keyClick(d, Qt::Key_F, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(d->Dir1()));
    QTest::keyClick(d, Qt::Key_D, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(d->Drive1()));
    const QList<QWidget *> order = {d->Dir1(), d->Command1(), d->Command2(), d->Drive1()};
    for (QWidget *next : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), next);
    }
}

void SelectFolderTest::doubleClickThenOk()
{
    m_host.m_path = m_data + "/";
    SelectFolder *d = make();
    show(*d);
    doubleClick(d->Dir1(), m_data + "/docs");
    QCOMPARE(d->Dir1()->path(), m_data + "/docs");
    QCOMPARE(d->Label2()->text(), texts::pickerFolderPrefix + m_data + "/docs");

    QTest::mouseClick(d->Command1(), Qt::LeftButton);
    QCOMPARE(d->result(), int(QDialog::Accepted));
    QCOMPARE(m_host.box, m_data + "/docs");
    QCOMPARE(m_host.m_path, m_data + "/docs/");
}

void SelectFolderTest::singleClickOnlyHighlights()
{
    m_host.m_path = m_data + "/";
    SelectFolder *d = make();
    show(*d);
    FolderTree *tree = d->Dir1();
    QTreeWidgetItem *music = tree->entry(m_data + "/music");
    QVERIFY(music);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(music).center());
    QCOMPARE(tree->currentItem(), music);
    QCOMPARE(tree->path(), m_data);

    // Enter in the tree presses the default button.
    QTest::keyClick(tree, Qt::Key_Return);
    QCOMPARE(d->result(), int(QDialog::Accepted));
    QCOMPARE(m_host.box, m_data);
    QCOMPARE(m_host.m_path, m_data + "/");
}

void SelectFolderTest::rootKeepsOneSeparator_data()
{
    QTest::addColumn<QString>("start");
    QTest::newRow("root") << "/";
    QTest::newRow("doubled separator of older settings") << "//";
}

void SelectFolderTest::rootKeepsOneSeparator()
{
    QFETCH(QString, start);
    m_host.m_path = start;
    SelectFolder *d = make();
    QCOMPARE(d->Dir1()->path(), QStringLiteral("/"));
    QCOMPARE(d->Label2()->text(), texts::pickerFolderPrefix + "/");
    show(*d);
    QTest::keyClick(d, Qt::Key_Return);
    QCOMPARE(m_host.box, QStringLiteral("/"));
    QCOMPARE(m_host.m_path, QStringLiteral("/"));

    // What OK wrote is accepted back by the next load.
    SelectFolder *again = make();
    QCOMPARE(again->Dir1()->path(), QStringLiteral("/"));
}

void SelectFolderTest::pathsThatCannotBeOpened()
{
    // A missing folder on another volume: the drive change opens that volume's
    // root and the tree stays there.
    m_volumes.setReady(m_usb, true);
    m_host.m_path = m_usb + "/gone/";
    SelectFolder *d = make();
    QCOMPARE(d->Dir1()->path(), m_usb);
    QCOMPARE(d->Label2()->text(), texts::pickerFolderPrefix + m_usb);

    // An empty path or one naming no folder leaves both controls as they were.
    const QString start = QDir::cleanPath(QDir::currentPath());
    for (const QString &bad :
         {QString(), QStringLiteral("/no/such/folder/"), QStringLiteral("/tmp") + QChar(0) + "x"}) {
        m_host.m_path = bad;
        d = make();
        QCOMPARE(d->Dir1()->path(), start);
        QCOMPARE(d->Label2()->text(), texts::pickerFolderPrefix + start);
        QVERIFY(!d->Dir1()->setPath(bad));
        QCOMPARE(d->Dir1()->path(), start);
    }
    QCOMPARE(m_box.count(), 0);
}

void SelectFolderTest::notReadyAtLoadThenRetry()
{
    m_host.m_path = m_usb + "/photos/";
    // The "disk" goes in while the box is up; the user answers Retry.
    m_box.onShow([this](const FakeMessageBox::Shown &) { m_volumes.setReady(m_usb, true); });
    m_box.setNextAnswer(mb::Retry);
    SelectFolder *d = make();
    QCOMPARE(m_box.count(), 1);
    QCOMPARE(m_box.shown()[0].text, notReadyText(m_usb + " [USB]"));
    QCOMPARE(m_box.shown()[0].title, QStringLiteral("Tarnwell"));
    QCOMPARE(m_box.shown()[0].flags, mb::Critical | mb::RetryCancel);
    QCOMPARE(d->Dir1()->path(), m_usb + "/photos");
    QCOMPARE(d->Label2()->text(), texts::pickerFolderPrefix + m_usb + "/photos");

    // Cancel at load: one box only, and the tree stays where it started.
    m_volumes.setReady(m_usb, false);
    m_box.clear();
    m_box.onShow(nullptr);
    m_box.setNextAnswer(mb::Cancel);
    d = make();
    QCOMPARE(m_box.count(), 1);
    QCOMPARE(d->Drive1()->value(), m_usb + " [USB]");
    QCOMPARE(d->Dir1()->path(), QDir::cleanPath(QDir::currentPath()));
}

void SelectFolderTest::retryRepeatsUntilReady()
{
    m_host.m_path = m_data + "/";
    SelectFolder *d = make();
    show(*d);
    m_box.onShow([this](const FakeMessageBox::Shown &) {
        if (m_box.count() == 3)
            m_volumes.setReady(m_usb, true);
    });
    for (int i = 0; i < 3; ++i)
        m_box.setNextAnswer(mb::Retry);
    // The user picks the second volume with the keyboard.
    d->Drive1()->setFocus();
    QTest::keyClick(d->Drive1(), Qt::Key_Down);
    QCOMPARE(m_box.count(), 3);
    QVERIFY(m_box.unexpected().isEmpty());
    QCOMPARE(d->Dir1()->path(), m_usb);
    QCOMPARE(d->Label2()->text(), texts::pickerFolderPrefix + m_usb);
}

void SelectFolderTest::cancelOnNotReadyKeepsPreviousFolder()
{
    m_host.m_path = m_data + "/docs/";
    SelectFolder *d = make();
    show(*d);
    m_box.setNextAnswer(mb::Cancel);
    d->Drive1()->setFocus();
    QTest::keyClick(d->Drive1(), Qt::Key_Down);
    QCOMPARE(m_box.count(), 1);
    QCOMPARE(m_box.shown()[0].text, notReadyText(m_usb + " [USB]"));
    QCOMPARE(d->Drive1()->value(), m_usb + " [USB]");
    QCOMPARE(d->Dir1()->path(), m_data + "/docs");
    QCOMPARE(d->Label2()->text(), texts::pickerFolderPrefix + m_data + "/docs");

    // The dialog is still usable; OK returns the folder that stayed open.
    QVERIFY(d->isVisible());
    QTest::mouseClick(d->Command1(), Qt::LeftButton);
    QCOMPARE(m_host.box, m_data + "/docs");
    QCOMPARE(m_host.m_path, m_data + "/docs/");
}

void SelectFolderTest::notReadyBoxSpeaksJapanese()
{
    // The real box, with the toolkit's translation installed as the program
    // installs it: its Retry and Cancel buttons are the toolkit's own texts.
    QVERIFY2(platform::installToolkitTranslation(), qPrintable(platform::toolkitTranslationFile()));
    QtMessageBox realBox;
    QString retry, cancel, title;
    auto *poll = new QTimer(this);
    poll->setInterval(10);
    connect(poll, &QTimer::timeout, this, [&, poll] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll->stop();
        title = box->windowTitle();
        retry = box->button(QMessageBox::Retry) ? box->button(QMessageBox::Retry)->text() : "-";
        cancel = box->button(QMessageBox::Cancel) ? box->button(QMessageBox::Cancel)->text() : "-";
        QTest::mouseClick(box->button(QMessageBox::Cancel), Qt::LeftButton);
    });
    poll->start();
    m_host.m_path = m_usb + "/photos/";
    PlatformServices services;
    services.messageBox = &realBox;
    services.volumes = &m_volumes;
    m_dialog = std::make_unique<SelectFolder>(m_host, services);
    delete poll;
    QCOMPARE(title, QStringLiteral("Tarnwell"));
    QCOMPARE(retry, QStringLiteral("再試行"));
    QCOMPARE(cancel, QStringLiteral("キャンセル"));
    // Cancel was taken: the tree stays where it started.
    QCOMPARE(m_dialog->Dir1()->path(), QDir::cleanPath(QDir::currentPath()));
}

void SelectFolderTest::leavingWithoutOk_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("cancel button") << "cancel";
    QTest::newRow("escape") << "esc";
    QTest::newRow("alt+c") << "alt+c";
    QTest::newRow("close box") << "close";
}

void SelectFolderTest::leavingWithoutOk()
{
    QFETCH(QString, how);
    m_host.m_path = m_data + "/";
    SelectFolder *d = make();
    show(*d);
    doubleClick(d->Dir1(), m_data + "/music");
    QCOMPARE(d->Dir1()->path(), m_data + "/music");
    if (how == "cancel")
        QTest::mouseClick(d->Command2(), Qt::LeftButton);
    else if (how == "esc")
        QTest::keyClick(d->Dir1(), Qt::Key_Escape);
    else if (how == "alt+c")
        QTest::keyClick(d, Qt::Key_C, Qt::AltModifier);
    else
        d->close();               // what the window manager's close box does
    QTRY_VERIFY(!d->isVisible()); // an access key clicks with a short animation
    QCOMPARE(d->result(), int(QDialog::Rejected));
    QCOMPARE(m_host.writes, 0);
    QCOMPARE(m_host.m_path, m_data + "/");
    QCOMPARE(m_host.box, QStringLiteral("typed but not searched"));
}

void SelectFolderTest::reopenStartsFromNewPath()
{
    m_host.m_path = m_data + "/";
    SelectFolder *d = make();
    show(*d);
    doubleClick(d->Dir1(), m_data + "/docs");
    doubleClick(d->Dir1(), m_data + "/docs/letters");
    QTest::keyClick(d, Qt::Key_Return);
    QCOMPARE(m_host.m_path, m_data + "/docs/letters/");

    d = make();
    QCOMPARE(d->Dir1()->path(), m_data + "/docs/letters");
    show(*d);
    doubleClick(d->Dir1(), m_data); // an ancestor
    QCOMPARE(d->Dir1()->path(), m_data);
    QTest::keyClick(d, Qt::Key_Escape);

    d = make(); // Cancel left `path` alone, so the new one starts there again
    QCOMPARE(d->Dir1()->path(), m_data + "/docs/letters");
}

void SelectFolderTest::ampersandInFolderName()
{
    QVERIFY(QDir(m_data).mkdir("R&D"));
    m_host.m_path = m_data + "/R&D/";
    SelectFolder *d = make();
    QCOMPARE(d->Dir1()->path(), m_data + "/R&D");
    // Shown as the name reads; only "(&F)" marks an access key.
    QCOMPARE(d->Label2()->text(), texts::pickerFolderPrefix + m_data + "/R&&D");
    show(*d);
    QTest::keyClick(d, Qt::Key_Return);
    QCOMPARE(m_host.box, m_data + "/R&D");
}

void SelectFolderTest::vanishedFolderStaysClosed()
{
    m_host.m_path = m_data + "/";
    SelectFolder *d = make();
    show(*d);
    QVERIFY(QDir(m_data + "/music").removeRecursively());
    doubleClick(d->Dir1(), m_data + "/music");
    QCOMPARE(d->Dir1()->path(), m_data);
    QVERIFY(!d->Dir1()->entry(m_data + "/music"));
    QVERIFY(d->Dir1()->entry(m_data + "/docs"));
}

QTEST_MAIN(SelectFolderTest)
#include "tst_selectfolder.moc"
