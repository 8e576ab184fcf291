// Which messages of a run were there at the run before.
#pragma once

#include "app/check/AccountResult.h"

namespace pim {

// Marks in `now` (OldCount, OldAfter, OldBefore) the messages that `before`,
// the list shown after the run before, already held. With ids on both sides a
// message is new when its id was not there, wherever it stands; without, what
// follows the first difference is new.
void MarkOldMail(AccountResult& now, const AccountResult& before);

} // namespace pim
