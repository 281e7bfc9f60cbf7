// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "platform/QtHelpViewer.h"

#include <QFile>
#include <QTextBrowser>
#include <QWidget>

QtHelpViewer::QtHelpViewer(QString bundleName, QUrl root)
    : m_bundleName(std::move(bundleName)), m_root(std::move(root))
{
    if (!m_root.path().endsWith(QLatin1Char('/')))
        m_root.setPath(m_root.path() + QLatin1Char('/'));
}

QtHelpViewer::~QtHelpViewer()
{
    delete m_window.data();
}

QUrl QtHelpViewer::pageFor(const QString &helpFile, int command, int data) const
{
    if (helpFile.isEmpty() || helpFile.compare(m_bundleName, Qt::CaseInsensitive) != 0)
        return {};
    const QUrl contents = m_root.resolved(QUrl(QStringLiteral("contents.html")));
    if (command == HELP_FINDER)
        return contents;
    if (command == HELP_CONTEXT) {
        const QUrl topic = m_root.resolved(QUrl(QStringLiteral("topic%1.html").arg(data)));
        const QString local = topic.scheme() == QLatin1String("qrc")
                                  ? QLatin1Char(':') + topic.path()
                                  : topic.toLocalFile();
        // A topic the bundle does not hold opens the contents.
        return QFile::exists(local) ? topic : contents;
    }
    return {};
}

void QtHelpViewer::winHelp(QWidget *owner, const QString &helpFile, int command, int data)
{
    if (command == HELP_QUIT) {
        if (m_window)
            m_window->close();
        return;
    }
    const QUrl page = pageFor(helpFile, command, data);
    if (page.isEmpty())
        return;
    if (!m_window) {
        // A window of its own (not owned by the caller), so it stays open
        // beside the program like a help viewer does.
        auto *browser = new QTextBrowser;
        browser->setAttribute(Qt::WA_DeleteOnClose);
        browser->setOpenLinks(true);
        browser->setSearchPaths({m_root.scheme() == QLatin1String("qrc")
                                     ? QLatin1Char(':') + m_root.path()
                                     : m_root.toLocalFile()});
        browser->resize(520, 420);
        if (owner)
            browser->setWindowIcon(owner->window()->windowIcon());
        m_window = browser;
    }
    m_window->setSource(page);
    m_window->setWindowTitle(m_window->documentTitle());
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}
