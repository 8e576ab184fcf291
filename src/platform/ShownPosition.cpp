#include "platform/ShownPosition.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace pim {

QPoint ShownPosition(const QWidget* window) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* x = x11 ? x11->connection() : nullptr;
    const QWindow* handle = window->windowHandle();
    if (!x || !handle || !window->testAttribute(Qt::WA_WState_Created) || !handle->screen())
        return window->pos();
    const auto id = static_cast<xcb_window_t>(handle->winId());
    const std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> geometry(
        xcb_get_geometry_reply(x, xcb_get_geometry(x, id), nullptr), &std::free);
    if (!geometry)
        return window->pos();
    const std::unique_ptr<xcb_translate_coordinates_reply_t, decltype(&std::free)> shown(
        xcb_translate_coordinates_reply(x, xcb_translate_coordinates(x, id, geometry->root, 0, 0),
                                        nullptr),
        &std::free);
    if (!shown)
        return window->pos();
    // Device pixels to Qt's, scaled about the screen's corner: exact where Qt
    // keeps the screens' corners (one screen, or scales of each screen's own).
    const QPoint corner = handle->screen()->geometry().topLeft();
    const qreal scale = handle->devicePixelRatio();
    return corner + QPoint(qRound((shown->dst_x - corner.x()) / scale),
                           qRound((shown->dst_y - corner.y()) / scale));
}

} // namespace pim
