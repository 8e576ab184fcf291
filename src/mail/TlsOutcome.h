// What an account's POP3 sessions have earned in security, and what TLS did
// (or refused to do) in the last session: the check run keeps the first in the
// account's settings and shows the reasons of the second.
#pragma once

#include <cstdint>
#include <string>

namespace pim {

// Set on the component before Connect.
struct TlsPolicy {
    // The server offered STLS (or the account uses pop3s://) before: a plain
    // session that is not offered STLS ends before USER.
    bool Required = false;
    // SHA-256 of a certificate the user chose to trust although it does not
    // verify: 64 lower-case hex digits; empty when none.
    std::string TrustedFingerprint;
};

enum class TlsFailure : uint8_t {
    None,
    Downgrade, // TLS was required and the server did not offer STLS
    Handshake, // STLS refused, or the TLS handshake failed
    Untrusted, // the certificate does not verify and is not the one trusted
};

// Why a certificate did not verify; several may apply.
enum CertificateProblem : uint8_t {
    cpSelfSigned = 1,
    cpExpired = 2, // expired or not yet valid
    cpWrongName = 4,
    cpUnknownAuthority = 8,
};

// Why no connection to the server came up at all.
enum class ConnectFailure : uint8_t {
    None,
    HostNotFound, // the name server knows no such name
    LookupFailed, // the name could not be looked up (no network, no name server)
    Refused,      // nothing listens on the port
    Unreachable,  // no route to the server or its network
    TimedOut,     // no connection within the reply time-out
    Other,
};

// Kept by the component from one Connect to the next.
struct TlsOutcome {
    bool Offered = false;   // pop3s://, or the server listed STLS
    bool Encrypted = false; // the login went over TLS
    TlsFailure Failure = TlsFailure::None;
    uint8_t Problems = 0;            // CertificateProblem bits (Untrusted)
    bool FingerprintChanged = false; // a fingerprint was trusted, this one differs
    std::string Fingerprint;         // of the certificate shown, lower-case hex
    std::string Host;                // the name the certificate was checked against, or not found
    // The certificate verified for the host name by itself, without the pin.
    bool Verified = false;
    ConnectFailure Connect = ConnectFailure::None;

    bool operator==(const TlsOutcome&) const = default;
};

// The reason a user reads (CP932, one line); empty when nothing failed.
std::string TlsReasonText(const TlsOutcome& outcome);
// The same for any failed session: TLS's reason, else why no connection came up.
std::string FailureReasonText(const TlsOutcome& outcome);

} // namespace pim
