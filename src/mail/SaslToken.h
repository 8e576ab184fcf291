// The SASL messages that carry an OAuth 2.0 bearer token to a mail server:
// OAUTHBEARER (RFC 7628) and the older XOAUTH2 that Google and Microsoft
// introduced, and what a server's refusal of a token says.
#pragma once

#include <string>
#include <string_view>

namespace pim {

// Base64 with padding (RFC 4648, 4), as SASL exchanges carry their messages.
std::string EncodeBase64(std::string_view bytes);

enum class TokenMechanism : uint8_t { OAuthBearer, XOAuth2 };

// The client's first response, before base64. `user` is UTF-8; the token is
// a bearer token (RFC 6750's characters), which no separator can hide in.
std::string TokenResponse(TokenMechanism mechanism, std::string_view user, std::string_view host,
                          int port, std::string_view token);

// What answers the server's error challenge so that it can send its final
// refusal (RFC 7628, 3.2.3): %x01 for OAUTHBEARER, an empty line for XOAUTH2.
std::string_view AbortResponse(TokenMechanism mechanism);

// The reason lines (CP932) of a token login that failed: no mechanism for
// tokens offered, or the token refused, with the server's status when it gave one.
const std::string& TokenNotOfferedText();
std::string TokenRefusedText(const std::string& status);

// The `status` of the JSON a server sends in its error challenge (base64
// already decoded), at most 64 printable characters; empty when none.
std::string TokenRefusalStatus(std::string_view json);

} // namespace pim
