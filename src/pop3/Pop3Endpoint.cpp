#include "pop3/Pop3Endpoint.h"

#include "common/Bytes.h"

#include <charconv>

namespace pim {

namespace {

constexpr std::string_view kTlsScheme = "pop3s://";

std::optional<uint16_t> ReadPort(std::string_view text) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value == 0 ||
        value > 65535)
        return std::nullopt;
    return static_cast<uint16_t>(value);
}

} // namespace

std::optional<Pop3Endpoint> ParsePop3Endpoint(std::string_view text) {
    text = TrimBlanks(text);
    Pop3Endpoint endpoint;
    if (text.size() >= kTlsScheme.size() &&
        EqualsIgnoreAsciiCase(text.substr(0, kTlsScheme.size()), kTlsScheme)) {
        text.remove_prefix(kTlsScheme.size());
        if (!text.empty() && text.back() == '/')
            text.remove_suffix(1);
        endpoint.tls = true;
        endpoint.port = 995;
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
