// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// What the last search could not read: the files and folders with why, in a
// window of their own (selectable and copyable), and the folder to search
// when it cannot be opened at all.

#include "mainwindow/MainWindow.h"

#include "platform/MessageBox.h"
#include "resources/Texts.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cerrno>
#include <cstring>

void MainWindow::createUnreadableCommand()
{
    MENU_UNREADABLE = new QAction(texts::menuUnreadable, this);
    MENU_UNREADABLE->setObjectName(QStringLiteral("MENU_UNREADABLE"));
    MENU_UNREADABLE->setEnabled(false);
    connect(MENU_UNREADABLE, &QAction::triggered, this, [this] { MENU_UNREADABLE_Click(); });
    MENU_SEARCH_CATEGORY->addAction(MENU_UNREADABLE); // after the stop command
}

void MainWindow::MENU_UNREADABLE_Click()
{
    Q_EMIT commandRun(QStringLiteral("MENU_UNREADABLE_Click"));
    if (!m_unreadableWindow) {
        auto *window = new QDialog(this);
        window->setObjectName(QStringLiteral("UnreadableFiles"));
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setWindowTitle(texts::unreadableCaption);
        auto *text = new QPlainTextEdit(window);
        text->setObjectName(QStringLiteral("UnreadableFilesText"));
        text->setReadOnly(true); // selectable and copyable
        text->setLineWrapMode(QPlainTextEdit::NoWrap);
        auto *buttons = new QDialogButtonBox(window);
        buttons->addButton(texts::closeButton, QDialogButtonBox::RejectRole);
        connect(buttons, &QDialogButtonBox::rejected, window, &QDialog::close);
        auto *layout = new QVBoxLayout(window);
        layout->addWidget(text);
        layout->addWidget(buttons);
        window->resize(640, 320);
        m_unreadableWindow = window;
    }
    auto *text = m_unreadableWindow->findChild<QPlainTextEdit *>();
    text->setPlainText(m_unreadable.join(u'\n'));
    m_unreadableWindow->show();
    m_unreadableWindow->raise();
}

void MainWindow::showFolderError(int error)
{
    const QString reason =
        error == ENOENT    ? texts::folderMissing
        : error == ENOTDIR ? texts::folderNotAFolder
                           : texts::folderNotListed + QString::fromLocal8Bit(std::strerror(error));
    if (m_services.messageBox)
        m_services.messageBox->show(this, texts::folderCannotBeSearched(path, reason),
                                    texts::productName, mb::Exclamation);
}
