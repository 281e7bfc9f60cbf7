// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "folderpicker/FolderTree.h"

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QStyle>

namespace {
constexpr int PathRole = Qt::UserRole;
}

FolderTree::FolderTree(const VolumeList &volumes, QWidget *parent)
    : QTreeWidget(parent), m_volumes(volumes)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformRowHeights(true);
    setIndentation(12); // in pixels; a deep path still fits the design width
    connect(this, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem *item, int) { openEntryAt(item); });

    // Before anything sets it, the tree shows the process's current folder.
    if (!setPath(QDir::currentPath()))
        setPath(QString(platform::separator));
}

QString FolderTree::entryPath(const QTreeWidgetItem *entry)
{
    return entry ? entry->data(0, PathRole).toString() : QString();
}

QTreeWidgetItem *FolderTree::entry(const QString &fullPath) const
{
    for (QTreeWidgetItemIterator it(const_cast<FolderTree *>(this)); *it; ++it) {
        if (entryPath(*it) == fullPath)
            return *it;
    }
    return nullptr;
}

bool FolderTree::setPath(const QString &text)
{
    const QList<Volume> volumes = m_volumes.volumes();
    QString target;
    for (const Volume &volume : volumes) {
        if (!text.isEmpty() && text == platform::volumeText(volume))
            target = volume.root;
    }
    if (target.isEmpty())
        target = platform::absoluteFolderPath(text);
    if (target.isEmpty())
        return false;
    const int volume = platform::volumeIndexFor(volumes, target);
    if (volume >= 0 && !m_volumes.isReady(volumes[volume].root))
        return false;
    if (!platform::canOpenFolder(target))
        return false;

    const bool changedFolder = target != m_path;
    m_path = target;
    fill();
    if (changedFolder)
        Q_EMIT changed();
    return true;
}

void FolderTree::openEntryAt(QTreeWidgetItem *item)
{
    const QString target = entryPath(item);
    if (target.isEmpty())
        return;
    // A folder removed since the listing was read cannot be opened: stay where
    // we are and show the listing as it is now.
    if (!setPath(target)) {
        QApplication::beep();
        setPath(m_path);
    }
}

// Nothing in this tree folds: no branch arrows or lines.
void FolderTree::drawBranches(QPainter *, const QRect &, const QModelIndex &) const {}

void FolderTree::fill()
{
    clear();
    m_openEntry = nullptr;
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);

    // Ancestors from the root down to the open folder, one level each.
    const QString root(platform::separator);
    QStringList parts = m_path.split(platform::separator, Qt::SkipEmptyParts);
    QTreeWidgetItem *entry = new QTreeWidgetItem(this, QStringList(root));
    entry->setData(0, PathRole, root);
    entry->setIcon(0, openIcon);
    QString sofar;
    for (const QString &part : parts) {
        sofar += platform::separator + part;
        entry = new QTreeWidgetItem(entry, QStringList(part));
        entry->setData(0, PathRole, sofar);
        entry->setIcon(0, openIcon);
    }
    m_openEntry = entry;

    // Sub-folders of the open folder, by name; hidden ones are left out as a
    // file manager does (a path can still open one).
    const QDir dir(m_path);
    const QStringList names =
        dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    QList<QTreeWidgetItem *> children;
    children.reserve(names.size());
    for (const QString &name : names) {
        auto *child = new QTreeWidgetItem(QStringList(name));
        child->setData(0, PathRole, platform::withTrailingSeparator(m_path) + name);
        child->setIcon(0, closedIcon);
        children.append(child);
    }
    m_openEntry->addChildren(children);
    expandAll();
    setCurrentItem(m_openEntry);
    // Show the ancestors above the open folder as far as they fit.
    scrollToTop();
    scrollToItem(m_openEntry, QAbstractItemView::EnsureVisible);
}
