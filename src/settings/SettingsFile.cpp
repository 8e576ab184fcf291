#include "settings/SettingsFile.h"

#include "common/Cp932.h"
#include "common/HexKey.h"
#include "common/UiText.h"
#include "settings/IniFile.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <algorithm>
#include <cctype>
#include <optional>
#include <set>
#include <tuple>
#include <variant>

namespace pim {

TSettings Settings;
TAccounts Accounts;

namespace {

using Field = std::variant<bool TSettings::*, int32_t TSettings::*, uint8_t TSettings::*,
                           std::string TSettings::*>;

struct Key {
    const char* section;
    const char* name;
    Field field;
    bool encoded = false; // a password, stored through the hex-key encoding
};

// In the order they are written; a file first written by Pim lists them so.
const Key kKeys[] = {
    {"Setting", "MailerPath", &TSettings::MailerPath},
    {"Setting", "MailerOption", &TSettings::MailerOption},
    {"Setting", "MailerIcon", &TSettings::MailerIcon},
    {"Setting", "MailerMinimized", &TSettings::MailerMinimized},
    {"Setting", "MailerAutoRun", &TSettings::MailerAutoRun},
    {"Setting", "MailerAutoRunSameCheck", &TSettings::MailerAutoRunSameCheck},
    {"Setting", "ScheduleRun", &TSettings::ScheduleRun},
    {"Setting", "ScheduleDialup", &TSettings::ScheduleDialup},
    {"Setting", "ScheduleTime", &TSettings::ScheduleTime},
    {"Setting", "ScheduleTimeCount", &TSettings::ScheduleTimeCount},
    {"Setting", "ScheduleTimeout", &TSettings::ScheduleTimeout},
    {"Setting", "ScheduleTimeoutCount", &TSettings::ScheduleTimeoutCount},
    {"Setting", "ScheduleTimeInfo", &TSettings::ScheduleTimeInfo},
    {"Setting", "SettingTask", &TSettings::SettingTask},
    {"Setting", "SettingTaskbar", &TSettings::SettingTaskbar},
    {"Setting", "SettingEndCheck", &TSettings::SettingEndCheck},
    {"Setting", "SettingCountOnly", &TSettings::SettingCountOnly},
    {"Setting", "SettingRunHide", &TSettings::SettingRunHide},
    {"Setting", "SettingAnimation", &TSettings::SettingAnimation},
    {"Customize", "CustomizeDial", &TSettings::CustomizeDial},
    {"Customize", "CustomizeDialName", &TSettings::CustomizeDialName},
    {"Setting", "SettingDeconnect", &TSettings::SettingDeconnect},
    {"Schedule", "DialMailNonDisconnect", &TSettings::DialMailNonDisconnect},
    {"Schedule", "DialExistingNonDisconnect", &TSettings::DialExistingNonDisconnect},
    {"Setting", "SettingAutoShow", &TSettings::SettingAutoShow},
    {"Setting", "SettingAutoShowCheck", &TSettings::SettingAutoShowCheck},
    {"Setting", "SettingAutoShowChange", &TSettings::SettingAutoShowChange},
    {"Setting", "SettingInfoOpen", &TSettings::SettingInfoOpen},
    {"Setting", "SettingOldMailNotShow", &TSettings::SettingOldMailNotShow},
    {"Setting", "SettingNewestFirst", &TSettings::SettingNewestFirst},
    {"Setting", "SettingMailerHide", &TSettings::SettingMailerHide},
    {"Setting", "SettingNotification", &TSettings::SettingNotification},
    {"Sound", "Kind", &TSettings::Kind},
    {"Sound", "WaveRecv", &TSettings::WaveRecv},
    {"Sound", "SameCheck", &TSettings::SameCheck},
    {"FPN", "Login", &TSettings::Login},
    {"FPN", "PasswordCheck", &TSettings::PasswordCheck},
    {"FPN", "Password", &TSettings::Password, true},
};

const Key kMainWindowKeys[] = {
    {"MainWindow", "Type", &TSettings::Type},     {"MainWindow", "Left", &TSettings::Left},
    {"MainWindow", "Top", &TSettings::Top},       {"MainWindow", "Width", &TSettings::Width},
    {"MainWindow", "Height", &TSettings::Height},
};

struct Reader {
    const IniFile& ini;
    const Key& key;
    TSettings& out;
    const TSettings& defaults;

