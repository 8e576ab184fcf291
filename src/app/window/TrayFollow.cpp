#include "app/window/TrayFollow.h"

#include <utility>

namespace pim {

TrayFollow::Window TrayFollow::HostAppeared(bool livesInTray, Window now) {
    const bool outForWant = std::exchange(outForWantOfTray_, false);
    // As if the tray had been there from the start: a minimised window and one
    // that is out only for want of a tray go in.
    if (livesInTray && (now == Window::Minimised || (now == Window::Shown && outForWant)))
        return Window::Hidden;
    return now;
}

TrayFollow::Window TrayFollow::HostVanished(bool livesInTray, Window now) {
    if (!livesInTray || now != Window::Hidden)
        return now;
    outForWantOfTray_ = true;
    return Window::Shown;
}

} // namespace pim
