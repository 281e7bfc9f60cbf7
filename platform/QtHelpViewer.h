// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The help viewer: a window of its own showing the program's HTML help pages.
// The pages form one bundle, named like a help file; a file name other than the
// bundle's finds no help and nothing opens.

#include "platform/HelpViewer.h"

#include <QPointer>
#include <QTextBrowser>
#include <QUrl>

class QtHelpViewer : public HelpViewer {
public:
    // bundleName: the help file name that means these pages ("tarnview.hlp").
    // root: the folder of the pages, holding contents.html and topic<n>.html.
    QtHelpViewer(QString bundleName, QUrl root);
    ~QtHelpViewer() override;

    void winHelp(QWidget *owner, const QString &helpFile, int command, int data) override;

    // The open help window, or null.
    QTextBrowser *window() const { return m_window; }

    // The page for a command and its data, or an empty URL for no help.
    QUrl pageFor(const QString &helpFile, int command, int data) const;

private:
    QString m_bundleName;
    QUrl m_root;
    QPointer<QTextBrowser> m_window;
};
