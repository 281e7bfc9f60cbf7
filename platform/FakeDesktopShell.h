// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// A desktop for tests: records every URL it is asked to open and every drag,
// without starting anything.

#include "platform/DesktopShell.h"

#include <QList>
#include <QMimeData>
#include <QUrl>

#include <memory>

class FakeDesktopShell : public DesktopShell {
public:
    struct Drag {
        QWidget *source = nullptr;
        std::shared_ptr<QMimeData> data;
        Qt::DropActions actions;
    };

    // The answer openUrl() gives (true: the desktop started something).
    void setOpenSucceeds(bool succeeds) { m_openSucceeds = succeeds; }

    const QList<QUrl> &opened() const { return m_opened; }
    const QList<Drag> &drags() const { return m_drags; }
    void clear()
    {
        m_opened.clear();
        m_drags.clear();
        m_openSucceeds = true;
    }

    bool openUrl(const QUrl &url) override
    {
        m_opened.append(url);
        return m_openSucceeds;
    }
    void startDrag(QWidget *source, QMimeData *data, Qt::DropActions actions) override
    {
        m_drags.append({source, std::shared_ptr<QMimeData>(data), actions});
    }

private:
    QList<QUrl> m_opened;
    QList<Drag> m_drags;
    bool m_openSucceeds = true;
};
