#include "mail/Credentials.h"

#include "common/UiText.h"

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

const std::string& CredentialFaultText(CredentialFault fault) {
    static const std::string none;
    switch (fault) {
    case CredentialFault::None:
        break;
    case CredentialFault::ControlCharacter:
        return UiText("Credentials", "ユーザIDかパスワードに改行などの制御文字が含まれているため、"
                                     "送信しませんでした。");
    case CredentialFault::TooLong:
        return UiText("Credentials", "ユーザIDかパスワードが長すぎる（16 KB を超える）ため、"
                                     "送信しませんでした。");
    }
    return none;
}

} // namespace pim
