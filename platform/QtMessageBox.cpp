// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "platform/QtMessageBox.h"

#include <QMessageBox>
#include <QPushButton>

int QtMessageBox::show(QWidget *parent, const QString &text, const QString &title, int flags)
{
    QMessageBox box(parent);
    box.setWindowTitle(title);
    box.setText(text);

    const int iconBits = flags & 0x70;
    if (iconBits == mb::Critical)
        box.setIcon(QMessageBox::Critical);
    else if (iconBits == mb::Information)
        box.setIcon(QMessageBox::Information);
    else if (iconBits == mb::Exclamation)
        box.setIcon(QMessageBox::Warning);
    else if (iconBits == 32)
        box.setIcon(QMessageBox::Question);

    const int buttonBits = flags & 0x0F;
    if (buttonBits == mb::RetryCancel) {
        QPushButton *retry = box.addButton(QMessageBox::Retry);
        QPushButton *cancel = box.addButton(QMessageBox::Cancel);
        box.setDefaultButton(retry);
        box.setEscapeButton(cancel);
        box.exec();
        return box.clickedButton() == retry ? mb::Retry : mb::Cancel;
    }

    QPushButton *ok = box.addButton(QMessageBox::Ok);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
    return mb::Ok;
}
