// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The main window's four ways to the folder command (menu item, Ctrl+F, the
// browse button and toolbar button 2) each open the folder picker modally at
// `path`, its OK reaches the folder box and `path`, and the next opening starts
// from there.

#include "folderpicker/FolderTree.h"
#include "folderpicker/SelectFolder.h"
#include "mainwindow/MainWindow.h"
#include "platform/FakeServices.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

class FolderCommandsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void eachPathOpensThePicker_data();
    void eachPathOpensThePicker();
};

void FolderCommandsTest::eachPathOpensThePicker_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("menu item") << "menu";
    QTest::newRow("ctrl+f") << "ctrl+f";
    QTest::newRow("browse button") << "button";
    QTest::newRow("alt+b") << "alt+b";
    QTest::newRow("toolbar button 2") << "toolbar";
}

void FolderCommandsTest::eachPathOpensThePicker()
{
    QFETCH(QString, how);
    QTemporaryDir tmp;
    QVERIFY(QDir(tmp.path()).mkpath("data/docs"));
    const QString data = tmp.filePath("data");

    FakeServices fakes;
    fakes.settings.preset(QStringLiteral("Config"), QStringLiteral("Path"), data + "/");
    fakes.volumes.add(data, "DATA");

    MainWindow window(fakes.services());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    window.path = data + "/";
    window.Combo1->setEditText(QStringLiteral("typed"));

    // Runs inside the picker's modal loop: notes where it started, then opens
    // "docs" and presses OK (`openDocs`) or just presses Esc.
    int shown = 0;
    bool openDocs = true;
    QString startedAt;
    bool modalOnWindow = false;
    std::function<void()> answer = [&]() {
        auto *picker = qobject_cast<SelectFolder *>(QApplication::activeModalWidget());
        if (!picker) {
            QTimer::singleShot(10, &window, answer);
            return;
        }
        ++shown;
        startedAt = picker->Dir1()->path();
        modalOnWindow = picker->isModal() && picker->parentWidget() == &window;
        FolderTree *tree = picker->Dir1();
        QTreeWidgetItem *docs = tree->entry(data + "/docs");
        if (!openDocs) {
            QTest::keyClick(tree, Qt::Key_Escape);
            return;
        }
        if (docs) {
            const QPoint at = tree->visualItemRect(docs).center();
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
        }
        QTest::keyClick(tree, Qt::Key_Return);
    };
    auto runCommand = [&]() {
        // Shortcuts and access keys reach the active window only.
        window.activateWindow();
        QTRY_VERIFY(window.isActiveWindow());
        QTimer::singleShot(0, &window, answer);
        if (how == "menu") {
            QMenuBar *bar = window.menuBar();
            QAction *category = window.MENU_SEARCH_CATEGORY->menuAction();
            QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(category).center());
            QMenu *menu = window.MENU_SEARCH_CATEGORY;
            QTRY_VERIFY(menu->isVisible());
            QTest::mouseClick(menu, Qt::LeftButton, {},
                              menu->actionGeometry(window.MENU_FOLDER).center());
        } else if (how == "ctrl+f") {
            QTest::keyClick(window.Combo1, Qt::Key_F, Qt::ControlModifier);
        } else if (how == "button") {
            QTest::mouseClick(window.Command1, Qt::LeftButton);
        } else if (how == "alt+b") {
            QTest::keyClick(window.Combo1, Qt::Key_B, Qt::AltModifier);
        } else {
            const QList<QAction *> actions = window.Toolbar1->actions();
            QVERIFY(actions.size() >= 2);
            QWidget *button = window.Toolbar1->widgetForAction(actions[1]);
            QVERIFY(button);
            QTest::mouseClick(button, Qt::LeftButton);
        }
    };

    runCommand();
    QTRY_COMPARE(shown, 1);
    QCOMPARE(startedAt, data);
    QVERIFY(modalOnWindow);
    QTRY_COMPARE(window.path, data + "/docs/");
    QCOMPARE(window.Combo1->currentText(), data + "/docs");

    // Opened again, the picker starts from the new `path`; Esc changes nothing.
    openDocs = false;
    runCommand();
    QTRY_COMPARE(shown, 2);
    QCOMPARE(startedAt, data + "/docs");
    QTRY_VERIFY(!QApplication::activeModalWidget());
    QCOMPARE(window.path, data + "/docs/");
    QCOMPARE(window.Combo1->currentText(), data + "/docs");
    QCOMPARE(fakes.messageBox.count(), 0);
}

QTEST_MAIN(FolderCommandsTest)
#include "tst_foldercommands.moc"
