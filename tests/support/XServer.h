// What the real-X tests and the idle bench share about an X server of their own:
// Xvfb's display as it tells it, atoms, and a tray host played by the caller,
// one that takes no icon or one that shows them.
#pragma once

#include <cstdlib>
#include <cstring>
#include <memory>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <xcb/xcb.h>

namespace pim::test {

// The display Xvfb writes, then a line end, to the pipe's end it was given with
// -displayfd: ":N", or empty when no line came. Read to the line end: Xvfb
// writes it apart, and dies if the pipe is closed by then. Closes `fd`.
inline std::string ReadXvfbDisplay(int fd) {
    std::string number;
    pollfd ready{fd, POLLIN, 0};
    for (char byte = 0; number.find('\n') == std::string::npos && ::poll(&ready, 1, 20000) == 1 &&
                        ::read(fd, &byte, 1) == 1;)
        number += byte;
    ::close(fd);
    return number.find('\n') == std::string::npos ? ""
                                                  : ":" + std::to_string(std::atoi(number.c_str()));
}

inline xcb_atom_t XAtom(xcb_connection_t* x, const char* name) {
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(
            x, xcb_intern_atom(x, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// A tray host as far as a program can tell: a new owner of screen `screen`'s
// tray selection, announced on the root window as the system tray protocol
// asks. Docking requests go unanswered. Destroying the window ends it.
inline xcb_window_t PlayTray(xcb_connection_t* x, xcb_window_t root, int screen = 0) {
    const xcb_atom_t selection = XAtom(x, ("_NET_SYSTEM_TRAY_S" + std::to_string(screen)).c_str());
    const xcb_window_t tray = xcb_generate_id(x);
    xcb_create_window(x, 0, tray, root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_set_selection_owner(x, tray, selection, XCB_CURRENT_TIME);
    xcb_client_message_event_t manager{XCB_CLIENT_MESSAGE, 32, 0, root, XAtom(x, "MANAGER"), {}};
    manager.data.data32[1] = selection;
    manager.data.data32[2] = tray;
    xcb_send_event(x, 0, root, XCB_EVENT_MASK_STRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&manager));
    xcb_flush(x);
    return tray;
}

// A tray that shows its icons: answers the docking requests that came to `tray`
// (a PlayTray window of connection `x`) by embedding each icon, as XEmbed asks,
// in a slot at the screen's top right, 22 pixels square from x = 1000. Returns
// the slot, `slot` when no request came; a new one replaces the old.
inline xcb_window_t DockIcons(xcb_connection_t* x, xcb_window_t root, xcb_window_t tray,
                              xcb_window_t slot) {
    const xcb_atom_t opcode = XAtom(x, "_NET_SYSTEM_TRAY_OPCODE");
    while (xcb_generic_event_t* event = xcb_poll_for_event(x)) {
        const std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> owned(event, &std::free);
        const auto* request = reinterpret_cast<const xcb_client_message_event_t*>(event);
        if ((event->response_type & 0x7F) != XCB_CLIENT_MESSAGE || request->window != tray ||
            request->type != opcode || request->data.data32[1] != 0) // SYSTEM_TRAY_REQUEST_DOCK
            continue;
        const xcb_window_t icon = request->data.data32[2];
        if (slot)
            xcb_destroy_window(x, slot);
        slot = xcb_generate_id(x);
        const uint32_t overrideRedirect = 1;
        xcb_create_window(x, XCB_COPY_FROM_PARENT, slot, root, 1000, 0, 22, 22, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                          XCB_CW_OVERRIDE_REDIRECT, &overrideRedirect);
        xcb_map_window(x, slot);
        xcb_reparent_window(x, icon, slot, 0, 0);
        xcb_client_message_event_t embedded{XCB_CLIENT_MESSAGE,  32, 0, icon,
                                            XAtom(x, "_XEMBED"), {}};
        embedded.data.data32[0] = XCB_CURRENT_TIME;
        embedded.data.data32[1] = 0; // XEMBED_EMBEDDED_NOTIFY
        embedded.data.data32[3] = slot;
        xcb_send_event(x, 0, icon, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&embedded));
    }
    xcb_flush(x);
    return slot;
}

} // namespace pim::test
