// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "mainwindow/WindowGeometry.h"

#include "platform/Twips.h"
#include "platform/WindowPosition.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QVariant>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace wingeom {
namespace {
// X11 and most window systems keep window coordinates in 16 bits.
constexpr int kMaxPixels = 32767;

bool fits(double pixels, double min)
{
    return std::isfinite(pixels) && pixels >= min && pixels <= kMaxPixels;
}

// The frame around a window's inside, as the window system last reported it. A
// window manager may briefly report margins below 0 while it takes the window;
// a frame never makes a window smaller than its inside, so those count as 0.
QMargins frameOf(const QWidget *window)
{
    const QWindow *handle = window->windowHandle();
    if (!handle)
        return {};
    const QMargins m = handle->frameMargins();
    return QMargins(std::max(0, m.left()), std::max(0, m.top()), std::max(0, m.right()),
                    std::max(0, m.bottom()));
}

// Where the window system placed a window's frame, when it has not told Qt
// (see OuterSizeKeeper).
constexpr char kPlacedFrame[] = "wingeomPlacedFrame";

QPoint framePos(const QWidget *window)
{
    // Where the window system can say where the inside is, that and the
    // frame's margins give the frame's corner, whatever Qt was told of moves.
    if (const std::optional<QPoint> inside = platform::insidePosition(window)) {
        const QMargins m = frameOf(window);
        return *inside - QPoint(m.left(), m.top());
    }
    const QVariant placed = window->property(kPlacedFrame);
    if (placed.isValid())
        return placed.toPoint();
    const QMargins m = frameOf(window);
    return window->geometry().topLeft() - QPoint(m.left(), m.top());
}

// Watches a window until its frame becomes known, then corrects its size once;
// where Qt was not told the position that gave the inside, it keeps the placed
// frame's corner until a move reports one.
class OuterSizeKeeper : public QObject {
public:
    OuterSizeKeeper(QWidget *window, QSize outer)
        : QObject(window), m_window(window), m_outer(outer), m_inner(window->size()),
          m_pos(window->pos())
    {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::Move:
            if (m_placing)
                break; // placeFrame looks again by itself
            if (m_sized) {
                // The window system now reports a position of its own.
                if (m_window->geometry().topLeft() != m_staleInside) {
                    m_window->setProperty(kPlacedFrame, QVariant());
                    finish();
                }
                break;
            }
            check();
            break;
        case QEvent::Show:
        case QEvent::Resize:
        case QEvent::WindowStateChange:
        case QEvent::Paint:
            check();
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

    void check()
    {
        if (m_sized || !m_window->isVisible() || state(m_window) != StateNormal)
            return;
        if (m_window->size() != m_inner) {
            finish(); // resized by the user or the layout: theirs to keep
            return;
        }
        const QWindow *handle = m_window->windowHandle();
        if (!handle)
            return;
        const QMargins margins = handle->frameMargins();
        if (margins.isNull() || margins.left() < 0 || margins.right() < 0 || margins.top() < 0 ||
            margins.bottom() < 0)
            return; // not known yet, no frame, or not settled
        // Without a window manager's frame, Qt takes the margins for the
        // difference between the size the server has and the size it last
        // heard of: a resize from outside that has not reached the window yet
        // (say, a user's first drag on a busy machine) is no frame.
        if (margins.left() == 0 && margins.top() == 0)
            return;
        const QSize inner(std::max(0, m_outer.width() - margins.left() - margins.right()),
                          std::max(0, m_outer.height() - margins.top() - margins.bottom()));
        m_sized = true;
        if (inner != m_window->size())
            m_window->resize(inner);
        // The frame's corner belongs where it was asked to be. A window
        // manager that added the frame only now may have put the inside
        // there instead; where the window system can say where the window
        // is, correct that once.
        if (platform::insidePosition(m_window)) {
            placeFrame();
            return;
        }
        // Elsewhere the frame went where it was asked to be, but a window
        // manager that added it need not tell Qt where that put the inside,
        // and Qt keeps the inside at the frame's corner. Until a move reports
        // a position, the frame is where it was placed.
        const QPoint inside = m_window->geometry().topLeft();
        if (inside - QPoint(margins.left(), margins.top()) == m_pos) {
            finish();
            return;
        }
        m_staleInside = inside;
        m_window->setProperty(kPlacedFrame, m_pos);
    }

private:
    // Moves the frame's corner to where it was asked to be, and looks again a
    // little later: a manager still taking the window may pass over the
    // first request. A few tries, then the window is left where it is.
    void placeFrame()
    {
        if (framePos(m_window) == m_pos || m_tries >= kTries) {
            finish();
            return;
        }
        ++m_tries;
        m_placing = true;
        m_window->move(m_pos);
        QTimer::singleShot(kTryInterval, this, [this] { placeFrame(); });
    }
    static constexpr int kTries = 5;
    static constexpr int kTryInterval = 200; // milliseconds
    int m_tries = 0;
    bool m_placing = false;

    void finish()
    {
        m_sized = true;
        m_window->removeEventFilter(this);
        deleteLater();
    }

    QWidget *m_window;
    QSize m_outer;
    QSize m_inner;
    QPoint m_pos;
    QPoint m_staleInside;
    bool m_sized = false;
};
} // namespace

double left(const QWidget *window)
{
    return twips::fromPixelsX(framePos(window).x());
}
double top(const QWidget *window)
{
    return twips::fromPixelsY(framePos(window).y());
}

double width(const QWidget *window)
{
    const QMargins m = frameOf(window);
    return twips::fromPixelsX(window->width() + m.left() + m.right());
}
double height(const QWidget *window)
{
    const QMargins m = frameOf(window);
    return twips::fromPixelsY(window->height() + m.top() + m.bottom());
}

int state(const QWidget *window)
{
    const Qt::WindowStates s = window->windowState();
    if (s & Qt::WindowMinimized)
        return StateMinimized;
    if (s & (Qt::WindowMaximized | Qt::WindowFullScreen))
        return StateMaximized;
    return StateNormal;
}

bool acceptsPosition(double t)
{
    return std::isfinite(t) && fits(std::fabs(t) * twips::pixelsPerInchX() / 1440.0, 0);
}

bool acceptsSize(double t)
{
    return std::isfinite(t) && fits(t * twips::pixelsPerInchX() / 1440.0, 0);
}

void setLeft(QWidget *window, double t)
{
    // A window's pos() is its frame's top-left corner.
    window->move(twips::toPixelsX(t), window->pos().y());
}

void setTop(QWidget *window, double t)
{
    window->move(window->pos().x(), twips::toPixelsY(t));
}

void setWidth(QWidget *window, double t)
{
    const QMargins m = frameOf(window);
    window->resize(std::max(0, twips::toPixelsX(t) - m.left() - m.right()), window->height());
}

void setHeight(QWidget *window, double t)
{
    const QMargins m = frameOf(window);
    window->resize(window->width(), std::max(0, twips::toPixelsY(t) - m.top() - m.bottom()));
}

void setState(QWidget *window, int s)
{
    Qt::WindowStates states =
        window->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen);
    if (s == StateMinimized)
        states |= Qt::WindowMinimized;
    else if (s == StateMaximized)
        states |= Qt::WindowMaximized;
    window->setWindowState(states);
}

