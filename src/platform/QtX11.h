// Qt's own connection to the X server, for what Qt has no word of its own for:
// the tray selection, startup notification. Only for this folder's sources.
#pragma once

#include <QByteArray>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace pim {

template <typename T>
using XReply = std::unique_ptr<T, decltype(&std::free)>;

// Null outside X11.
xcb_connection_t* QtX11();
xcb_atom_t InternAtom(xcb_connection_t* x, const QByteArray& name);

} // namespace pim