    void operator()(bool TSettings::*f) const {
        out.*f = ini.ReadBool(key.section, key.name, defaults.*f);
    }
    void operator()(int32_t TSettings::*f) const {
        out.*f = ini.ReadInteger(key.section, key.name, defaults.*f);
    }
    void operator()(uint8_t TSettings::*f) const {
        // Held in one byte: the low eight bits of the value read.
        out.*f = static_cast<uint8_t>(ini.ReadInteger(key.section, key.name, defaults.*f) & 0xFF);
    }
    void operator()(std::string TSettings::*f) const {
        const std::string text = ini.ReadString(key.section, key.name);
        out.*f = key.encoded ? DecodePassword(text) : text;
    }
};

struct Writer {
    IniFile& ini;
    const Key& key;
    const TSettings& in;

    void operator()(bool TSettings::*f) const { ini.WriteBool(key.section, key.name, in.*f); }
    void operator()(int32_t TSettings::*f) const { ini.WriteInteger(key.section, key.name, in.*f); }
    void operator()(uint8_t TSettings::*f) const { ini.WriteInteger(key.section, key.name, in.*f); }
    void operator()(std::string TSettings::*f) const {
        ini.WriteString(key.section, key.name, key.encoded ? EncodePassword(in.*f) : in.*f);
    }
};

// A path as the user reads it: the file system's bytes in the locale's encoding.
QString ShownPath(const std::string& path) {
    return QString::fromLocal8Bit(path.data(), qsizetype(path.size()));
}

std::string AccountSection(int slot) {
    return "Account" + std::to_string(slot);
}

// The keys a hand may have spoilt read as unset.
bool ReadTlsRequired(const std::optional<std::string>& value) {
    return value == "1";
}

std::string ReadFingerprint(const std::optional<std::string>& value) {
    if (!value || value->size() != 64 || !std::all_of(value->begin(), value->end(), [](char c) {
            return std::isxdigit(uint8_t(c));
        }))
        return {};
    std::string lower = *value;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return char(std::tolower(uint8_t(c))); });
    return lower;
}

constexpr const char* kOAuth2 = "OAuth2";
// A refresh token runs to a few KB, and its encoding doubles it: the longest
// secret an account may hold, encoded.
constexpr size_t kMaxTokenValueBytes = 2 + 2 * 16 * 1024;

// Only "OAuth2" (in any case) signs in with tokens; anything else is a password.
AccountAuth ReadAuth(const std::optional<std::string>& value) {
    return value && value->size() == 6 && QByteArray::fromStdString(*value).toLower() == "oauth2"
               ? AccountAuth::OAuth2
               : AccountAuth::Password;
}

// "YYYY-MM-DD" of a real day; anything else reads as unknown.
std::string ReadDate(const std::optional<std::string>& value) {
    if (!value || value->size() != 10)
        return {};
    const std::string& text = *value;
    for (size_t i = 0; i < text.size(); ++i)
        if (i == 4 || i == 7 ? text[i] != '-' : !std::isdigit(uint8_t(text[i])))
            return {};
    const QDate day(std::stoi(text.substr(0, 4)), std::stoi(text.substr(5, 2)),
                    std::stoi(text.substr(8, 2)));
    return day.isValid() ? text : std::string();
}

// Older files have none of these keys and should stay as they are: a section
// gains one only when it has something to say, and a key already there (an
// account moved or changed) is rewritten only when what it says changes; since
// keys are never deleted, one that says nothing any more is emptied.
void WriteLaterKeys(IniFile& ini, const std::string& section, const TAccount& account) {
    using Read = std::string (*)(const std::optional<std::string>&);
    const Read readTls = [](const std::optional<std::string>& value) {
        return std::string(ReadTlsRequired(value) ? "1" : "");
    };
    const Read readAuth = [](const std::optional<std::string>& value) {
        return std::string(ReadAuth(value) == AccountAuth::OAuth2 ? kOAuth2 : "");
    };
    const Read readText = [](const std::optional<std::string>& value) {
        return value.value_or(std::string());
    };
    const bool oauth = account.Auth == AccountAuth::OAuth2;
    const std::tuple<const char*, std::string, Read> keys[] = {
        {"TlsRequired", account.TlsRequired ? "1" : "", readTls},
        {"TlsRequiredDate", account.TlsRequiredDate, ReadDate},
        {"TrustedCertificate", account.TrustedCertificate, ReadFingerprint},
        {"TrustedCertificateDate", account.TrustedCertificateDate, ReadDate},
        {"Auth", oauth ? kOAuth2 : "", readAuth},
        {"OAuthAuthorizeUrl", account.OAuthAuthorizeUrl, readText},
        {"OAuthTokenUrl", account.OAuthTokenUrl, readText},
        {"OAuthClientId", account.OAuthClientId, readText},
        {"OAuthClientSecret", account.OAuthClientSecret, readText},
        {"OAuthScope", account.OAuthScope, readText},
        {"OnlineAccount", account.OnlineAccount, readText}};
    for (const auto& [key, value, read] : keys) {
        const auto stored = ini.Value(section, key);
        if (stored ? read(stored) != value : !value.empty())
            ini.WriteString(section, key, value);
    }
    // Encoded afresh at each write, so compared decoded.
    const std::string& token = account.OAuthRefreshToken;
    const auto stored = ini.Value(section, "OAuthRefreshToken", kMaxTokenValueBytes);
    if (stored ? DecodePassword(*stored) != token : !token.empty())
        ini.WriteString(section, "OAuthRefreshToken", token.empty() ? "" : EncodePassword(token));
}

