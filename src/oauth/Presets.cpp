#include "oauth/Presets.h"

#include <array>

#ifndef PIM_OAUTH_MICROSOFT_CLIENT_ID
#define PIM_OAUTH_MICROSOFT_CLIENT_ID ""
#endif
#ifndef PIM_OAUTH_GOOGLE_CLIENT_ID
#define PIM_OAUTH_GOOGLE_CLIENT_ID ""
#endif
#ifndef PIM_OAUTH_GOOGLE_CLIENT_SECRET
#define PIM_OAUTH_GOOGLE_CLIENT_SECRET ""
#endif

namespace pim {

std::span<const OAuthPreset> OAuthPresets() {
    static const std::array<OAuthPreset, 2> presets{{
        {QStringLiteral("Microsoft (Outlook.com, Hotmail, Microsoft 365)"),
         {QStringLiteral("https://login.microsoftonline.com/common/oauth2/v2.0/authorize"),
          QStringLiteral("https://login.microsoftonline.com/common/oauth2/v2.0/token"),
          QStringLiteral(PIM_OAUTH_MICROSOFT_CLIENT_ID),
          {},
          QStringLiteral("https://outlook.office.com/IMAP.AccessAsUser.All offline_access")},
         QStringLiteral("https://outlook.office.com/POP.AccessAsUser.All offline_access"),
         QStringLiteral("imaps://outlook.office365.com")},
        {QStringLiteral("Google (Gmail)"),
         {QStringLiteral("https://accounts.google.com/o/oauth2/v2/auth"),
          QStringLiteral("https://oauth2.googleapis.com/token"),
          QStringLiteral(PIM_OAUTH_GOOGLE_CLIENT_ID),
          QStringLiteral(PIM_OAUTH_GOOGLE_CLIENT_SECRET),
          QStringLiteral("https://mail.google.com/")},
         {},
         QStringLiteral("imaps://imap.gmail.com")},
    }};
    return presets;
}

} // namespace pim
