#include "mail/MailEndpoint.h"

#include "common/Bytes.h"

#include <charconv>

namespace pim {

namespace {

struct Scheme {
    std::string_view prefix;
    uint16_t port;
    bool tls;
    MailProtocol protocol;
};
constexpr Scheme kSchemes[] = {{"pop3s://", 995, true, MailProtocol::Pop3},
                               {"pop3://", 110, false, MailProtocol::Pop3},
                               {"imaps://", 993, true, MailProtocol::Imap},
                               {"imap://", 143, false, MailProtocol::Imap}};

std::optional<uint16_t> ReadPort(std::string_view text) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value == 0 ||
        value > 65535)
        return std::nullopt;
    return static_cast<uint16_t>(value);
}

} // namespace

std::optional<MailEndpoint> ParseMailEndpoint(std::string_view text) {
    text = TrimBlanks(text);
    MailEndpoint endpoint;
    for (const Scheme& scheme : kSchemes) {
        if (text.size() < scheme.prefix.size() ||
            !EqualsIgnoreAsciiCase(text.substr(0, scheme.prefix.size()), scheme.prefix))
            continue;
        text.remove_prefix(scheme.prefix.size());
        if (!text.empty() && text.back() == '/')
            text.remove_suffix(1);
        endpoint.port = scheme.port;
        endpoint.tls = scheme.tls;
        endpoint.protocol = scheme.protocol;
        break;
    }

    std::string_view host = text;
    std::optional<std::string_view> port;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        host = text.substr(1, close - 1);
        const auto rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':')
                return std::nullopt;
            port = rest.substr(1);
        }
    } else if (const auto colon = text.find(':');
               colon != std::string_view::npos &&
               text.find(':', colon + 1) == std::string_view::npos) {
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    // Anything with more colons is a bare IPv6 address on the default port.

    if (host.empty() || host.find_first_of(" \t/") != std::string_view::npos)
        return std::nullopt;
    if (port) {
        const auto value = ReadPort(*port);
        if (!value)
            return std::nullopt;
        endpoint.port = *value;
    }
    endpoint.host = std::string(host);
    return endpoint;
}

} // namespace pim
