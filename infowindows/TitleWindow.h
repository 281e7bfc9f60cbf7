// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The title window shown while the main window starts: the program's lines in one
// frame, no title bar, centred, not modal. A key press or a click on the frame's
// own area closes it early; unload() closes it, and does nothing the second time.

#include "infowindows/InfoLines.h"

#include <QFrame>

class QGroupBox;

class TitleWindow : public QFrame {
    Q_OBJECT
public:
    explicit TitleWindow(QWidget *parent = nullptr);

    QGroupBox *Frame1 = nullptr;
    QLabel *Image1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Label6 = nullptr;

    // Hides the window; safe to call any number of times.
    void unload();
    bool isUnloaded() const { return m_unloaded; }

    // Any key that reaches the window unloads it; KeyAscii is not used.
    void Form_KeyPress(int KeyAscii);
    // A click on the frame's own area (not a label or the icon) unloads it.
    void Frame1_Click();

Q_SIGNALS:
    void unloaded();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool m_unloaded = false;
    bool m_pressOnFrame = false;
};
