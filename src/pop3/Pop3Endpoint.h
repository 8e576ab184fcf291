#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pim {

struct Pop3Endpoint {
    std::string host; // name or address, without brackets
    uint16_t port = 110;
    bool tls = false;

    bool operator==(const Pop3Endpoint&) const = default;
};

// "host", "host:port", "[v6]:port", a bare IPv6 address, each optionally behind
// "pop3s://" for TLS (then port 995 unless given). Empty when no host can be
// made of it.
std::optional<Pop3Endpoint> ParsePop3Endpoint(std::string_view hostName);

} // namespace pim
