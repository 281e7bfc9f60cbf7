// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "platform/WindowPosition.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

#include <cmath>
#include <cstdlib>

#if defined(TARNWELL_HAVE_XCB) && QT_CONFIG(xcb)
#include <xcb/xcb.h>
#endif

namespace platform {

std::optional<QPoint> insidePosition(const QWidget *window)
{
#if defined(TARNWELL_HAVE_XCB) && QT_CONFIG(xcb)
    const auto *x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !window || !window->windowHandle() || !window->internalWinId())
        return std::nullopt;
    xcb_connection_t *connection = x11->connection();
    if (!connection)
        return std::nullopt;
    const auto id = xcb_window_t(window->internalWinId());
    xcb_get_geometry_reply_t *geometry =
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, id), nullptr);
    if (!geometry)
        return std::nullopt;
    const xcb_window_t root = geometry->root;
    std::free(geometry);
    xcb_translate_coordinates_reply_t *at = xcb_translate_coordinates_reply(
        connection, xcb_translate_coordinates(connection, id, root, 0, 0), nullptr);
    if (!at)
        return std::nullopt;
    const QPoint device(at->dst_x, at->dst_y);
    std::free(at);
    const qreal ratio = window->windowHandle()->devicePixelRatio();
    if (ratio <= 0 || ratio == 1.0)
        return device;
    return QPoint(int(std::lround(device.x() / ratio)), int(std::lround(device.y() / ratio)));
#else
    Q_UNUSED(window);
    return std::nullopt;
#endif
}

} // namespace platform
