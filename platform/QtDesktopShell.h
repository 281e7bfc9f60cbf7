// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The real desktop: QDesktopServices to open, QDrag to drag.

#include "platform/DesktopShell.h"

class QtDesktopShell : public DesktopShell {
public:
    bool openUrl(const QUrl &url) override;
    void startDrag(QWidget *source, QMimeData *data, Qt::DropActions actions) override;
};
