#include "oauth/KnownServers.h"

#include <QStringList>
#include <array>

namespace pim {

namespace {

constexpr int kMicrosoft = 0, kGoogle = 1; // in OAuthPresets()

struct Provider {
    const char* domains; // separated by spaces
    const char* server;
    int preset;
};

// Yahoo and iCloud take app passwords made in the account's security settings.
constexpr std::array kProviders{
    Provider{"gmail.com googlemail.com", "imaps://imap.gmail.com", kGoogle},
    Provider{"outlook.com hotmail.com live.com msn.com outlook.jp hotmail.co.jp live.jp",
             "imaps://outlook.office365.com", kMicrosoft},
    Provider{"yahoo.com", "imaps://imap.mail.yahoo.com", -1},
    Provider{"yahoo.co.jp ymail.ne.jp", "imaps://imap.mail.yahoo.co.jp", -1},
    Provider{"icloud.com me.com mac.com", "imaps://imap.mail.me.com", -1},
};

} // namespace

std::optional<KnownServer> KnownServerOf(const QString& address) {
    const qsizetype at = address.lastIndexOf(u'@');
    if (at <= 0)
        return std::nullopt;
    const QString domain = address.mid(at + 1).trimmed().toLower();
    for (const Provider& provider : kProviders)
        if (QString::fromLatin1(provider.domains).split(u' ').contains(domain))
            return KnownServer{QString::fromLatin1(provider.server), provider.preset};
    return std::nullopt;
}

} // namespace pim