// Files that the last load could not use. The user was told that nothing will be
// saved; even when the file has become readable since, writing the defaults Pim
// runs on over it would lose what it holds.
std::set<std::string>& UnusedFiles() {
    static std::set<std::string> paths;
    return paths;
}

// Re-reads the file so that whatever else it holds (hand edits, unknown keys,
// [MainWindow]) is kept, applies `write` and replaces the file in one step;
// `write` returning false abandons the save.
template <typename WriteFn>
bool Rewrite(const std::string& path, std::string* error, WriteFn write) {
    IniFile::LoadStatus status;
    IniFile ini = IniFile::Load(path, &status);
    // Writing over a file we could not read would lose everything in it.
    bool ok = IniFile::Usable(status) && !UnusedFiles().contains(path);
    if (ok)
        ok = write(ini) && ini.Save(path);
    if (!ok && error)
        *error = CannotWriteText(path);
    return ok;
}

} // namespace

std::string CannotWriteText(const std::string& path) {
    return cp932::FromUnicode(UiString("SettingsFile", "%1 に書き込めません").arg(ShownPath(path)));
}

std::string CannotReadText(const std::string& path, IniFile::LoadStatus status) {
    using enum IniFile::LoadStatus;
    QString reason;
    switch (status) {
    case Folder:
        reason = UiString("SettingsFile", "ファイルではなくフォルダです。");
        break;
    case NotAFile:
        reason = UiString("SettingsFile", "通常のファイルではありません。");
        break;
    case TooLarge:
        reason = UiString("SettingsFile", "ファイルサイズが上限（16MB）を超えています。");
        break;
    case NoPermission:
        reason = UiString("SettingsFile", "ファイルを読み込む権限がありません。");
        break;
    case LinkLoop:
        reason = UiString("SettingsFile", "シンボリックリンクが循環しています。");
        break;
    default:
        reason = UiString("SettingsFile", "読み込み中にエラーが発生しました。");
        break;
    }
    return cp932::FromUnicode(UiString("SettingsFile",
                                       "%1 を読み込むことができませんでした。\r%2\r\r"
                                       "初期設定で起動しますが、設定は保存されません。")
                                  .arg(ShownPath(path), reason));
}

