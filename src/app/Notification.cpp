#include "app/Notification.h"

#include "app/StatusTexts.h"
#include "common/Cp932.h"

namespace pim {

namespace {
// Whether mail that was there the last time too still counts: it does when
// only counts are taken (nothing to compare) or the option does not ask to skip.
bool Notable(const TSettings& settings, const RunOutcome& run, bool skipUnchanged) {
    return run.TotalMail != 0 && (settings.SettingCountOnly || !skipUnchanged || run.Changed);
}
} // namespace

bool AutoShowWanted(const TSettings& settings, const RunOutcome& run) {
    if (!run.AnyAccount || !settings.SettingAutoShow)
        return false;
    return !settings.SettingAutoShowCheck || Notable(settings, run, settings.SettingAutoShowChange);
}

bool SoundWanted(const TSettings& settings, const RunOutcome& run) {
    return Notable(settings, run, settings.SameCheck);
}

bool MailerWanted(const TSettings& settings, const RunOutcome& run) {
    return settings.MailerAutoRun && Notable(settings, run, settings.MailerAutoRunSameCheck);
}

std::string IdleStatusText(const TSettings& settings, bool offline,
                           const std::string& mailCountLabel, bool paused) {
    std::string text;
    if (mailCountLabel != "---" && mailCountLabel != "0")
        text = cp932::FromUtf8("<着信メール ") + mailCountLabel + cp932::FromUtf8("通> ");
    if (offline)
        return text + cp932::FromUtf8("オフライン作業中");
    if (settings.ScheduleTime && !paused)
        return text + texts::AutoCheckWaiting();
    return text + texts::AutoCheckStopped();
}

} // namespace pim
