#include "settings/OptionRules.h"

#include <algorithm>

namespace pim {

OptionEnabling EnablingFor(const OptionChecks& c) {
    OptionEnabling e;
    e.ScheduleTimeCount = c.ScheduleTime;
    e.ScheduleTimeoutCount = c.ScheduleTimeout;
    e.SettingTaskbar = c.SettingTask;
    e.SettingAutoShowCheck = c.SettingAutoShow;
    // Counting only leaves nothing to tell new mail from old by.
    e.SettingAutoShowChange = c.SettingAutoShow && c.SettingAutoShowCheck && !c.SettingCountOnly;
    e.MailerAutoRunSameCheck = c.MailerAutoRun && !c.SettingCountOnly;
    e.SettingOldMailNotShow = !c.SettingCountOnly;
    e.SoundFile = c.Sound == 2;
    // The condition decides the desktop notification as well as the sound.
    e.SoundSameCheck =
        (c.Sound == 1 || c.Sound == 2 || c.SettingNotification) && !c.SettingCountOnly;
    e.DialSelect = c.Dial == 2;
    e.DeconnectDetail = c.SettingDeconnect;
    e.FPNPasswordCheck = c.FPNLogin;
    e.FPNPasswordEdit = c.FPNLogin && c.FPNPassword;
    return e;
}

std::string TrimAccountText(std::string_view text) {
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return std::string(text);
}

int ListedAccounts(const TAccounts& accounts) {
    const auto end = std::find_if(accounts.begin(), accounts.end(),
                                  [](const TAccount& a) { return a.Name.empty(); });
    return static_cast<int>(end - accounts.begin());
}

void DeleteAccount(TAccounts& accounts, int index) {
    if (index < 0 || index >= kMaxAccounts)
        return;
    std::move(accounts.begin() + index + 1, accounts.end(), accounts.begin() + index);
    accounts.back() = TAccount{};
}

AccountButtons AccountButtonsFor(int selected, int count) {
    AccountButtons b;
    // The table has 20 slots; a twenty-first account has nowhere to go.
    b.Add = count < kMaxAccounts;
    if (selected < 0 || selected >= count)
        return b;
    b.Change = b.Delete = true;
    b.Up = selected > 0;
    b.Down = selected < count - 1;
    return b;
}

} // namespace pim