IniFile::LoadStatus LoadSettings(const std::string& path, DialupPhonebook& dialup,
                                 ScreenSize screen, TSettings& settings, TAccounts& accounts) {
    IniFile::LoadStatus status;
    const IniFile ini = IniFile::Load(path, &status);
    if (IniFile::Usable(status))
        UnusedFiles().erase(path);
    else
        UnusedFiles().insert(path);

    TSettings defaults;
    defaults.Left = (screen.width - kMainClientWidth) / 2;
    defaults.Top = (screen.height - kMainClientHeight) / 2;
    settings = defaults;
    for (const Key& key : kMainWindowKeys)
        std::visit(Reader{ini, key, settings, defaults}, key.field);
    settings.Left = std::clamp(settings.Left, -kMaxScreenCoordinate, kMaxScreenCoordinate);
    settings.Top = std::clamp(settings.Top, -kMaxScreenCoordinate, kMaxScreenCoordinate);
    settings.Width = std::clamp(settings.Width, kMainClientWidth, kMaxMainClientSize);
    settings.Height = std::clamp(settings.Height, kMainClientHeight, kMaxMainClientSize);

    accounts = TAccounts{};
    for (int slot = 0; slot < kMaxAccounts; ++slot) {
        const std::string section = AccountSection(slot);
        TAccount& account = accounts[static_cast<size_t>(slot)];
        account.Enabled = ini.ReadBool(section, "Enabled", false);
        account.Name = ini.ReadString(section, "Name");
        account.HostName = ini.ReadString(section, "HostName");
        account.UserID = ini.ReadString(section, "UserID");
        account.Password = DecodePassword(ini.ReadString(section, "Password"));
        account.TlsRequired = ReadTlsRequired(ini.Value(section, "TlsRequired"));
        account.TrustedCertificate = ReadFingerprint(ini.Value(section, "TrustedCertificate"));
        // A date says when its state was learnt: without the state it says nothing.
        if (account.TlsRequired)
            account.TlsRequiredDate = ReadDate(ini.Value(section, "TlsRequiredDate"));
        if (!account.TrustedCertificate.empty())
            account.TrustedCertificateDate = ReadDate(ini.Value(section, "TrustedCertificateDate"));
        account.Auth = ReadAuth(ini.Value(section, "Auth"));
        account.OAuthAuthorizeUrl = ini.ReadString(section, "OAuthAuthorizeUrl");
        account.OAuthTokenUrl = ini.ReadString(section, "OAuthTokenUrl");
        account.OAuthClientId = ini.ReadString(section, "OAuthClientId");
        account.OAuthClientSecret = ini.ReadString(section, "OAuthClientSecret");
        account.OAuthScope = ini.ReadString(section, "OAuthScope");
        account.OnlineAccount = ini.ReadString(section, "OnlineAccount");
        account.OAuthRefreshToken = DecodePassword(
            ini.Value(section, "OAuthRefreshToken", kMaxTokenValueBytes).value_or(std::string()));
        if (account.HostName.empty())
            break;
    }

    for (const Key& key : kKeys)
        std::visit(Reader{ini, key, settings, defaults}, key.field);
    // Only "1" turns it on: a hand-spoilt value keeps the passwords where they are.
    settings.SettingKeyring = ini.Value("Setting", "SettingKeyring") == "1";
    if (settings.SettingKeyring) {
        for (TAccount& account : accounts) {
            if (!account.HostName.empty() && SecretOf(account).empty() &&
                account.OnlineAccount.empty())
                account.Keyring =
                    TAccount::KeyringEntry{account.Name, account.HostName, account.UserID};
        }
    }
    // A hand-edited count beyond them would overflow the time-out in milliseconds
    // or the countdown; nothing below 1 has a meaning.
    settings.ScheduleTimeCount = std::clamp(settings.ScheduleTimeCount, 1, kMaxScheduleCount);
    settings.ScheduleTimeoutCount = std::clamp(settings.ScheduleTimeoutCount, 1, kMaxScheduleCount);

    // An absent (or 99) CustomizeDial falls back on the older SettingConnecting.
    settings.CustomizeDial = ini.ReadInteger("Customize", "CustomizeDial", kCustomizeDialAbsent);
    if (settings.CustomizeDial == kCustomizeDialAbsent)
        settings.CustomizeDial = ini.ReadBool("Setting", "SettingConnecting", false) ? 1 : 0;

    // A new profile starts as most users want it: watching from the start, on a
    // pace, from the tray. A file that lacks a key keeps the older default.
    if (status == IniFile::LoadStatus::Missing) {
        settings.ScheduleRun = true;
        settings.ScheduleTime = true;
        settings.ScheduleTimeCount = kFirstRunInterval;
        settings.SettingTask = true;
    }

    LoadDialupSettings(dialup, settings);
    return status;
}

void LoadDialupSettings(DialupPhonebook& dialup, TSettings& settings) {
    if (settings.CustomizeDialName.empty() && dialup.EntryCount() != 0)
        settings.CustomizeDialName = dialup.GetEntryName(0);

    if (dialup.ServiceError()) {
        settings.CustomizeDial = 0;
        settings.CustomizeDialName.clear();
        settings.ScheduleDialup = false;
        settings.SettingDeconnect = false;
        settings.DialMailNonDisconnect = false;
        settings.DialExistingNonDisconnect = false;
    }
}

bool SaveSettings(const std::string& path, const TSettings& settings, const TAccounts& accounts,
                  std::string* error) {
    return Rewrite(path, error, [&](IniFile& ini) {
        int slot = 0;
        for (; slot < kMaxAccounts; ++slot) {
            const std::string section = AccountSection(slot);
            const TAccount& account = accounts[static_cast<size_t>(slot)];
            ini.WriteBool(section, "Enabled", account.Enabled);
            ini.WriteString(section, "Name", account.Name);
            ini.WriteString(section, "HostName", account.HostName);
            ini.WriteString(section, "UserID", account.UserID);
            ini.WriteString(section, "Password", EncodePassword(account.Password));
            WriteLaterKeys(ini, section, account);
            // The first slot without a host is written too: it marks the end.
            if (account.HostName.empty())
                break;
        }
        // What lies beyond the end is never read again, but a deleted account's
        // secrets must not stay in a file that may be copied.
        while (++slot < kMaxAccounts) {
            const std::string section = AccountSection(slot);
            for (const char* key : {"Password", "OAuthRefreshToken", "OAuthClientSecret"})
                if (!ini.Value(section, key, kMaxTokenValueBytes).value_or("").empty())
                    ini.WriteString(section, key, "");
        }
        for (const Key& key : kKeys)
            std::visit(Writer{ini, key, settings}, key.field);
        // A file that never had the keyring on stays as other tools know it.
        if (settings.SettingKeyring || ini.Value("Setting", "SettingKeyring"))
            ini.WriteString("Setting", "SettingKeyring", settings.SettingKeyring ? "1" : "0");
        return true;
    });
}

