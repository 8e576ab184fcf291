#include "app/check/Notification.h"

#include "app/check/StatusTexts.h"
#include "common/Cp932.h"
#include "common/UiText.h"

namespace pim {

namespace {
// Whether mail that was there the last time too still counts: it does when
// only counts are taken (nothing to compare) or the option does not ask to skip.
bool Notable(const TSettings& settings, const RunOutcome& run, bool skipUnchanged) {
    return run.TotalMail != 0 && (settings.SettingCountOnly || !skipUnchanged || run.Changed);
}
// A push check nobody asked for tells of new mail only; a watch's first list
// of nothing.
bool Silent(const RunOutcome& run) {
    return run.Quiet || (run.Push && !run.Changed);
}
} // namespace

bool AutoShowWanted(const TSettings& settings, const RunOutcome& run) {
    if (!run.AnyAccount || !settings.SettingAutoShow || Silent(run))
        return false;
    return !settings.SettingAutoShowCheck || Notable(settings, run, settings.SettingAutoShowChange);
}

bool SoundWanted(const TSettings& settings, const RunOutcome& run) {
    return !Silent(run) && Notable(settings, run, settings.SameCheck);
}

bool MailerWanted(const TSettings& settings, const RunOutcome& run) {
    return settings.MailerAutoRun && !Silent(run) &&
           Notable(settings, run, settings.MailerAutoRunSameCheck);
}

std::string IdleStatusText(const TSettings& settings, bool offline,
                           const std::string& mailCountLabel, bool paused, bool pushing) {
    const std::string& state = offline ? UiText("Notification", "オフライン作業中")
                               : settings.ScheduleTime && !paused ? texts::AutoCheckWaiting()
                               : pushing                          ? texts::Pushing()
                                                                  : texts::AutoCheckStopped();
    if (mailCountLabel == "---" || mailCountLabel == "0")
        return state;
    return cp932::FromUnicode(UiString("Notification", "<着信メール %1通> %2")
                                  .arg(cp932::ToUnicode(mailCountLabel), cp932::ToUnicode(state)));
}

} // namespace pim
