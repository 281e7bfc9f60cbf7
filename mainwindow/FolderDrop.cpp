// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "mainwindow/FolderDrop.h"

#include "platform/DirectoryListing.h"
#include "platform/LocalFiles.h"

#include <QApplication>
#include <QComboBox>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

FolderDrop::FolderDrop(QWidget *window, QComboBox *folderBox, std::function<bool()> busy)
    : QObject(window), m_window(window), m_folderBox(folderBox), m_busy(std::move(busy))
{
    // Drags over controls that take no drops end at the window.
    m_window->setAcceptDrops(true);
    qApp->installEventFilter(this);
}

FolderDrop::~FolderDrop()
{
    qApp->removeEventFilter(this);
}

QByteArray FolderDrop::folderOf(const QList<QUrl> &urls)
{
    if (urls.isEmpty())
        return {};
    QByteArray path = platform::nativePathOfUrl(urls.first());
    switch (platform::pathKind(path)) {
    case platform::PathKind::Missing:
        return {};
    case platform::PathKind::File:
        path = platform::parentFolder(path);
        break;
    case platform::PathKind::Folder:
        while (path.size() > 1 && path.back() == platform::kSeparator)
            path.chop(1);
        break;
    }
    // The folder box holds text; a name that is not valid text would name
    // another folder there.
    if (platform::nativeFolderPath(platform::displayPath(path)) != platform::nativeFolderPath(path))
        return {};
    return path;
}

bool FolderDrop::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return false;
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || widget->window() != m_window)
        return false;
    return handle(static_cast<QDropEvent *>(event), type == QEvent::Drop);
}

bool FolderDrop::handle(QDropEvent *event, bool drop)
{
    const QMimeData *data = event->mimeData();
    if (!data || !data->hasUrls())
        return false;

    // Copy or link, never move: a file manager deletes what was moved.
    Qt::DropAction action = Qt::IgnoreAction;
    if (event->proposedAction() == Qt::CopyAction || event->proposedAction() == Qt::LinkAction)
        action = event->proposedAction();
    else if (event->possibleActions() & Qt::CopyAction)
        action = Qt::CopyAction;
    else if (event->possibleActions() & Qt::LinkAction)
        action = Qt::LinkAction;

    const bool blocked = m_busy() || QApplication::activeModalWidget() != nullptr;
    const QByteArray folder = blocked ? QByteArray() : folderOf(data->urls());
    if (folder.isEmpty() || action == Qt::IgnoreAction) {
        event->setDropAction(Qt::IgnoreAction);
        event->ignore();
        return true;
    }
    event->setDropAction(action);
    event->accept();
    if (drop)
        m_folderBox->setEditText(platform::displayPath(folder));
    return true;
}
