#include "WindowGeometry.h"

#include "Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace wingeom {
namespace {
// X11 and most window systems keep window coordinates in 16 bits.
constexpr int kMaxPixels = 32767;

bool fits(double pixels, double min)
{
    return std::isfinite(pixels) && pixels >= min && pixels <= kMaxPixels;
}
} // namespace

double left(const QWidget *window)
{
    return twips::fromPixelsX(window->frameGeometry().x());
}
double top(const QWidget *window)
{
    return twips::fromPixelsY(window->frameGeometry().y());
}
double width(const QWidget *window)
{
    return twips::fromPixelsX(window->frameGeometry().width());
}
double height(const QWidget *window)
{
    return twips::fromPixelsY(window->frameGeometry().height());
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
    const int frame = window->frameGeometry().width() - window->width();
    window->resize(std::max(0, twips::toPixelsX(t) - frame), window->height());
}

void setHeight(QWidget *window, double t)
{
    const int frame = window->frameGeometry().height() - window->height();
    window->resize(window->width(), std::max(0, twips::toPixelsY(t) - frame));
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
