#pragma once

#include <QByteArray>
#include <QString>

namespace pim {

// What Pim reads from the [Desktop Entry] group of a desktop file.
struct DesktopEntry {
    QString icon;    // Icon=, escapes undone; a theme icon name or an absolute file
    QString program; // the first word of Exec=, unquoted; empty when there is none to start
    bool hidden = false;
    bool autostartDisabled = false; // X-GNOME-Autostart-enabled=false
};

// Any bytes give an entry: what cannot be understood is left out.
DesktopEntry ParseDesktopEntry(const QByteArray& text);

} // namespace pim
