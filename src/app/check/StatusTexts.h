// The status texts of the main window, in CP932.
#pragma once

#include "settings/Settings.h"

#include <string>

namespace pim {

namespace texts {
const std::string& AutoCheckStopped();
const std::string& AutoCheckWaiting();
// No automatic check falls due, but push tells of new mail.
const std::string& Pushing();
const std::string& ConfirmExit();
const std::string& NoAccount();
} // namespace texts

// The status shown before anything has happened: "waiting" only when an automatic
// check can fall due while the window is seen as the user left it.
std::string InitialStatusText(const TSettings& settings);

} // namespace pim
