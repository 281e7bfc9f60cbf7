// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// Keys the window takes before its controls: the menu shortcuts (a text box
// would otherwise take Ctrl+X as cut), Alt+S, Enter for the default button and
// F1 for context help.

#include "mainwindow/MainWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QStatusBar>

#include "viewer/TextViewer.h"

namespace {

bool isKey(const QKeyEvent *e, Qt::KeyboardModifiers mods, int key)
{
    return e->key() == key && (e->modifiers() & ~Qt::KeypadModifier) == mods;
}

} // namespace

int MainWindow::helpTopicFor(const QObject *target) const
{
    for (const QObject *o = target; o; o = o->parent()) {
        if (o == MENU_FILE_CATEGORY)
            return 4;
        if (o == MENU_SEARCH_CATEGORY)
            return 5;
        if (o == MENU_HELP_CATEGORY)
            return 6;
        if (o == Combo1)
            return 11;
        if (o == Command1)
            return 12;
        if (o == Combo2)
            return 13;
        if (o == Command2)
            return 14;
        if (o == List1)
            return 15;
        if (o == RichTextBox1)
            return 17;
        if (o == this)
            break;
    }
    return 0;
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Resize:
        if (watched == m_client)
            dockBars();
        break;
    case QEvent::MouseButtonDblClick:
        if (watched == m_panel1 && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
            StatusBar1_PanelDblClick(1);
            return true;
        }
        break;
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress:
        return routeKey(watched, static_cast<QKeyEvent *>(event));
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

bool MainWindow::routeKey(QObject *watched, QKeyEvent *e)
{
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget)
        return false;

    // F1 on a highlighted item of an open menu: that menu's topic.
    if (auto *menu = qobject_cast<QMenu *>(widget)) {
        const int topic = helpTopicFor(menu);
        if (topic > 0 && e->type() == QEvent::KeyPress && isKey(e, Qt::NoModifier, Qt::Key_F1)) {
            menu->close();
            showHelpTopic(topic);
            return true;
        }
        return false;
    }
    if (widget->window() != this)
        return false;

    const bool press = e->type() == QEvent::KeyPress;
    // Ctrl+X cuts the selected text of the folder or keyword box, as in any
    // text box; elsewhere, and with nothing selected, it exits.
    if (isKey(e, Qt::ControlModifier, Qt::Key_X) && !press) {
        for (QComboBox *box : {Combo1, Combo2}) {
            if ((widget == box || widget->parentWidget() == box) && box->lineEdit() &&
                box->lineEdit()->hasSelectedText()) {
                e->accept(); // the box takes the key
                return true;
            }
        }
    }
    // F3 and Shift+F3 in the result list step through the shown file's
    // matching lines, as in the viewer.
    if (press && (widget == List1 || widget->parentWidget() == List1) &&
        (isKey(e, Qt::NoModifier, Qt::Key_F3) || isKey(e, Qt::ShiftModifier, Qt::Key_F3))) {
        if (e->modifiers() & Qt::ShiftModifier)
            RichTextBox1->findPreviousMatchLine();
        else
            RichTextBox1->findNextMatchLine();
        return true;
    }
    // The menu shortcuts win over a text box's own use of the keys: leave the
    // override unaccepted so the shortcut runs.
    if (isKey(e, Qt::ControlModifier, Qt::Key_X) || isKey(e, Qt::ControlModifier, Qt::Key_F) ||
        isKey(e, Qt::ControlModifier, Qt::Key_S)) {
        if (!press) {
            e->ignore();
            return true;
        }
        return false;
    }
    // Alt+S is both the search menu's and the search button's access key; it
    // runs the search button.
    if (isKey(e, Qt::AltModifier, Qt::Key_S)) {
        if (!press) {
            e->accept(); // keep it out of the ambiguous shortcut
            return true;
        }
        Command2->click();
        return true;
    }
    // Alt+U, the sub-folder box's access key, changes the box at once. Qt's
    // own access key on a check box clicks it only after a 100 ms animation,
    // so a search started by a key right after it read the old value.
    if (isKey(e, Qt::AltModifier, Qt::Key_U)) {
        if (!press) {
            e->accept(); // keep it from the check box's delayed shortcut
            return true;
        }
        Check1->setFocus(Qt::ShortcutFocusReason);
        Check1->click();
        return true;
    }
    if (!press)
        return false;
    if (isKey(e, Qt::NoModifier, Qt::Key_F1)) {
        showHelpTopic(helpTopicFor(QApplication::focusWidget()));
        return true;
    }
    // Enter in the folder or keyword box (list closed) runs the default button.
    if (isKey(e, Qt::NoModifier, Qt::Key_Return) || isKey(e, Qt::NoModifier, Qt::Key_Enter)) {
        for (QComboBox *box : {Combo1, Combo2}) {
            if ((widget == box || widget->parentWidget() == box) && !box->view()->isVisible()) {
                Command2->click();
                return true;
            }
        }
    }
    return false;
}
