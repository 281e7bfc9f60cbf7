// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// `Dir1`: the folder tree of the folder picker. It shows the open folder's
// ancestors from the root down to it, then the open folder's sub-folders. A
// double-click opens an entry; a single click only highlights it.

#include <QTreeWidget>

#include "platform/Volumes.h"

class FolderTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit FolderTree(const VolumeList &volumes, QWidget *parent = nullptr);

    // Full path of the open folder: "/" at the root, no trailing separator
    // elsewhere.
    QString path() const { return m_path; }
    // Opens the folder named by `text`: a path (relative ones from the process's
    // current folder) or a drive list value, which opens that volume's root.
    // Fails, leaving the open folder as it was, when the text names no folder,
    // the folder's volume is not ready or the folder cannot be opened. Setting
    // the open folder again re-reads its sub-folders without raising changed().
    bool setPath(const QString &text);

    // The entry of the open folder, and the full path an entry stands for.
    QTreeWidgetItem *openEntry() const { return m_openEntry; }
    static QString entryPath(const QTreeWidgetItem *entry);
    // The entry standing for `fullPath`, or nullptr.
    QTreeWidgetItem *entry(const QString &fullPath) const;

Q_SIGNALS:
    // Raised on every change of the open folder.
    void changed();

protected:
    void drawBranches(QPainter *painter, const QRect &rect,
                      const QModelIndex &index) const override;

private:
    void fill();
    void openEntryAt(QTreeWidgetItem *entry);

    const VolumeList &m_volumes;
    QString m_path;
    QTreeWidgetItem *m_openEntry = nullptr;
};
