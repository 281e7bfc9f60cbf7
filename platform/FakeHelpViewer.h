// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// A help viewer for tests: records every call and opens nothing.

#include "platform/HelpViewer.h"

#include <QList>
#include <QString>

class FakeHelpViewer : public HelpViewer {
public:
    struct Call {
        QString helpFile;
        int command = 0;
        int data = 0;
    };

    void winHelp(QWidget *, const QString &helpFile, int command, int data) override
    {
        m_calls.append(Call{helpFile, command, data});
    }

    const QList<Call> &calls() const { return m_calls; }
    void clear() { m_calls.clear(); }

private:
    QList<Call> m_calls;
};
