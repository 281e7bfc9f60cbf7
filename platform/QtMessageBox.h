// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The real message box: a QMessageBox, modal, with the icon and buttons the
// flags ask for.

#include "platform/MessageBox.h"

class QtMessageBox : public MessageBoxService {
public:
    // mb::Information -> information icon and OK; mb::Critical | mb::RetryCancel
    // -> critical icon, Retry (the default) and Cancel. Returns mb::Ok,
    // mb::Retry or mb::Cancel.
    int show(QWidget *parent, const QString &text, const QString &title, int flags) override;
};
