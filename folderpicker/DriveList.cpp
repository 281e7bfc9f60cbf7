// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "folderpicker/DriveList.h"

#include <QDir>

DriveList::DriveList(const VolumeList &volumes, QWidget *parent)
    : QComboBox(parent), m_volumes(volumes.volumes())
{
    setEditable(false);
    for (const Volume &volume : m_volumes)
        addItem(platform::volumeText(volume));
    // Before anything sets it, the list shows the volume of the process's
    // current folder, like the current drive.
    const int index = platform::volumeIndexFor(m_volumes, QDir::cleanPath(QDir::currentPath()));
    if (index >= 0)
        setCurrentIndex(index);
    connect(this, &QComboBox::currentIndexChanged, this, &DriveList::changed);
}

bool DriveList::setValue(const QString &text)
{
    int index = findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0)
        index = platform::volumeIndexFor(m_volumes, platform::absoluteFolderPath(text));
    if (index < 0)
        return false;
    setCurrentIndex(index); // raises changed() only when the volume changes
    return true;
}

QString DriveList::currentRoot() const
{
    const int index = currentIndex();
    return index >= 0 && index < m_volumes.size() ? m_volumes[index].root : QString();
}
