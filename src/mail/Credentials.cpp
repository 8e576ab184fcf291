#include "mail/Credentials.h"

namespace pim {

CredentialFault CheckCredentials(MailProtocol protocol, std::string_view userID,
                                 std::string_view password) {
    // IMAP sends both as literals, where a line break is only a character.
    const std::string_view forbidden =
        protocol == MailProtocol::Pop3 ? std::string_view("\r\n\0", 3) : std::string_view("\0", 1);
    for (const std::string_view text : {userID, password}) {
        if (text.find_first_of(forbidden) != std::string_view::npos)
            return CredentialFault::ControlCharacter;
    }
    if (userID.size() > kMaxSecretBytes || password.size() > kMaxSecretBytes)
        return CredentialFault::TooLong;
    return CredentialFault::None;
}

} // namespace pim
