// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The layout pass (Form_Resize) and the splitter between the result list and
// the viewer (Image1 with the drag bar Picture1). Positions are in twips.

#include "mainwindow/MainWindow.h"

#include "mainwindow/WindowGeometry.h"
#include "platform/HelpFile.h"
#include "platform/Twips.h"
#include "resources/Texts.h"
#include "viewer/TextViewer.h"

#include <QEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QStatusBar>

#include <cmath>

namespace wg = wingeom;

namespace {

constexpr double kMinHeight = 2500;
constexpr double kMinWidth = 6255;
constexpr double kPaneAllowance = 720; // besides the list's top and the status bar
constexpr double kSplitterWidth = 50;  // also the gap from splitx to the viewer
constexpr double kViewerRightGap = 120;
constexpr double kSplitterBelowViewer = 30;
constexpr double kMinDragSplit = 200;
constexpr double kSplitFromRight = 400;

// Nested passes that a minimum-size snap may start before giving up, so that a
// window that refuses the minimum cannot recurse without end.
constexpr int kMaxLayoutDepth = 3;

int nearest(double value)
{
    return int(std::nearbyint(value));
}

short buttonCode(Qt::MouseButtons buttons)
{
    return short(((buttons & Qt::LeftButton) ? 1 : 0) | ((buttons & Qt::RightButton) ? 2 : 0) |
                 ((buttons & Qt::MiddleButton) ? 4 : 0));
}

short shiftCode(Qt::KeyboardModifiers modifiers)
{
    return short(((modifiers & Qt::ShiftModifier) ? 1 : 0) |
                 ((modifiers & Qt::ControlModifier) ? 2 : 0) |
                 ((modifiers & Qt::AltModifier) ? 4 : 0));
}

// Passes Image1's mouse events to the window's handlers, with X and Y in twips
// from the splitter's top-left corner. While a button pressed on the splitter
// is held, Qt's implicit grab keeps the moves and the release coming here even
// when the pointer has left the strip.
class SplitterMouse : public QObject {
public:
    explicit SplitterMouse(MainWindow *window) : QObject(window), m_window(window) {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::MouseButtonRelease:
            break;
        default:
            return QObject::eventFilter(watched, event);
        }
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const float x = float(mouse->position().x() * 1440.0 / twips::pixelsPerInchX());
        const float y = float(mouse->position().y() * 1440.0 / twips::pixelsPerInchY());
        const short shift = shiftCode(mouse->modifiers());
        if (event->type() == QEvent::MouseMove) {
            m_window->Image1_MouseMove(buttonCode(mouse->buttons()), shift, x, y);
        } else if (event->type() == QEvent::MouseButtonRelease) {
            m_window->Image1_MouseUp(buttonCode(mouse->button()), shift, x, y);
        } else {
            // A double-click's second press starts a drag like any press.
            m_window->Image1_MouseDown(buttonCode(mouse->button()), shift, x, y);
        }
        return true;
    }

private:
    MainWindow *m_window;
};

} // namespace

void MainWindow::wireSplitter()
{
    Image1->installEventFilter(new SplitterMouse(this));
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        Form_Resize();
    } else if (event->type() == QEvent::ActivationChange && dragging && !isActiveWindow()) {
        // The release went to another window: end the drag where the bar is,
        // so the bar is not left standing and help finds its file again.
        Image1_MouseUp(0, 0, 0, 0);
    }
}

void MainWindow::Form_Resize()
{
    if (wg::state(this) == wg::StateMinimized)
        return;
    ++m_layoutDepth;

    // Every step below is skipped when its value cannot be applied.
    if (wg::height(this) < kMinHeight && m_layoutDepth < kMaxLayoutDepth)
        wg::setHeight(this, kMinHeight); // runs a nested pass at once
    const double listTop = wg::control::top(List1);
    const double statusHeight = wg::control::height(StatusBar1);
    wg::control::setHeight(List1, wg::height(this) - listTop - statusHeight - kPaneAllowance);
    wg::control::setHeight(RichTextBox1,
                           wg::height(this) - listTop - statusHeight - kPaneAllowance);

    if (wg::width(this) < kMinWidth && m_layoutDepth < kMaxLayoutDepth)
        wg::setWidth(this, kMinWidth);
    const double w = wg::width(this);
    if (splitx >= w - kSplitFromRight)
        splitx = nearest(w - kSplitFromRight);
    wg::control::setWidth(List1, splitx);
    wg::control::setLeft(RichTextBox1, double(splitx) + kSplitterWidth);
    const double viewerWidth = w - (double(splitx) + kSplitterWidth) - kViewerRightGap;
    if (viewerWidth >= 0)
        wg::control::setWidth(RichTextBox1, viewerWidth);
    wg::control::setGeometry(Image1, splitx, wg::control::top(List1), kSplitterWidth,
                             wg::control::height(RichTextBox1) + kSplitterBelowViewer);

    lastleft = nearest(wg::left(this));
    lasttop = nearest(wg::top(this));
    lastwidth = nearest(wg::width(this));
    lastheight = nearest(wg::height(this));
    --m_layoutDepth;
}

void MainWindow::Image1_MouseDown(short Button, short Shift, float X, float Y)
{
    Q_UNUSED(Button);
    Q_UNUSED(Shift);
    Q_UNUSED(X);
    Q_UNUSED(Y);
    wg::control::setGeometry(Picture1, wg::control::left(Image1), wg::control::top(List1),
                             wg::control::width(Image1),
                             wg::control::height(RichTextBox1) + kSplitterBelowViewer);
    Picture1->raise();
    Picture1->setVisible(true);
    dragging = true;
}

void MainWindow::Image1_MouseMove(short Button, short Shift, float X, float Y)
{
    Q_UNUSED(Button);
    Q_UNUSED(Shift);
    Q_UNUSED(Y);
    if (!dragging)
        return;
    helpfile::setName(QString());
    const double w = wg::width(this);
    const double p = wg::control::left(Image1) + double(X);
    if (p < kMinDragSplit)
        wg::control::setLeft(Picture1, kMinDragSplit);
    else if (p > w - kSplitFromRight)
        wg::control::setLeft(Picture1, w - kSplitFromRight);
    else
        wg::control::setLeft(Picture1, p);
    applySplitFromBar();
}

void MainWindow::Image1_MouseUp(short Button, short Shift, float X, float Y)
{
    Q_UNUSED(Button);
    Q_UNUSED(Shift);
    Q_UNUSED(X);
    Q_UNUSED(Y);
    applySplitFromBar();
    Picture1->setVisible(false);
    dragging = false;
    helpfile::setName(texts::helpFileName);
}

// Takes the split from the drag bar's left edge, held between 200 and the
// window width less 400, and lays the panes and the splitter by it.
void MainWindow::applySplitFromBar()
{
    const double w = wg::width(this);
    const double b = wg::control::left(Picture1);
    if (b < kMinDragSplit)
        splitx = int(kMinDragSplit);
    else if (b > w - kSplitFromRight)
        splitx = nearest(w - kSplitFromRight);
    else
        splitx = nearest(b);
    wg::control::setWidth(List1, splitx);
    wg::control::setLeft(RichTextBox1, double(splitx) + kSplitterWidth);
    wg::control::setWidth(RichTextBox1, w - (double(splitx) + kSplitterWidth) - kViewerRightGap);
    wg::control::setLeft(Image1, splitx);
}
