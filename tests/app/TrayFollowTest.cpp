#include "app/TrayFollow.h"

#include <gtest/gtest.h>
#include <vector>

namespace pim {
namespace {

using Window = TrayFollow::Window;

struct Step {
    enum Event { Appears, Vanishes, UserShows, NoTrayAtStart } event;
    Window now;
    Window expected; // where the window goes, when a host comes or goes
};

struct Case {
    const char* name;
    bool livesInTray;
    std::vector<Step> steps;
};

TEST(TrayFollow, TheWindowFollowsTheTrayHostOnlyWhereItLivesThere) {
    const Case cases[] = {
        {"a hidden start without a tray goes in when one comes",
         true,
         {{Step::Appears, Window::Minimised, Window::Hidden}}},
        {"so does one that the platform could not minimise",
         true,
         {{Step::NoTrayAtStart, Window::Shown, Window::Shown},
          {Step::Appears, Window::Shown, Window::Hidden}}},
        {"hidden in the tray, it comes out when the tray goes and back when it returns",
         true,
         {{Step::Vanishes, Window::Hidden, Window::Shown},
          {Step::Appears, Window::Shown, Window::Hidden},
          {Step::Vanishes, Window::Hidden, Window::Shown},
          {Step::Appears, Window::Shown, Window::Hidden}}},
        {"a window the user asked for meanwhile stays out",
         true,
         {{Step::Vanishes, Window::Hidden, Window::Shown},
          {Step::UserShows, Window::Shown, Window::Shown},
          {Step::Appears, Window::Shown, Window::Shown}}},
        {"out for want of a tray and then minimised, it goes in",
         true,
         {{Step::Vanishes, Window::Hidden, Window::Shown},
          {Step::Appears, Window::Minimised, Window::Hidden}}},
        {"a window that was out before stays out both ways",
         true,
         {{Step::Vanishes, Window::Shown, Window::Shown},
          {Step::Appears, Window::Shown, Window::Shown},
          {Step::Vanishes, Window::Minimised, Window::Minimised}}},
        {"with a taskbar button nothing moves",
         false,
         {{Step::Appears, Window::Minimised, Window::Minimised},
          {Step::Vanishes, Window::Shown, Window::Shown},
          {Step::Appears, Window::Shown, Window::Shown}}},
    };
    for (const Case& c : cases) {
        TrayFollow follow;
        for (size_t i = 0; i < c.steps.size(); ++i) {
            const Step& step = c.steps[i];
            if (step.event == Step::UserShows) {
                follow.Shown();
                continue;
            }
            if (step.event == Step::NoTrayAtStart) {
                follow.NoTrayAtStart();
                continue;
            }
            const Window place = step.event == Step::Appears
                                     ? follow.HostAppeared(c.livesInTray, step.now)
                                     : follow.HostVanished(c.livesInTray, step.now);
            EXPECT_EQ(place, step.expected) << c.name << ", step " << i;
        }
    }
}

} // namespace
} // namespace pim
