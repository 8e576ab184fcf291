// Pim started at login: the XDG autostart entry pim.desktop in
// $XDG_CONFIG_HOME/autostart. That one file is all this reads, writes or
// removes; installing Pim writes none.
#pragma once

#include <QByteArray>
#include <QString>

namespace pim {

// Under $XDG_CONFIG_HOME, or ~/.config when that is unset or not absolute.
QString AutostartPath();

// The entry is there, not hidden or switched off, and starts a program named
// like `program` or "pim".
bool AutostartOn(const QString& program);

// The entry that starts `program`, an absolute path, at login.
QByteArray AutostartEntry(const QString& program);

// Writes the entry (its folder made, the file replaced in one step) or removes
// it; false when that fails or `program` cannot be written in an entry.
bool SetAutostart(const QString& program, bool on);

} // namespace pim