bool SaveMainWindow(const std::string& path, const TSettings& settings, std::string* error) {
    return Rewrite(path, error, [&](IniFile& ini) {
        for (const Key& key : kMainWindowKeys)
            std::visit(Writer{ini, key, settings}, key.field);
        return true;
    });
}

bool SaveAccountSecurity(const std::string& path, int slot, const TAccount& account,
                         std::string* error) {
    if (slot < 0 || slot >= kMaxAccounts)
        return false;
    const std::string section = AccountSection(slot);
    return Rewrite(path, error, [&](IniFile& ini) {
        if (ini.ReadString(section, "HostName") != account.HostName ||
            ini.ReadString(section, "UserID") != account.UserID)
            return false;
        WriteLaterKeys(ini, section, account);
        return true;
    });
}

bool SaveFollowedAccount(const std::string& path, int slot, const TAccount& before,
                         const TAccount& now, std::string* error) {
    if (slot < 0 || slot >= kMaxAccounts || before.OnlineAccount.empty())
        return false;
    const std::string section = AccountSection(slot);
    return Rewrite(path, error, [&](IniFile& ini) {
        if (ini.ReadString(section, "OnlineAccount") != before.OnlineAccount ||
            ini.ReadString(section, "HostName") != before.HostName ||
            ini.ReadString(section, "UserID") != before.UserID)
            return false;
        ini.WriteString(section, "HostName", now.HostName);
        ini.WriteString(section, "UserID", now.UserID);
        return true;
    });
}

bool ClearSavedSecret(const std::string& path, int slot, const TAccount& account,
                      const std::string& secret, std::string* error) {
    if (slot < 0 || slot >= kMaxAccounts)
        return false;
    const std::string section = AccountSection(slot);
    const bool token = account.Auth == AccountAuth::OAuth2;
    const char* key = token ? "OAuthRefreshToken" : "Password";
    return Rewrite(path, error, [&](IniFile& ini) {
        if (ini.ReadString(section, "HostName") != account.HostName ||
            ini.ReadString(section, "UserID") != account.UserID ||
            DecodePassword(ini.Value(section, key, kMaxTokenValueBytes).value_or("")) != secret)
            return false;
        ini.WriteString(section, key, token ? "" : EncodePassword(""));
        return true;
    });
}

bool StoreSecurity(const std::string& path, TAccounts& accounts, const TlsLesson& lesson,
                   std::string* error) {
    bool ok = true;
    for (const int slot : TakeSecurity(accounts, lesson))
        ok = SaveAccountSecurity(path, slot, accounts[size_t(slot)], ok ? error : nullptr) && ok;
    return ok;
}

std::vector<int> TakeSecurity(TAccounts& accounts, const TlsLesson& lesson) {
    std::vector<int> changed;
    for (int slot = 0; slot < kMaxAccounts; ++slot) {
        TAccount& account = accounts[size_t(slot)];
        if (account.HostName.empty() || account.HostName != lesson.HostName ||
            account.UserID != lesson.UserID)
            continue;
        const TAccount before = account;
        if (lesson.TlsRequired && !account.TlsRequired) {
            account.TlsRequired = true;
            account.TlsRequiredDate = lesson.Date;
        }
        if (!lesson.TrustedCertificate.empty() &&
            lesson.TrustedCertificate != account.TrustedCertificate) {
            account.TrustedCertificate = lesson.TrustedCertificate;
            account.TrustedCertificateDate = lesson.Date;
        } else if (lesson.CertificateVerified) {
            // The pin was an exception for a certificate that did not verify;
            // kept, whoever holds that certificate's key would pass for ever.
            account.TrustedCertificate.clear();
            account.TrustedCertificateDate.clear();
        }
        if (account != before)
            changed.push_back(slot);
    }
    return changed;
}

} // namespace pim
