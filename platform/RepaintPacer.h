// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Keeps a window alive while a long handler runs on the user-interface thread:
// after each visible change, processes paint and window-system events (never
// user input) at most a given number of times a second, so the window repaints
// and the desktop does not mark it as hung, while input waits for the handler
// to finish.

#include <QElapsedTimer>
#include <QEventLoop>

class RepaintPacer {
public:
    explicit RepaintPacer(int maxPerSecond = 60);

    // True when the last repaint is old enough for another.
    bool due() const;
    // Something visible changed; repaints now if due().
    void changed();
    // Repaints now (the last change must show before a modal box or the end).
    void flush();

    int repaints() const { return m_repaints; }
    // The events a repaint processes: by default all but user input. A
    // window that holds input itself (InputGate) lets it through, so that
    // it sees what it must act on at once.
    void setEventFlags(QEventLoop::ProcessEventsFlags flags) { m_flags = flags; }
    // The longest time between two repaints since the last reset, in ms; the
    // first counted from the reset (a search's start), not from the repaint
    // before it.
    qint64 longestGapMs() const { return m_longestGapNs / 1000000; }
    void resetLongestGap()
    {
        m_longestGapNs = 0;
        m_sinceGapStart.restart();
    }

private:
    QElapsedTimer m_sinceLast;
    QElapsedTimer m_sinceGapStart; // the last repaint or reset
    qint64 m_intervalNs;
    int m_repaints = 0;
    QEventLoop::ProcessEventsFlags m_flags = QEventLoop::ExcludeUserInputEvents;
    qint64 m_longestGapNs = 0;
};
