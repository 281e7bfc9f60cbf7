// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The result and work lists: a compact list of native paths behind a list view
// (the paths' bytes in one arena; a row's text is made only when it is shown).
// Files are added to a pending batch and become rows only when the batch is
// committed (at each paced repaint and at the end of a search), so tens of
// thousands of files cost one row insertion per repaint, not one per file.

#include "search/FileList.h"

#include <QAbstractListModel>
#include <QByteArray>
#include <QListView>
#include <QString>

class PathListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // Queues a file by its native path; it shows after the next commit().
    void append(QByteArrayView nativePath);
    // Turns the queued files into rows, in the order they were queued.
    void commit();
    // Removes every row and every queued file.
    void clear();

    int pendingCount() const { return int(m_rows.size()) - m_committed; }

    // A committed row's native path and its display text.
    QByteArray nativePath(int row) const;
    QString path(int row) const;

private:
    FileList m_rows; // committed rows first, then the pending ones
    int m_committed = 0;
};

class PathListView : public QListView {
    Q_OBJECT
public:
    explicit PathListView(QWidget *parent = nullptr);

    PathListModel *pathModel() const { return m_model; }

    // Committed rows.
    int count() const;
    int currentRow() const;
    void setCurrentRow(int row);
    // The selected row, -1 for none. The current row may be set without a
    // selection (the view sets one when it takes the focus).
    int selectedRow() const;
    // Data of a committed row (Qt::DisplayRole: path as text, Qt::UserRole:
    // native path as a QByteArray).
    QVariant itemData(int row, int role = Qt::DisplayRole) const;
    QString itemText(int row) const { return itemData(row).toString(); }
    // A committed row's native path (empty for no such row).
    QByteArray nativePath(int row) const { return m_model->nativePath(row); }
    QRect rowRect(int row) const;

    void append(QByteArrayView nativePath) { m_model->append(nativePath); }
    void commit() { m_model->commit(); }
    void clear() { m_model->clear(); }

Q_SIGNALS:
    // The current row changed, by mouse, keyboard or code; -1 for none.
    void currentRowChanged(int row);
    // The selected row changed, by mouse, keyboard or code; -1 for none.
    // Taking the focus alone never changes it.
    void selectedRowChanged(int row);

protected:
    // The first arrow key in a list without a selection selects the first row,
    // whatever row the focus put the cursor on.
    void keyPressEvent(QKeyEvent *event) override;

private:
    PathListModel *m_model;
};
