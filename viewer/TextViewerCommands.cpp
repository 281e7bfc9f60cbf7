// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The viewer's commands: going through the lines that hold the keyword (F3,
// Shift+F3), selecting all, copying, and the context menu that offers them.

#include "viewer/TextViewer.h"

#include "platform/Beeper.h"
#include "resources/Texts.h"
#include "viewer/MatchLines.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>

// --- going through the matching lines ------------------------------------------

void TextViewer::setKeywordSource(std::function<QStringList()> words)
{
    m_keywordWords = std::move(words);
}

void TextViewer::setBeeper(Beeper *beeper)
{
    m_beeper = beeper;
}

QStringList TextViewer::keywordWords() const
{
    return m_keywordWords ? m_keywordWords() : QStringList();
}

bool TextViewer::findNextMatchLine()
{
    return findMatchLine(true);
}

bool TextViewer::findPreviousMatchLine()
{
    return findMatchLine(false);
}

qsizetype TextViewer::findUnderFolds(const QString &word)
{
    const MatchLineHit hit = findFirstUnderFolds(m_index, word, m_matchFolds);
    if (hit.offset >= 0)
        select(hit.offset, hit.length);
    return hit.offset;
}

bool TextViewer::findMatchLine(bool next)
{
    const QStringList words = keywordWords();
    if (words.isEmpty())
        return false;
    // Next: after the line holding the selection's last character; previous:
    // before the line holding its first.
    const qsizetype from = next && m_selLength > 0 ? m_selStart + m_selLength - 1 : m_selStart;
    const MatchLineHit hit = ::findMatchLine(
        m_index, words, from, next ? MatchDirection::Next : MatchDirection::Previous, m_matchFolds);
    if (hit.offset < 0) {
        (m_beeper ? *m_beeper : Beeper::system()).beep();
        return false;
    }
    select(hit.offset, hit.length);
    return true;
}

void TextViewer::selectAll()
{
    setSelectionInternal(0, m_index.length());
}

void TextViewer::copySelection() const
{
    if (m_selLength > 0)
        QGuiApplication::clipboard()->setText(selectedText());
}

// --- context menu ----------------------------------------------------------------

void TextViewer::showMenu(QPoint viewportPos)
{
    if (m_menu)
        m_menu->close();
    // A child of the viewer, so F1 in the menu finds the viewer's help topic.
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("viewerMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction *copy = menu->addAction(texts::viewerCopy);
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(m_selLength > 0);
    connect(copy, &QAction::triggered, this, [this] { copySelection(); });
    QAction *all = menu->addAction(texts::viewerSelectAll);
    all->setShortcut(QKeySequence::SelectAll);
    connect(all, &QAction::triggered, this, [this] { selectAll(); });
    menu->addSeparator();
    const bool haveWords = !keywordWords().isEmpty();
    QAction *nextLine = menu->addAction(texts::viewerNextMatch);
    nextLine->setShortcut(QKeySequence(Qt::Key_F3));
    nextLine->setEnabled(haveWords);
    connect(nextLine, &QAction::triggered, this, [this] { findNextMatchLine(); });
    QAction *previousLine = menu->addAction(texts::viewerPreviousMatch);
    previousLine->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3));
    previousLine->setEnabled(haveWords);
    connect(previousLine, &QAction::triggered, this, [this] { findPreviousMatchLine(); });
    if (!m_readAs.isEmpty()) {
        // How the shown file was read: information, not a command.
        menu->addSeparator();
        menu->addAction(texts::viewerReadAs + m_readAs)->setEnabled(false);
    }
    m_menu = menu;
    connect(menu, &QObject::destroyed, this, [this, menu] {
        if (m_menu == menu)
            m_menu = nullptr;
    });
    menu->popup(viewport()->mapToGlobal(viewportPos));
}

// Below the selection's start when it is on screen, else the viewport's corner.
QPoint TextViewer::keyboardMenuPos() const
{
    const QRect r = characterRect(m_selStart);
    if (viewport()->rect().contains(r.bottomLeft()))
        return r.bottomLeft();
    return QPoint(0, 0);
}

void TextViewer::contextMenuEvent(QContextMenuEvent *event)
{
    const QPoint at = event->reason() == QContextMenuEvent::Mouse
                          ? viewport()->mapFromGlobal(event->globalPos())
                          : keyboardMenuPos();
    showMenu(at);
    event->accept();
}
