// Where the mail of the big providers is, by the domain of an address: the
// server and how an account signs in to it. A fact table, not a lookup: what
// it does not know is left to the user (or to a lookup of the domain's own).
#pragma once

#include <QString>
#include <optional>

namespace pim {

struct KnownServer {
    QString server;  // as an account's host: "imaps://imap.gmail.com"
    int preset = -1; // the OAuth preset it signs in with (OAuthPresets()), or -1: a password
};

std::optional<KnownServer> KnownServerOf(const QString& address);

} // namespace pim
