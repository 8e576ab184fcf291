#include "platform/Activation.h"

#include "platform/QtX11.h"

#include <QGuiApplication>
#include <QWidget>
#include <algorithm>
#include <cstring>

namespace pim {

namespace {

xcb_window_t Root(xcb_connection_t* x) {
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    return screen ? screen->root : xcb_window_t{XCB_WINDOW_NONE};
}

// Ends the launcher's busy cursor: a "remove" message of the startup
// notification protocol, sent to the root window 20 bytes at a time.
void EndStartup(xcb_connection_t* x, xcb_window_t from, const QByteArray& id) {
    QByteArray quoted = "\"";
    for (const char c : id) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    const QByteArray text = "remove: ID=" + quoted + "\"" + '\0';
    const xcb_atom_t begin = InternAtom(x, "_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t more = InternAtom(x, "_NET_STARTUP_INFO");
    const xcb_window_t root = Root(x);
    for (qsizetype at = 0; at < text.size(); at += 20) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 8;
        event.window = from; // the pieces are put together per window
        event.type = at == 0 ? begin : more;
        std::memcpy(event.data.data8, text.constData() + at,
                    static_cast<size_t>(std::min<qsizetype>(20, text.size() - at)));
        xcb_send_event(x, 0, root, XCB_EVENT_MASK_PROPERTY_CHANGE,
                       reinterpret_cast<const char*>(&event));
    }
}

void ActivateX11(xcb_connection_t* x, QWidget* window, const QByteArray& id) {
    const auto wid = static_cast<xcb_window_t>(window->winId());
    // The window manager weighs a map or an activation against the user's last
    // input; the id carries the time of the click that launched the second start.
    xcb_change_property(x, XCB_PROP_MODE_REPLACE, wid, InternAtom(x, "_NET_STARTUP_ID"),
                        InternAtom(x, "UTF8_STRING"), 8, static_cast<uint32_t>(id.size()),
                        id.constData());
    window->showNormal();
    window->raise();
    window->activateWindow();
    if (const uint32_t time = StartupIdTime(id)) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = wid;
        event.type = InternAtom(x, "_NET_ACTIVE_WINDOW");
        event.data.data32[0] = 1; // from an application
        event.data.data32[1] = time;
        const xcb_window_t root = Root(x);
        xcb_send_event(x, 0, root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                       reinterpret_cast<const char*>(&event));
    }
    EndStartup(x, wid, id);
    xcb_flush(x);
}

// An id left from an earlier activation would date a later one back to it.
void ForgetStartupId(xcb_connection_t* x, QWidget* window) {
    if (window->testAttribute(Qt::WA_WState_Created))
        xcb_delete_property(x, static_cast<xcb_window_t>(window->winId()),
                            InternAtom(x, "_NET_STARTUP_ID"));
}

} // namespace

uint32_t StartupIdTime(const QByteArray& id) {
    const qsizetype at = id.lastIndexOf("_TIME");
    if (at < 0)
        return 0;
    bool ok = false;
    const qulonglong time = id.mid(at + 5).toULongLong(&ok);
    return ok && time <= 0xffffffffULL ? static_cast<uint32_t>(time) : 0;
}

void ActivateWindow(QWidget* window, const QByteArray& tokens) {
    const qsizetype tab = tokens.indexOf('\t');
    const QByteArray wayland = tab < 0 ? tokens : tokens.left(tab);
    const QByteArray x11 = tab < 0 ? tokens : tokens.mid(tab + 1);
    if (xcb_connection_t* x = QtX11()) {
        if (!x11.isEmpty()) {
            ActivateX11(x, window, x11);
            return;
        }
        ForgetStartupId(x, window);
    }
    // Qt's Wayland platform (from Qt 6.5) hands this variable to the compositor
    // with the activation, and clears it.
    const bool handOver = !wayland.isEmpty() && QGuiApplication::platformName() == "wayland";
    if (handOver)
        qputenv("XDG_ACTIVATION_TOKEN", wayland);
    window->showNormal();
    window->raise();
    window->activateWindow();
    if (handOver)
        qunsetenv("XDG_ACTIVATION_TOKEN");
}

} // namespace pim
