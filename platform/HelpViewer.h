// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The help viewer as a seam. The program's help is a bundle of HTML pages named
// by the application-wide help file name ("tarnview.hlp"); an empty name finds
// no help.

#include <QString>

class QWidget;

class HelpViewer {
public:
    static constexpr int HELP_CONTEXT = 1;
    static constexpr int HELP_QUIT = 2;
    static constexpr int HELP_FINDER = 11;

    virtual ~HelpViewer() = default;
    // command HELP_FINDER opens the contents, HELP_CONTEXT the topic `data`,
    // HELP_QUIT closes the help window this program opened.
    virtual void winHelp(QWidget *owner, const QString &helpFile, int command, int data) = 0;
};
