#pragma once

#include <string>

namespace pim {

// The short host name, at most 15 bytes, as other stations know the machine.
std::string LocalMachineName();

// The IPv4 address of the first interface that is up, not loopback and can
// broadcast; only without one, the address the host name resolves to (which on
// many systems is 127.0.1.1, the same on every machine).
std::string LocalIPv4Address();

} // namespace pim
