// The one request a sign-in waits for on its loopback port: the browser's
// redirect back from the provider (RFC 8252, 7.3). Anything else that reaches
// the port (a favicon, a probe, another local program guessing) is answered
// and changes nothing; only the redirect carrying this sign-in's `state` ends it.
#pragma once

#include <QByteArray>
#include <QString>

namespace pim {

// A request head larger than this is nobody's redirect.
inline constexpr qsizetype kMaxRedirectRequest = 16 * 1024;

struct RedirectVerdict {
    enum Kind : uint8_t {
        Incomplete, // read on
        Ignored,    // answered with `status`; the sign-in goes on waiting
        Code,       // the authorization code: the sign-in goes on to the token request
        Denied,     // the provider's error (access_denied, ...): the sign-in ends
    };
    Kind kind = Incomplete;
    int status = 0;  // HTTP status of the answer
    QByteArray code; // Code
    QString error;   // Denied: the provider's code and description, one line
};

// `head` is what the connection sent so far.
RedirectVerdict ReadRedirect(const QByteArray& head, const QByteArray& state);

// The whole HTTP answer: a short page saying `text`, and the connection closed.
QByteArray RedirectAnswer(int status, const QString& text);

} // namespace pim
