// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// What the user can do with a found file besides viewing it: the result
// list's context menu (open, open the holding folder, copy the path), Ctrl+C
// and dragging an entry out to other programs. None of it changes the list's
// current row or selection, so the viewer never reloads through it.

#include <QByteArray>
#include <QObject>
#include <QPoint>

class DesktopShell;
class MessageBoxService;
class PathListView;
class QMenu;
class QMimeData;
class QWidget;

class ResultActions : public QObject {
    Q_OBJECT
public:
    // Acts on list's entries; reports through messageBox (may be null), with
    // boxParent as the boxes' parent. Lives as a child of list.
    ResultActions(PathListView *list, DesktopShell &desktop, MessageBoxService *messageBox,
                  QWidget *boxParent);

    // The file as the clipboard and a drag carry it: its file URL (exact
    // native bytes) and its path as text.
    static QMimeData *pathMimeData(const QByteArray &nativePath);

    void openFile(const QByteArray &nativePath);
    void openFolder(const QByteArray &nativePath); // the folder that holds the file
    static void copyPath(const QByteArray &nativePath);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QByteArray pathOfRow(int row) const;
    // The menu for the row's file, at a point of the list's viewport.
    void showMenu(int row, QPoint viewportPos);
    void showMenuForCurrentRow();
    bool viewportEvent(QEvent *event);
    bool listEvent(QEvent *event);
    void report(const QByteArray &nativePath, const QString &message);

    PathListView *m_list;
    DesktopShell &m_desktop;
    MessageBoxService *m_messageBox;
    QWidget *m_boxParent;
    int m_pressRow = -1; // the row a left press started on, for a drag
    QPoint m_pressPos;
};
