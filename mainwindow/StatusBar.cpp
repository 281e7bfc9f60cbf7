// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// StatusBar1 with its one panel.

#include "mainwindow/MainWindow.h"

#include "platform/Twips.h"
#include "resources/Texts.h"

#include <QLabel>
#include <QStatusBar>

void MainWindow::createStatusBar()
{
    StatusBar1 = new QStatusBar(m_client);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);

    // Panel 1 follows the window's width, no narrower than 1440 twips.
    m_panelText = texts::productName;
    m_panel1 = new QLabel(m_panelText, StatusBar1);
    m_panel1->setObjectName(QStringLiteral("StatusBar1_Panel1"));
    m_panel1->setTextFormat(Qt::PlainText);
    m_panel1->setToolTip(texts::tipStatusPanel);
    m_panel1->setMinimumWidth(twips::toPixelsX(1440));
    m_panel1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_panel1->installEventFilter(this);
    StatusBar1->addPermanentWidget(m_panel1, 1);
    StatusBar1->setGeometry(twips::toPixels(0, 3990, 8190, 255));
}

QString MainWindow::panelText() const
{
    return m_panelText;
}

void MainWindow::setPanelText(const QString &text)
{
    m_panelText = text;
    if (!m_searchRunning)
        showPanelText();
    Q_EMIT panelTextChanged(text);
}

void MainWindow::showPanelText()
{
    if (m_panel1->text() != m_panelText)
        m_panel1->setText(m_panelText);
}

void MainWindow::StatusBar1_PanelDblClick(short index)
{
    // Only a second panel would run the folder command; the bar has one.
    if (index == 2)
        MENU_FOLDER_Click();
}
