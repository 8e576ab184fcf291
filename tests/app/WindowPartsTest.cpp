// The window's parts: its shape, fitting fonts and screens.
#include "app/window/ScreenFit.h"
#include "app/window/WindowShape.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>

namespace pim {
namespace {

using namespace std::chrono_literals;

using M = WindowShape;

// An opening takes eleven steps, or one without animation; a fold during an
// unfold leaves one chain: the unfold cut short gives the button back at once,
// the fold at its end, and nothing of the unfold runs after that.
TEST(WindowShape, AnimationsTakeElevenStepsOrOneAndOnlyOneRunsAtATime) {
    WindowShape shape;
    std::vector<QRegion> regions;
    std::vector<QSize> sizes;
    int enabled = 0;
    shape.ApplyRegion = [&](const QRegion& r) { regions.push_back(r); };
    shape.SetSize = [&](QSize size) { sizes.push_back(size); };
    shape.EnableInformationButton = [&] { ++enabled; };
    for (const auto mode : {M::OpenCompact, M::OpenFull, M::Fold})
        shape.StartRegionAnimation(mode, false);
    EXPECT_FALSE(shape.Pending());
    EXPECT_EQ(regions, (std::vector<QRegion>{UpperPart(), UpperPart() + LowerPart(), UpperPart()}));
    EXPECT_EQ(sizes, (std::vector<QSize>{{350, 90}, {350, 300}, {350, 90}}));
    EXPECT_EQ(enabled, 1);

    regions.clear();
    shape.StartRegionAnimation(M::OpenFull, true);
    EXPECT_EQ(sizes.back(), QSize(350, 300));
    ASSERT_TRUE(test::RunUntil([&] { return !shape.Pending(); }, 2s));
    EXPECT_EQ(std::pair(regions.size(), regions.back()),
              std::pair(size_t(11), UpperPart() + LowerPart()));

    shape.StartRegionAnimation(M::Unfold, true);
    test::RunFor(70ms);
    shape.StartRegionAnimation(M::Fold, true);
    ASSERT_TRUE(test::RunUntil([&] { return !shape.Pending(); }, 2s));
    test::RunFor(60ms);
    EXPECT_EQ(std::tuple(enabled, regions.back(), sizes.back()),
              std::tuple(3, UpperPart(), QSize(350, 90)));

    // Made larger, the window with the lists keeps its size and its outline
    // follows; folded, it takes the compact size.
    shape.StartRegionAnimation(M::OpenFull, false);
    shape.SetFullSize({500, 200});
    EXPECT_EQ(shape.FullSize(), QSize(500, 300)) << "never below the design";
    shape.SetFullSize({500, 400});
    shape.StartRegionAnimation(M::Fold, false);
    shape.StartRegionAnimation(M::Unfold, false);
    const QRegion larger = UpperPart(500) + LowerPart(500, 400);
    EXPECT_EQ(std::vector(regions.end() - 3, regions.end()),
              (std::vector{larger, UpperPart(), larger}));
    EXPECT_EQ(std::vector(sizes.end() - 2, sizes.end()),
              (std::vector<QSize>{{350, 90}, {500, 400}}));
}

TEST(ScreenFit, AWindowOffEveryScreenIsMovedWholeIntoTheNearest) {
    const QRect laptop(0, 0, 1024, 768), right(1024, 0, 1920, 1080);
    const std::tuple<const char*, QPoint, QList<QRect>, QPoint> cases[] = {
        {"whole on a screen: kept", {600, 400}, {laptop}, {600, 400}},
        {"whole on two screens together: kept", {900, 100}, {laptop, right}, {900, 100}},
        {"saved at 1x, shown at 2x: up to the corner", {600, 400}, {{0, 0, 512, 384}}, {162, 84}},
        {"under a panel: beside it", {10, 10}, {{48, 0, 976, 768}}, {48, 10}},
        {"on a monitor no longer there: the nearest", {3200, 200}, {laptop, right}, {2594, 200}},
        {"mostly on the second screen: into that one", {1000, 900}, {laptop, right}, {1024, 780}},
        {"no screen known: kept", {-500, -500}, {}, {-500, -500}},
    };
    for (const auto& [what, saved, screens, shown] : cases)
        EXPECT_EQ(PlaceOnScreen({saved, QSize(350, 300)}, screens), shown) << what;
    // Larger than the screen: the caption's corner stays on it.
    EXPECT_EQ(PlaceOnScreen({400, 300, 350, 300}, {QRect(0, 0, 320, 240)}), QPoint(0, 0));
}

} // namespace
} // namespace pim
