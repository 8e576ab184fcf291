#include "app/TrayFollow.h"

#include <utility>

namespace pim {

TrayFollow::Window TrayFollow::HostAppeared(bool livesInTray, Window now) {
    const bool cameBack = std::exchange(cameBack_, false);
    // As if the tray had been there from the start: a minimised window (a hidden
    // start without a tray) and one that came out only for want of it go back in.
    if (livesInTray && (now == Window::Minimised || (now == Window::Shown && cameBack)))
        return Window::Hidden;
    return now;
}

TrayFollow::Window TrayFollow::HostVanished(bool livesInTray, Window now) {
    if (!livesInTray || now != Window::Hidden)
        return now;
    cameBack_ = true;
    return Window::Shown;
}

} // namespace pim
