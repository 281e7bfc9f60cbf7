// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The window while a search runs. The search runs on the window's thread and
// lets the event loop run at every paced repaint and every few milliseconds
// while it waits for a file, so that the window paints and answers the window
// manager and the accessibility bus. The user's input meanwhile waits, held by
// an InputGate and delivered when the search has ended, except:
// - Esc and the stop command (search menu, toolbar) stop the search at once;
// - the close box stops it and closes the window as soon as it has stopped;
// - the menus open, so that the stop command can be chosen (the commands that
//   would start a second search or a modal box over it are disabled);
// - once delivered, nothing held starts a second search, and clicks on the
//   result list are dropped (they would pick rows the user never saw).

#include "mainwindow/MainWindow.h"

#include "platform/InputGate.h"
#include "platform/RepaintPacer.h"
#include "resources/Texts.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QToolBar>
#include <QToolButton>
#include <QWindow>

#include "mainwindow/PathList.h"

namespace {

// A stop sign for the toolbar: a red octagon with a white bar, 16 x 16.
QIcon stopIcon()
{
    QPixmap image(16, 16);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF corners[8] = {{5, 1},   {11, 1}, {15, 5}, {15, 11},
                                {11, 15}, {5, 15}, {1, 11}, {1, 5}};
    p.setPen(QColor(128, 0, 0));
    p.setBrush(QColor(220, 0, 0));
    p.drawPolygon(corners, 8);
    p.fillRect(QRectF(4, 7, 8, 2), Qt::white);
    return QIcon(image);
}

bool isMouseButton(const QEvent *event)
{
    return event->type() == QEvent::MouseButtonPress ||
           event->type() == QEvent::MouseButtonRelease ||
           event->type() == QEvent::MouseButtonDblClick;
}

} // namespace

void MainWindow::createStopCommand()
{
    MENU_STOP = new QAction(texts::menuStopSearch, this);
    MENU_STOP->setObjectName(QStringLiteral("MENU_STOP"));
    MENU_STOP->setEnabled(false);
    connect(MENU_STOP, &QAction::triggered, this, [this] { MENU_STOP_Click(); });
    // At the end of the search menu, after the items that choose how to search.
    MENU_SEARCH_CATEGORY->addAction(MENU_STOP);

    // The toolbar's buttons 8 (a separator) and 9, after the about button.
    Toolbar1->addSeparator()->setData(8);
    Toolbar1->addAction(MENU_STOP);
    MENU_STOP->setIcon(stopIcon());
    MENU_STOP->setToolTip(texts::tipToolbarStop);
    MENU_STOP->setData(9);
    if (auto *button = qobject_cast<QToolButton *>(Toolbar1->widgetForAction(MENU_STOP))) {
        button->setFocusPolicy(Qt::NoFocus);
        button->setFixedSize(23, 22);
    }

    m_gate = std::make_unique<InputGate>([this](QObject *target, QEvent *event) {
        return InputGate::Verdict(searchInputVerdict(target, event));
    });
}

void MainWindow::MENU_STOP_Click()
{
    if (!m_searchRunning)
        return;
    Q_EMIT commandRun(QStringLiteral("MENU_STOP_Click"));
    m_stop.request_stop();
}

qint64 MainWindow::longestUnpaintedMs() const
{
    return m_pacer->longestGapMs();
}

void MainWindow::beginSearchInput()
{
    m_stop = std::stop_source();
    MENU_STOP->setEnabled(true);
    for (QAction *item : {MENU_SEARCH, MENU_FOLDER, MENU_ABOUT})
        item->setEnabled(false);
    m_pacer->setEventFlags(QEventLoop::AllEvents); // the gate holds the input
    m_pacer->resetLongestGap();
    m_gate->close();
}

void MainWindow::endSearchInput()
{
    m_pacer->setEventFlags(QEventLoop::ExcludeUserInputEvents);
    MENU_STOP->setEnabled(false);
    for (QAction *item : {MENU_SEARCH, MENU_FOLDER, MENU_ABOUT})
        item->setEnabled(true);
    if (m_closePending) {
        // Closed during the search: what was typed meanwhile is not wanted.
        m_gate->open([](QObject *, const QEvent *) { return true; });
        return;
    }
    m_replayingInput = true;
    m_gate->open(
        [this](QObject *target, const QEvent *event) { return dropAfterSearch(target, event); });
    m_replayingInput = false;
}

QWidget *MainWindow::inputTarget(QObject *target, const QEvent *event) const
{
    if (auto *widget = qobject_cast<QWidget *>(target))
        return widget;
    auto *window = qobject_cast<QWindow *>(target);
    if (!window)
        return nullptr;
    QWidget *top = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->windowHandle() == window)
            top = w;
    }
    if (!top)
        return nullptr;
    if (isMouseButton(event) || event->type() == QEvent::MouseMove ||
        event->type() == QEvent::Wheel) {
        const QPoint at = static_cast<const QSinglePointEvent *>(event)->position().toPoint();
        QWidget *child = top->childAt(at);
        return child ? child : top;
    }
    if (QWidget *popup = QApplication::activePopupWidget())
        return popup; // keys go to the open menu
    QWidget *focus = QApplication::focusWidget();
    return focus && focus->window() == top ? focus : top;
}

int MainWindow::searchInputVerdict(QObject *target, QEvent *event)
{
    using Verdict = InputGate::Verdict;
    // A box the search shows (nothing found, ...): the window waits behind it.
    if (QApplication::activeModalWidget())
        return int(Verdict::Pass);
    if (event->type() == QEvent::Close) {
        if (target != this && target != windowHandle())
            return int(Verdict::Hold);
        // The close box: stop, and close as soon as the search has stopped.
        m_closePending = true;
        m_stop.request_stop();
        event->ignore(); // not closed yet: the window closes once the search stopped
        return int(Verdict::Take);
    }
    QWidget *widget = inputTarget(target, event);
    if (!widget)
        return int(Verdict::Hold);
    // The menus and the stop button work during a search.
    for (QWidget *w = widget; w; w = w->parentWidget()) {
        if (qobject_cast<QMenu *>(w) || qobject_cast<QMenuBar *>(w))
            return int(Verdict::Pass);
    }
    if (widget == Toolbar1->widgetForAction(MENU_STOP))
        return int(Verdict::Pass);
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
        widget->window() == this) {
        const auto *key = static_cast<const QKeyEvent *>(event);
        if (key->key() == Qt::Key_Escape &&
            (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            if (event->type() == QEvent::KeyPress)
                MENU_STOP_Click();
            return int(Verdict::Take);
        }
    }
    return int(Verdict::Hold);
}

bool MainWindow::dropAfterSearch(QObject *target, const QEvent *event) const
{
    // A click on the result list would pick a row the user did not see when
    // clicking. (Nothing held starts a search: see m_replayingInput.)
    if (!isMouseButton(event))
        return false;
    QWidget *widget = inputTarget(target, event);
    return widget && (widget == List1 || List1->isAncestorOf(widget));
}
