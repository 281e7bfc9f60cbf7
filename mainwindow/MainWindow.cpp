// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "mainwindow/MainWindow.h"

#include "folderpicker/SelectFolder.h"
#include "infowindows/AboutWindow.h"
#include "mainwindow/FolderDrop.h"
#include "mainwindow/ResultActions.h"
#include "platform/HelpFile.h"
#include "platform/HelpViewer.h"
#include "platform/InputGate.h"
#include "platform/QtDesktopShell.h"
#include "platform/RepaintPacer.h"
#include "platform/Twips.h"
#include "resources/Artwork.h"
#include "resources/Texts.h"
#include "viewer/DocumentFile.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>

MainWindow::MainWindow(const PlatformServices &services, QWidget *parent)
    : QMainWindow(parent), m_services(services), m_pacer(std::make_unique<RepaintPacer>()),
      m_documentReads(std::make_unique<BackgroundDocumentReads>())
{
    setWindowTitle(texts::productName);
    helpfile::setName(texts::helpFileName);

    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    setCentralWidget(m_client);
    m_client->installEventFilter(this);

    createMenus();
    createControls();
    createStopCommand();
    createUnreadableCommand();
    // The result list's menu, copy and drag, and folders dropped on the window.
    if (!m_services.desktop) {
        m_ownDesktop = std::make_unique<QtDesktopShell>();
        m_services.desktop = m_ownDesktop.get();
    }
    new ResultActions(List1, *m_services.desktop, m_services.messageBox, this);
    new FolderDrop(this, Combo1, [this] { return m_searchRunning; });
    setWindowIcon(artwork::programIcon());

    // The designed client area, 8190 x 4245 twips, below the menu bar.
    const QSize client = twips::toPixels(8190, 4245);
    resize(client.width(), client.height() + menuBar()->sizeHint().height());
    dockBars();

    // Keys that must reach the window before any control: Ctrl+X/F/S, Alt+S,
    // Enter for the default button and F1 for context help.
    qApp->installEventFilter(this);
    Combo1->setFocus();

    wireSplitter();
    Form_Load();
}

MainWindow::~MainWindow()
{
    qApp->removeEventFilter(this);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Closed during a search: the search stops, and the window closes as
    // soon as it has.
    if (m_searchRunning) {
        m_closePending = true;
        m_stop.request_stop();
        event->ignore();
        return;
    }
    short cancel = 0;
    Form_Unload(cancel);
    QMainWindow::closeEvent(event);
}

void MainWindow::keyPressEvent(QKeyEvent *event)
{
    // Command2 is the default button: Enter that no control used runs it.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        Command2->click();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void MainWindow::dockBars()
{
    // Toolbar1 and StatusBar1 are docked to the top and bottom edges.
    const int width = m_client->width();
    Toolbar1->setGeometry(0, 0, width, twips::toPixelsY(420));
    const int barHeight = twips::toPixelsY(255);
    StatusBar1->setGeometry(0, m_client->height() - barHeight, width, barHeight);
}
