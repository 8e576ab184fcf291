// The providers an account can be signed in to without typing their
// endpoints: their addresses, scopes and server, and the client ids this
// build was registered with (empty unless the packager gave them).
#pragma once

#include "oauth/OAuthClient.h"

#include <QString>
#include <span>

namespace pim {

struct OAuthPreset {
    QString name;       // as the editor lists it
    OAuthClient client; // its scope for IMAP
    QString popScope;   // the same for POP3; empty where IMAP's serves
    QString server;     // the IMAP server, as an account's host
};

// Microsoft (Outlook.com, Hotmail, Microsoft 365) and Google.
std::span<const OAuthPreset> OAuthPresets();

} // namespace pim
