#include "app/TrayFollow.h"

#include <gtest/gtest.h>
#include <vector>

namespace pim {
namespace {

using W = TrayFollow::Window;
constexpr W S = W::Shown, M = W::Minimised, H = W::Hidden;

// A tray host (A)ppears or (V)anishes with the window `now`, and the window goes
// to `then`; or the (U)ser shows it, or the platform leaves it shown at a hidden
// start for want of a tray (N).
struct Step {
    char event;
    W now = S, then = S;
};

TEST(TrayFollow, TheWindowFollowsTheTrayHostOnlyWhereItLivesThere) {
    const std::tuple<const char*, bool, std::vector<Step>> cases[] = {
        {"a hidden start without a tray goes in when one comes", true, {{'A', M, H}}},
        {"so does one that the platform could not minimise", true, {{'N'}, {'A', S, H}}},
        {"out when it goes, in when it returns", true, {{'V', H, S}, {'A', S, H}, {'V', H, S}}},
        {"asked for meanwhile, it stays out", true, {{'V', H, S}, {'U'}, {'A', S, S}}},
        {"out for want of a tray and then minimised, it goes in", true, {{'V', H, S}, {'A', M, H}}},
        {"out before, it stays out both ways", true, {{'V', S, S}, {'A', S, S}, {'V', M, M}}},
        {"with a taskbar button nothing moves", false, {{'A', M, M}, {'V', S, S}, {'A', S, S}}},
    };
    for (const auto& [name, livesInTray, steps] : cases) {
        TrayFollow follow;
        for (const Step& s : steps)
            if (s.event == 'U')
                follow.Shown();
            else if (s.event == 'N')
                follow.NoTrayAtStart();
            else
                EXPECT_EQ(s.event == 'A' ? follow.HostAppeared(livesInTray, s.now)
                                         : follow.HostVanished(livesInTray, s.now),
                          s.then)
                    << name << ", " << s.event;
    }
}

} // namespace
} // namespace pim
