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
    // The user asked for the window: it is no longer out only for want of a tray.
    void Shown() { cameBack_ = false; }

private:
    bool cameBack_ = false; // shown because the tray it was hidden in went away
};

} // namespace pim