void keepOuterSize(QWidget *window)
{
    if (!frameOf(window).isNull())
        return; // the frame is known already and was allowed for
    const QSize outer = window->size();
    auto *keeper = new OuterSizeKeeper(window, outer);
    window->installEventFilter(keeper);
    keeper->check();
}

void moveOntoScreen(QWidget *window)
{
    const QRect frame = window->frameGeometry();
    const auto screens = QGuiApplication::screens();
    for (const QScreen *screen : screens)
        if (screen->geometry().intersects(frame))
            return;
    const QScreen *primary = QGuiApplication::primaryScreen();
    if (!primary)
        return;
    window->move(primary->availableGeometry().topLeft());
}

namespace control {
double left(const QWidget *c)
{
    return twips::fromPixelsX(c->x());
}
double top(const QWidget *c)
{
    return twips::fromPixelsY(c->y());
}
double width(const QWidget *c)
{
    return twips::fromPixelsX(c->width());
}
double height(const QWidget *c)
{
    return twips::fromPixelsY(c->height());
}

void setLeft(QWidget *c, double t)
{
    c->move(twips::toPixelsX(t), c->y());
}

void setWidth(QWidget *c, double t)
{
    if (t >= 0)
        c->resize(twips::toPixelsX(t), c->height());
}

void setHeight(QWidget *c, double t)
{
    if (t >= 0)
        c->resize(c->width(), twips::toPixelsY(t));
}

void setGeometry(QWidget *c, double l, double t, double w, double h)
{
    if (w < 0 || h < 0)
        return;
    c->setGeometry(twips::toPixels(l, t, w, h));
}
} // namespace control

} // namespace wingeom
