// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "mainwindow/ResultActions.h"

#include "mainwindow/PathList.h"
#include "platform/DesktopShell.h"
#include "platform/DirectoryListing.h"
#include "platform/LocalFiles.h"
#include "platform/MessageBox.h"
#include "resources/Texts.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>

ResultActions::ResultActions(PathListView *list, DesktopShell &desktop,
                             MessageBoxService *messageBox, QWidget *boxParent)
    : QObject(list), m_list(list), m_desktop(desktop), m_messageBox(messageBox),
      m_boxParent(boxParent)
{
    m_list->installEventFilter(this);
    m_list->viewport()->installEventFilter(this);
}

QMimeData *ResultActions::pathMimeData(const QByteArray &nativePath)
{
    auto *data = new QMimeData;
    data->setUrls({platform::localFileUrl(nativePath)});
    data->setText(platform::displayPath(nativePath));
    return data;
}

void ResultActions::openFile(const QByteArray &nativePath)
{
    if (platform::pathKind(nativePath) == platform::PathKind::Missing) {
        report(nativePath, texts::fileGone);
        return;
    }
    if (!m_desktop.openUrl(platform::localFileUrl(nativePath)))
        report(nativePath, texts::openFailed);
}

void ResultActions::openFolder(const QByteArray &nativePath)
{
    // The folder opens even when the file itself has gone since the search.
    const QByteArray folder = platform::parentFolder(nativePath);
    if (platform::pathKind(folder) != platform::PathKind::Folder) {
        report(folder, texts::folderGone);
        return;
    }
    if (!m_desktop.openUrl(platform::localFileUrl(folder)))
        report(folder, texts::openFailed);
}

void ResultActions::copyPath(const QByteArray &nativePath)
{
    QGuiApplication::clipboard()->setMimeData(pathMimeData(nativePath));
}

void ResultActions::report(const QByteArray &nativePath, const QString &message)
{
    if (m_messageBox)
        m_messageBox->show(m_boxParent,
                           platform::displayPath(nativePath) + QLatin1Char('\n') + message,
                           texts::productName, mb::Exclamation);
}

QByteArray ResultActions::pathOfRow(int row) const
{
    if (row < 0 || row >= m_list->count())
        return {};
    return m_list->itemData(row, Qt::UserRole).toByteArray();
}

void ResultActions::showMenu(int row, QPoint viewportPos)
{
    const QByteArray path = pathOfRow(row);
    if (path.isEmpty())
        return;
    // A child of the list, so F1 in the menu opens the list's help topic.
    auto *menu = new QMenu(m_list);
    menu->setObjectName(QStringLiteral("resultMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    connect(menu->addAction(texts::resultOpen), &QAction::triggered, this,
            [this, path] { openFile(path); });
    connect(menu->addAction(texts::resultOpenFolder), &QAction::triggered, this,
            [this, path] { openFolder(path); });
    connect(menu->addAction(texts::resultCopyPath), &QAction::triggered, this,
            [path] { copyPath(path); });
    menu->popup(m_list->viewport()->mapToGlobal(viewportPos));
}

void ResultActions::showMenuForCurrentRow()
{
    const int row = m_list->currentRow();
    if (row < 0)
        return;
    // Below the row's text, kept inside the list when the row is scrolled away.
    const QRect rect = m_list->rowRect(row);
    const QRect area = m_list->viewport()->rect();
    QPoint at(rect.left() + rect.height() / 2, rect.bottom());
    at.setX(qBound(area.left(), at.x(), area.right()));
    at.setY(qBound(area.top(), at.y(), area.bottom()));
    showMenu(row, at);
}

bool ResultActions::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_list->viewport())
        return viewportEvent(event);
    if (watched == m_list)
        return listEvent(event);
    return false;
}

bool ResultActions::viewportEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease: {
        auto *e = static_cast<QMouseEvent *>(event);
        // The right button only opens the menu: the list would make the row
        // under it current, and so load it into the viewer.
        if (e->button() == Qt::RightButton)
            return true;
        if (e->button() == Qt::LeftButton) {
            m_pressRow = -1;
            if (event->type() == QEvent::MouseButtonPress) {
                const QModelIndex index = m_list->indexAt(e->position().toPoint());
                m_pressRow = index.isValid() ? index.row() : -1;
                m_pressPos = e->position().toPoint();
            }
        }
        return false;
    }
    case QEvent::MouseMove: {
        auto *e = static_cast<QMouseEvent *>(event);
        if (m_pressRow < 0 || !(e->buttons() & Qt::LeftButton))
            return false;
        if ((e->position().toPoint() - m_pressPos).manhattanLength() <
            QApplication::startDragDistance())
            return false;
        const QByteArray path = pathOfRow(m_pressRow);
        m_pressRow = -1;
        if (path.isEmpty())
            return false;
        // Copy or link only: a drop target must never move a found file away.
        m_desktop.startDrag(m_list, pathMimeData(path), Qt::CopyAction | Qt::LinkAction);
        // The drag took the button's release; end the view's press as that
        // release would, where it began, so the selection stays.
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(m_pressPos),
                            m_list->viewport()->mapToGlobal(QPointF(m_pressPos)), Qt::LeftButton,
                            Qt::NoButton, e->modifiers());
        QCoreApplication::sendEvent(m_list->viewport(), &release);
        return true;
    }
    case QEvent::ContextMenu: {
        auto *e = static_cast<QContextMenuEvent *>(event);
        if (e->reason() == QContextMenuEvent::Mouse) {
            const QModelIndex index = m_list->indexAt(e->pos());
            if (index.isValid())
                showMenu(index.row(), e->pos());
        } else {
            showMenuForCurrentRow();
        }
        e->accept();
        return true;
    }
    default:
        return false;
    }
}

bool ResultActions::listEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto *e = static_cast<QKeyEvent *>(event);
        const auto mods = e->modifiers() & ~Qt::KeypadModifier;
        if ((e->key() == Qt::Key_Menu && mods == Qt::NoModifier) ||
            (e->key() == Qt::Key_F10 && mods == Qt::ShiftModifier)) {
            showMenuForCurrentRow();
            e->accept();
            return true;
        }
        if (e->matches(QKeySequence::Copy)) {
            const QModelIndexList selected = m_list->selectionModel()->selectedIndexes();
            const QByteArray path =
                selected.isEmpty() ? QByteArray() : pathOfRow(selected.first().row());
            if (!path.isEmpty())
                copyPath(path);
            e->accept();
            return true;
        }
        return false;
    }
    case QEvent::FocusIn:
        // The focus comes back to the list when a popup (this menu) closes. The
        // view would make its first row current then, and so load it; a
        // closing menu must leave the list as it was.
        if (static_cast<QFocusEvent *>(event)->reason() == Qt::PopupFocusReason &&
            m_list->currentRow() < 0) {
            m_list->update();
            m_list->viewport()->update();
            return true;
        }
        return false;
    case QEvent::ContextMenu:
        // From the keyboard (the platform's menu key); the pointer's menu
        // comes through the viewport.
        if (static_cast<QContextMenuEvent *>(event)->reason() != QContextMenuEvent::Mouse)
            showMenuForCurrentRow();
        event->accept();
        return true;
    default:
        return false;
    }
}
