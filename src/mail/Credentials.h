// Whether a user name and password can go out on a protocol's wire at all:
// POP3 sends them as a line of their own, so a line break in one would be read
// as a command of its own (a DELE, say), and no protocol carries a NUL.
#pragma once

#include "mail/MailEndpoint.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace pim {

enum class CredentialFault : uint8_t {
    None,
    ControlCharacter, // CR or LF on POP3, NUL anywhere
    TooLong,
};

// Large enough for the OAuth tokens of any provider; a secret beyond it is a
// mistake, and would go out again at every login.
inline constexpr size_t kMaxSecretBytes = 16 * 1024;

CredentialFault CheckCredentials(MailProtocol protocol, std::string_view userID,
                                 std::string_view password);
// The account's reason line for a fault (CP932); empty for None.
const std::string& CredentialFaultText(CredentialFault fault);

} // namespace pim
