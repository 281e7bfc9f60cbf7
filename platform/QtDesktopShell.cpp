// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "platform/QtDesktopShell.h"

#include <QDesktopServices>
#include <QDrag>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

bool QtDesktopShell::openUrl(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

void QtDesktopShell::startDrag(QWidget *source, QMimeData *data, Qt::DropActions actions)
{
    auto *drag = new QDrag(source); // deleted by Qt when the drag ends
    drag->setMimeData(data);
    drag->exec(actions, Qt::CopyAction);
}
