#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pim {

enum class MailProtocol : uint8_t { Pop3, Imap };

struct MailEndpoint {
    std::string host; // name or address, without brackets
    uint16_t port = 110;
    bool tls = false;
    MailProtocol protocol = MailProtocol::Pop3;

    bool operator==(const MailEndpoint&) const = default;
};

// "host", "host:port", "[v6]:port", a bare IPv6 address, each optionally behind
// a scheme: "pop3s://" (TLS, port 995), "imap://" (143) or "imaps://" (TLS,
// 993); none is POP3 on port 110. Empty when no host can be made of it.
std::optional<MailEndpoint> ParseMailEndpoint(std::string_view hostName);

} // namespace pim
