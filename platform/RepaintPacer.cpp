// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "platform/RepaintPacer.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <algorithm>

RepaintPacer::RepaintPacer(int maxPerSecond)
    : m_intervalNs(maxPerSecond > 0 ? 1000000000LL / maxPerSecond : 0)
{
    m_sinceLast.start();
    m_sinceGapStart.start();
}

bool RepaintPacer::due() const
{
    return m_sinceLast.nsecsElapsed() >= m_intervalNs;
}

void RepaintPacer::changed()
{
    if (due())
        flush();
}

void RepaintPacer::flush()
{
    m_longestGapNs = std::max(m_longestGapNs, m_sinceGapStart.nsecsElapsed());
    QCoreApplication::processEvents(m_flags);
    ++m_repaints;
    m_sinceLast.restart();
    m_sinceGapStart.restart();
}
