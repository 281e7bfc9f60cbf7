// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Keeps a window alive while a long handler runs on the user-interface thread:
// after each visible change, processes paint and window-system events (never
// user input) at most a given number of times a second, so the window repaints
// and the desktop does not mark it as hung, while input waits for the handler
// to finish.

#include <QElapsedTimer>

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

private:
    QElapsedTimer m_sinceLast;
    qint64 m_intervalNs;
    int m_repaints = 0;
};
