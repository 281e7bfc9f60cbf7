// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// A folder dropped on the window from a file manager goes into the folder box
// (a dropped file stands for the folder that holds it). Nothing else changes
// and no search starts. Drags that carry no URLs are left to the controls, so
// the two boxes still take dropped text as they always did.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QUrl>

#include <functional>

class QComboBox;
class QDropEvent;
class QWidget;

class FolderDrop : public QObject {
    Q_OBJECT
public:
    // Watches every drag over window (through an application event filter)
    // while it lives. busy() true refuses every drop.
    FolderDrop(QWidget *window, QComboBox *folderBox, std::function<bool()> busy);
    ~FolderDrop() override;

    // The folder a drop of these URLs would put into the folder box, as
    // native bytes, or empty when the drop is refused: the first URL is not a
    // local path that exists, or its folder cannot be written as text.
    static QByteArray folderOf(const QList<QUrl> &urls);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool handle(QDropEvent *event, bool drop);

    QWidget *m_window;
    QComboBox *m_folderBox;
    std::function<bool()> m_busy;
};
