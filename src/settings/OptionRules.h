// What the options dialog decides without looking at a widget: which controls
// the check states leave usable, and the account list's operations on its
// working copy of the account table.
#pragma once

#include "settings/Settings.h"

#include <string>
#include <string_view>

namespace pim {

// The check states the enabling rules read. `Sound` is the checked sound radio
// button (0 none, 1 beep, 2 wave, -1 when none is checked), `Dial` likewise.
struct OptionChecks {
    bool ScheduleTime = false;
    bool ScheduleTimeout = false;
    bool SettingTask = false;
    bool SettingAutoShow = false;
    bool SettingAutoShowCheck = false;
    bool SettingCountOnly = false;
    bool MailerAutoRun = false;
    int Sound = -1;
    bool SettingNotification = false;
    int Dial = -1;
    bool SettingDeconnect = false;
    bool FPNLogin = false;
    bool FPNPassword = false;
};

// Which dependent controls are usable; a label goes grey with its edit.
struct OptionEnabling {
    bool ScheduleTimeCount = false; // the interval edit, its labels and cbScheduleTimeInfo
    bool ScheduleTimeoutCount = false;
    bool SettingTaskbar = false;
    bool SettingAutoShowCheck = false;
    bool SettingAutoShowChange = false;
    bool MailerAutoRunSameCheck = false;
    bool SettingOldMailNotShow = false;
    bool SoundFile = false; // laSoundWave, edSoundRecv and its two buttons
    bool SoundSameCheck = false;
    bool DialSelect = false;      // laCuDialLabel and cbCuDialSelect
    bool DeconnectDetail = false; // the two hang-up conditions
    bool FPNPasswordCheck = false;
    bool FPNPasswordEdit = false; // edFPNPassword and laFPNPassword

    bool operator==(const OptionEnabling&) const = default;
};

OptionEnabling EnablingFor(const OptionChecks& checks);

// Leading and trailing blanks and control characters (bytes up to 0x20) removed;
// CP932 never uses those bytes inside a character.
std::string TrimAccountText(std::string_view text);

// The number of accounts the dialog lists: slots up to the first without a name.
int ListedAccounts(const TAccounts& accounts);

// Removes slot `index`: the later slots move up and slot 19 is cleared.
void DeleteAccount(TAccounts& accounts, int index);

// What the account buttons allow with `selected` (-1 for none) of `count` entries.
struct AccountButtons {
    bool Up = false;
    bool Down = false;
    bool Change = false;
    bool Delete = false;
    bool Add = false;
};
AccountButtons AccountButtonsFor(int selected, int count);

} // namespace pim
