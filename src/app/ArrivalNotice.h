// What the desktop notification at the end of a run says: how much mail is new
// (or, when the run announces mail that was there before, how much waits) and
// the newest few of those messages, under their accounts' names where there are
// several accounts.
#pragma once

#include "app/check/AccountResult.h"
#include "platform/DesktopNotifications.h"

namespace pim {

// The messages a notification names; the rest is counted on a line of its own.
inline constexpr int kNoticeMessages = 5;

// `shown`: the run's results, compared with the previous run's (OldCount);
// `totalMail`: what the run found in all; `pushed`: the slot of the one account
// a push checked, -1 for a run of all. The "default" action shows the window;
// "mailer" starts the mail program and is offered only with one set.
DesktopNotifications::Content ArrivalNotice(const Results& shown, int totalMail, bool mailerSet,
                                            int pushed = -1);

} // namespace pim
