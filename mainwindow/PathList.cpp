// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "mainwindow/PathList.h"

#include <QItemSelectionModel>
#include <QKeyEvent>

int PathListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_committed;
}

QVariant PathListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.column() != 0 || index.row() < 0 || index.row() >= m_committed)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return m_rows.path(index.row());
    case Qt::UserRole:
        return m_rows.nativePath(index.row()).toByteArray();
    default:
        return {};
    }
}

QByteArray PathListModel::nativePath(int row) const
{
    if (row < 0 || row >= m_committed)
        return {};
    return m_rows.nativePath(row).toByteArray();
}

QString PathListModel::path(int row) const
{
    if (row < 0 || row >= m_committed)
        return {};
    return m_rows.path(row);
}

void PathListModel::append(QByteArrayView nativePath)
{
    m_rows.append(nativePath);
}

void PathListModel::commit()
{
    const int total = int(m_rows.size());
    if (total == m_committed)
        return;
    beginInsertRows(QModelIndex(), m_committed, total - 1);
    m_committed = total;
    endInsertRows();
}

void PathListModel::clear()
{
    if (m_committed == 0) {
        m_rows.clear();
        return;
    }
    beginResetModel();
    m_rows.clear();
    m_committed = 0;
    endResetModel();
}

PathListView::PathListView(QWidget *parent) : QListView(parent), m_model(new PathListModel(this))
{
    setModel(m_model);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current, const QModelIndex &) {
                Q_EMIT currentRowChanged(current.isValid() ? current.row() : -1);
            });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { Q_EMIT selectedRowChanged(selectedRow()); });
    // A reset leaves no current or selected row; say so as a row change would.
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        Q_EMIT currentRowChanged(-1);
        Q_EMIT selectedRowChanged(-1);
    });
}

int PathListView::count() const
{
    return m_model->rowCount();
}

int PathListView::currentRow() const
{
    const QModelIndex i = currentIndex();
    return i.isValid() ? i.row() : -1;
}

void PathListView::setCurrentRow(int row)
{
    if (row < 0 || row >= count()) {
        selectionModel()->clearCurrentIndex();
        return;
    }
    setCurrentIndex(m_model->index(row));
}

int PathListView::selectedRow() const
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void PathListView::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    const bool arrow =
        key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_Left || key == Qt::Key_Right;
    if (arrow && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && count() > 0 &&
        !selectionModel()->hasSelection()) {
        const QModelIndex first = m_model->index(0);
        selectionModel()->setCurrentIndex(first, QItemSelectionModel::ClearAndSelect);
        scrollTo(first);
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

QVariant PathListView::itemData(int row, int role) const
{
    return m_model->index(row).data(role);
}

QRect PathListView::rowRect(int row) const
{
    return visualRect(m_model->index(row));
}
