// The settings record and the account table, one field per key of Pim.INI,
// named like the key. Default member values are the keys' defaults.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pim {

enum class AccountAuth : uint8_t { Password, OAuth2 };

struct TAccount {
    bool Enabled = false;
    std::string Name;
    std::string HostName;
    std::string UserID;
    std::string Password; // plain in memory, encoded in the file
    // Keys that older files lack: the server offered TLS, so a session without
    // it is refused; the SHA-256 (64 lower-case hex digits) of a certificate the
    // user chose to trust although it does not verify; when a check learnt each
    // ("YYYY-MM-DD", empty when unknown or nothing is learnt). All have
    // initialisers, so a brace list of the first five fields stays complete.
    bool TlsRequired = false;
    std::string TrustedCertificate = {};
    std::string TlsRequiredDate = {};
    std::string TrustedCertificateDate = {};
    // Not a key of Pim.INI: the account as it was when its password went into
    // the desktop's keyring, which keeps it there under that host and user.
    // Password is then empty unless the user typed a new one since.
    struct KeyringEntry {
        std::string Name;
        std::string HostName;
        std::string UserID;
        bool operator==(const KeyringEntry&) const = default;
    };
    std::optional<KeyringEntry> Keyring = {};
    // Signing in with OAuth 2.0 instead of a password: `Auth=OAuth2` and the
    // provider's endpoints and the program's registration with it. The refresh
    // token takes the password's place: in the keyring where passwords go
    // there, else encoded in the file as OAuthRefreshToken; plain in memory.
    AccountAuth Auth = AccountAuth::Password;
    std::string OAuthAuthorizeUrl = {};
    std::string OAuthTokenUrl = {};
    std::string OAuthClientId = {};
    std::string OAuthClientSecret = {};
    std::string OAuthScope = {};
    std::string OAuthRefreshToken = {};
    // An account of the desktop's online accounts (its Account.Id): its server
    // and user follow the desktop, and its credentials are asked of it at every
    // login, never kept.
    std::string OnlineAccount = {};

    bool operator==(const TAccount&) const = default;
};

// What the account signs in with: its password, or its refresh token. One
// place keeps it, Pim.INI or the keyring, under the same rules.
inline std::string& SecretOf(TAccount& account) {
    return account.Auth == AccountAuth::OAuth2 ? account.OAuthRefreshToken : account.Password;
}
inline const std::string& SecretOf(const TAccount& account) {
    return account.Auth == AccountAuth::OAuth2 ? account.OAuthRefreshToken : account.Password;
}

inline constexpr int kMaxAccounts = 20;
using TAccounts = std::array<TAccount, kMaxAccounts>;

// The client area the main window is designed for; the default position centres it.
inline constexpr int kMainClientWidth = 350;
inline constexpr int kMainClientHeight = 300;
// The largest the user may make the main window, in either direction.
inline constexpr int kMaxMainClientSize = 8192;

// The largest interval (minutes) and time-out (seconds) the options dialog takes.
inline constexpr int32_t kMaxScheduleCount = 999;
// Window places beyond this are no place on any screen (X11 holds 16 bits).
inline constexpr int32_t kMaxScreenCoordinate = 32767;

// CustomizeDial as read when the key is absent; the loader resolves it.
inline constexpr int32_t kCustomizeDialAbsent = 99;

struct TSettings {
    // [MainWindow]
    uint8_t Type = 0;
    int32_t Left = 0;
    int32_t Top = 0;
    // The window with the lists, as the user made it; the design's at the least.
    int32_t Width = kMainClientWidth;
    int32_t Height = kMainClientHeight;

    // [Setting]
    bool ScheduleRun = false;
    bool ScheduleDialup = false;
    bool ScheduleTime = false;
    int32_t ScheduleTimeCount = 1;
    bool ScheduleTimeInfo = false;
    bool MailerAutoRun = false;
    bool MailerAutoRunSameCheck = false;
    bool ScheduleTimeout = false;
    int32_t ScheduleTimeoutCount = 60;
    std::string MailerPath;
    std::string MailerOption;
    int32_t MailerIcon = 0;
    bool MailerMinimized = false;
    bool SettingTask = false;
    bool SettingTaskbar = false;
    bool SettingEndCheck = true;
    bool SettingCountOnly = false;
    bool SettingRunHide = false;
    bool SettingAnimation = true;
    bool SettingDeconnect = false;
    bool SettingAutoShow = true;
    bool SettingAutoShowCheck = false;
    bool SettingAutoShowChange = false;
    bool SettingInfoOpen = true;
    bool SettingOldMailNotShow = false;
    bool SettingNewestFirst = false; // the mail list's newest message at the top
    bool SettingMailerHide = false;
    bool SettingNotification = true; // a desktop notification where the sound is due
    bool SettingKeyring = false;     // passwords in the desktop's keyring, not in the file

    // [Customize]
    int32_t CustomizeDial = 0;
    std::string CustomizeDialName;

    // [Schedule]
    bool DialMailNonDisconnect = false;
    bool DialExistingNonDisconnect = false;

    // [Sound]
    uint8_t Kind = 0;
    std::string WaveRecv;
    bool SameCheck = false;

    // [FPN]
    bool Login = false;
    bool PasswordCheck = false;
    std::string Password;

    bool operator==(const TSettings&) const = default;
};

// The POP3 reply time-out, in milliseconds, that the settings ask for.
inline int ReplyTimeOut(const TSettings& settings) {
    return settings.ScheduleTimeout
               ? std::clamp(settings.ScheduleTimeoutCount, 1, kMaxScheduleCount) * 1000
               : 60000;
}

// The process-wide settings, read by every part of the program.
extern TSettings Settings;
extern TAccounts Accounts;

// What a check learnt of the TLS of an account's server.
struct TlsLesson {
    std::string HostName;
    std::string UserID;
    bool TlsRequired = false;            // STLS was offered (or pop3s:// used)
    std::string TrustedCertificate = {}; // the user chose to trust this certificate
    bool CertificateVerified = false;    // a certificate verified: no pin is needed
    std::string Date = {};               // "YYYY-MM-DD"
};

// `lesson` goes to every account of the same HostName and UserID: the options
// dialog may have moved it since the check copied it. Only a verifying
// certificate forgets anything here (the pin). Returns the slots that changed.
std::vector<int> TakeSecurity(TAccounts& accounts, const TlsLesson& lesson);

// What checks learnt of the account's server goes, as when the user forgets it.
inline void ForgetSecurity(TAccount& account) {
    account.TlsRequired = false;
    account.TrustedCertificate.clear();
    account.TlsRequiredDate.clear();
    account.TrustedCertificateDate.clear();
}

} // namespace pim
