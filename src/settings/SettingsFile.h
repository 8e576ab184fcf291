// Reading and writing Pim.INI.
#pragma once

#include "settings/DialupPhonebook.h"
#include "settings/IniFile.h"
#include "settings/Settings.h"

#include <string>

namespace pim {

struct ScreenSize {
    int width = 0;
    int height = 0;
};

// Fills `settings` and `accounts` from the file; an unusable file, or a missing
// key or number gives the default; a missing file (a new profile) the
// recommended settings: a check at start and every kFirstRunInterval minutes,
// the tray icon on. Left and Top default to centring the main window;
// the counts are kept to what the options dialog accepts, the place to what a
// screen can hold. Returns how the file was read: when it was unusable, its
// contents are unknown, and the saves below refuse to write over it until a later
// load reads it.
inline constexpr int32_t kFirstRunInterval = 15;
IniFile::LoadStatus LoadSettings(const std::string& path, DialupPhonebook& dialup,
                                 ScreenSize screen, TSettings& settings, TAccounts& accounts);
// The part of loading that asks the phonebook: the first entry when no dial
// name is set, and the dial-up settings off without dial-up networking. In
// memory only, like the load. LoadSettings does it with what the phonebook
// knows then; a phonebook that learns it later does it again.
void LoadDialupSettings(DialupPhonebook& dialup, TSettings& settings);

// Both return false, with the error text for the user (CP932) in `error`, when the
// file cannot be written; the file is then left exactly as it was. One call is one
// replacement of the file, so it is never half written.
bool SaveSettings(const std::string& path, const TSettings& settings, const TAccounts& accounts,
                  std::string* error = nullptr);
bool SaveMainWindow(const std::string& path, const TSettings& settings,
                    std::string* error = nullptr);
// At run time: what checks learn or change of slot `slot` alone (TlsRequired,
// TrustedCertificate and their dates; the sign-in keys and a new refresh
// token). Writes nothing (false) unless the file holds that account there, the
// same HostName and UserID: a trusted certificate must not pass to another server.
bool SaveAccountSecurity(const std::string& path, int slot, const TAccount& account,
                         std::string* error = nullptr);
// The server and user the desktop's online account moved slot `slot` to, while
// the file holds the account as it was (`before`); false, writing nothing, otherwise.
bool SaveFollowedAccount(const std::string& path, int slot, const TAccount& before,
                         const TAccount& now, std::string* error = nullptr);
// The keyring holds the secret of slot `slot` (SecretOf): it is emptied in the
// file, but only while the file holds that account (HostName and UserID) with
// that very secret; false, writing nothing, otherwise.
bool ClearSavedSecret(const std::string& path, int slot, const TAccount& account,
                      const std::string& secret, std::string* error = nullptr);
// TakeSecurity into `accounts`, and every slot it changed saved so; false, with
// the error of the first failed save, when one failed.
bool StoreSecurity(const std::string& path, TAccounts& accounts, const TlsLesson& lesson,
                   std::string* error = nullptr);

// "%s に書き込めません" for `path`, in CP932.
std::string CannotWriteText(const std::string& path);
// For the user, in CP932: `path` could not be read, why, and that the settings
// will not be saved.
std::string CannotReadText(const std::string& path, IniFile::LoadStatus status);

} // namespace pim
