// Reading and writing Pim.INI.
#pragma once

#include "settings/DialupPhonebook.h"
#include "settings/Settings.h"

#include <string>

namespace pim {

struct ScreenSize {
    int width = 0;
    int height = 0;
};

// Fills `settings` and `accounts` from the file; a missing or unreadable file, key
// or number gives the default. Left and Top default to centring the main window.
void LoadSettings(const std::string& path, DialupPhonebook& dialup, ScreenSize screen,
                  TSettings& settings, TAccounts& accounts);

// Both return false, with the error text for the user (CP932) in `error`, when the
// file cannot be written; the file is then left exactly as it was. One call is one
// replacement of the file, so it is never half written.
bool SaveSettings(const std::string& path, const TSettings& settings, const TAccounts& accounts,
                  std::string* error = nullptr);
bool SaveMainWindow(const std::string& path, const TSettings& settings,
                    std::string* error = nullptr);

// "%s に書き込めません" for `path`, in CP932.
std::string CannotWriteText(const std::string& path);

} // namespace pim
