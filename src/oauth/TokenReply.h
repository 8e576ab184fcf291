// The token endpoint's answer (RFC 6749, 5.1 and 5.2), read field by field:
// whatever the JSON holds, what comes out is either tokens fit to go into a
// SASL message or a refusal with a reason that can be shown.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>

namespace pim {

// Larger answers are no token endpoint's.
inline constexpr qsizetype kMaxTokenReply = 64 * 1024;

enum class TokenOutcome : uint8_t {
    Granted,
    InvalidGrant, // the refresh token or code is no good: a new sign-in is needed
    Refused,      // another error the provider named
    Malformed,    // no JSON object, no usable token, or too large
};

struct TokenReply {
    TokenOutcome outcome = TokenOutcome::Malformed;
    QByteArray accessToken;
    QByteArray refreshToken; // empty: the old one stays (no rotation)
    int expiresIn = 0;       // seconds; 0 when the provider does not say
    QString error;           // the provider's code and description, one line, bounded
};

TokenReply ReadTokenReply(const QByteArray& body);

// What a provider says for the user to read: one line, no control characters,
// at most 300 characters.
QString ProviderText(const QString& text);

} // namespace pim
