#pragma once

#include "remote/TFernpostNetwork.h"

namespace pim {

// How Pim presents itself on the Fernpost network: kind "Pim", version 100,
// scrambled texts, a remote menu, port 51000, and "Pim <login name>" as the name
// other users see.
void ConfigureAsPim(TFernpostNetwork& station);

// The login name of the user running Pim, in CP932.
std::string LoginName();

} // namespace pim
