#pragma once

#include <string>

namespace pim {

// Pim.INI lives beside the program, as a portable program's settings do. Only
// when that folder cannot be written, or is one of the system's (under /usr,
// /bin or /sbin, even for root), and holds no Pim.INI does it move to
// $XDG_CONFIG_HOME/Pim (or ~/.config/Pim), which is created when missing.
// `programDir` ends with '/'.
std::string ProfilePath(const std::string& programDir);

// An XDG base folder: `variable` when it names an absolute path, else
// `underHome` (".config", ".local/state") in the user's home.
std::string XdgFolder(const char* variable, const char* underHome);

} // namespace pim
