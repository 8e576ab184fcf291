// Where the main window goes when the tray host comes or goes after start-up: a
// Pim that lives in the tray must never be left without a way back to it.
#pragma once

namespace pim {

class TrayFollow {
public:
    enum class Window { Shown, Minimised, Hidden };

    // `livesInTray`: SettingTask and SettingTaskbar are both on. `now` is the
    // window as it is; the answer is where it goes.
    Window HostAppeared(bool livesInTray, Window now);
    Window HostVanished(bool livesInTray, Window now);
    // A start that should have hidden the window in the tray found none: the
    // window is out (minimised, or shown where the platform cannot minimise).
    void NoTrayAtStart() { outForWantOfTray_ = true; }
    // The user asked for the window: it is no longer out only for want of a tray.
    void Shown() { outForWantOfTray_ = false; }

private:
    bool outForWantOfTray_ = false;
};

} // namespace pim
