// Bringing a window to the front with the token a launcher or the notification
// server gave: without it, GNOME and KDE keep a window that a background
// program raises behind the one the user works in.
#pragma once

#include <QByteArray>
#include <cstdint>

class QWidget;

namespace pim {

// Shows `window` as it is and activates it. `tokens`: Wayland's activation
// token and X11's startup id joined by a tab, or one token that may be either
// (empty: activated as Qt does by itself).
void ActivateWindow(QWidget* window, const QByteArray& tokens);

// The user time an X11 startup id carries ("..._TIME1234"); 0 when none.
uint32_t StartupIdTime(const QByteArray& id);

} // namespace pim
