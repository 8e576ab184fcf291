#include "platform/QtX11.h"

#include <QGuiApplication>

namespace pim {

xcb_connection_t* QtX11() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t InternAtom(xcb_connection_t* x, const QByteArray& name) {
    const XReply<xcb_intern_atom_reply_t> atom(
        xcb_intern_atom_reply(
            x, xcb_intern_atom(x, 0, static_cast<uint16_t>(name.size()), name.constData()),
            nullptr),
        &std::free);
    return atom ? atom->atom : xcb_atom_t(XCB_ATOM_NONE);
}

} // namespace pim
