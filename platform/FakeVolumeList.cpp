// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "platform/FakeVolumeList.h"

void FakeVolumeList::add(const QString &root, const QString &label, bool ready)
{
    m_volumes.append({root, label});
    setReady(root, ready);
}

void FakeVolumeList::setReady(const QString &root, bool ready)
{
    if (ready)
        m_notReady.remove(root);
    else
        m_notReady.insert(root);
}

bool FakeVolumeList::isReady(const QString &root) const
{
    return !m_notReady.contains(root) && platform::canOpenFolder(root);
}
