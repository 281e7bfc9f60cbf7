// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The desktop around the program as a seam: opening a file or folder with the
// application the desktop associates with it, and dragging data out to other
// programs. Tests pass a double that records what was asked for.

#include <Qt>

class QMimeData;
class QUrl;
class QWidget;

class DesktopShell {
public:
    virtual ~DesktopShell() = default;
    // Asks the desktop to open the URL (a folder opens in the file manager).
    // Returns false when the desktop could not start anything for it.
    virtual bool openUrl(const QUrl &url) = 0;
    // Drags data out of source with the given actions offered, and returns
    // when the drag has ended. Takes ownership of data.
    virtual void startDrag(QWidget *source, QMimeData *data, Qt::DropActions actions) = 0;
};
