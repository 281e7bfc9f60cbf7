// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The about box: product, version and edition lines under the program icon, and
// an OK button. Modal, fixed size, centred on the screen; Enter and the close box
// close it, Esc does not. Build a new one for each opening.

#include "infowindows/InfoLines.h"

#include <QDialog>

class QPushButton;

class AboutWindow : public QDialog {
    Q_OBJECT
public:
    explicit AboutWindow(QWidget *parent = nullptr);

    QLabel *Image1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Label6 = nullptr;
    QPushButton *Command1 = nullptr;

    // OK (also Enter): unloads the about box.
    void Command1_Click();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;
};
