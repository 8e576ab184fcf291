// What the end of a run tells the user, decided from the run and the settings;
// the window only carries it out.
#pragma once

#include "app/check/CheckRun.h"
#include "settings/Settings.h"

#include <string>

namespace pim {

bool AutoShowWanted(const TSettings& settings, const RunOutcome& run);
bool SoundWanted(const TSettings& settings, const RunOutcome& run);
bool MailerWanted(const TSettings& settings, const RunOutcome& run);

// The idle status: the mail count (when the label shows one), then offline, or
// whether an automatic check can fall due, or else whether push tells of mail.
// `paused`: the interval check is paused because the mailbox information is
// being looked at. `pushing`: some account's connection idles for push.
std::string IdleStatusText(const TSettings& settings, bool offline,
                           const std::string& mailCountLabel, bool paused, bool pushing);

} // namespace pim
