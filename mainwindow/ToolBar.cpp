// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// Toolbar1 and its image list ImageList1.

#include "mainwindow/MainWindow.h"

#include "platform/Twips.h"
#include "resources/Artwork.h"
#include "resources/Texts.h"

#include <QAction>
#include <QToolBar>
#include <QToolButton>

void MainWindow::createToolBar()
{
    for (int i = 1; i <= 5; ++i)
        ImageList1.append(artwork::toolbarImage(i));

    Toolbar1 = new QToolBar(m_client);
    Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
    Toolbar1->setMovable(false);
    Toolbar1->setFloatable(false);
    Toolbar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    Toolbar1->setIconSize(QSize(16, 16));
    Toolbar1->setFocusPolicy(Qt::NoFocus);

    struct Button {
        int image; // 0: none
        QString tip;
    };
    // Buttons by index from 1: the placeholder, folder, separator, search,
    // separator, help, about.
    const Button buttons[7] = {{0, {}},
                               {2, texts::tipToolbarFolder},
                               {-1, {}},
                               {3, texts::tipToolbarSearch},
                               {-1, {}},
                               {4, texts::tipToolbarHelp},
                               {5, texts::tipToolbarAbout}};
    const QSize buttonSize(23, 22); // 609 x 582 hundredths of a millimetre
    for (short index = 1; index <= 7; ++index) {
        const Button &b = buttons[index - 1];
        QAction *action = nullptr;
        if (b.image < 0) {
            action = Toolbar1->addSeparator();
        } else if (b.image == 0) {
            // The placeholder: an empty slot, not a button. It shows nothing on
            // hover or press and runs nothing.
            auto *slot = new QWidget(Toolbar1);
            slot->setFixedSize(8, buttonSize.height());
            slot->setFocusPolicy(Qt::NoFocus);
            action = Toolbar1->addWidget(slot);
        } else {
            action = Toolbar1->addAction(b.tip);
            action->setIcon(QIcon(ImageList1.at(b.image - 1)));
            connect(action, &QAction::triggered, this,
                    [this, index] { Toolbar1_ButtonClick(index); });
            if (auto *button = qobject_cast<QToolButton *>(Toolbar1->widgetForAction(action))) {
                button->setFocusPolicy(Qt::NoFocus);
                button->setFixedSize(buttonSize);
            }
        }
        action->setObjectName(QStringLiteral("Toolbar1_Button%1").arg(index));
        action->setData(int(index));
    }
}

void MainWindow::Toolbar1_ButtonClick(short index)
{
    switch (index) {
    case 2:
        MENU_FOLDER_Click();
        break;
    case 4:
        MENU_SEARCH_Click();
        break;
    case 6:
        MENU_CONTENTS_Click();
        break;
    case 7:
        MENU_ABOUT_Click();
        break;
    default:
        break; // the placeholder and the separators
    }
}
