#include "app/WindowShape.h"

#include "support/EventLoop.h"

#include <gtest/gtest.h>

namespace pim {
namespace {

using namespace std::chrono_literals;
using M = WindowShape;

// Opening compact grows from the middle of the upper part, opening full from
// the middle of the window; unfolding keeps the upper part whole.
TEST(WindowShape, ThePartsHaveTheirOutlineAndEachModeGrowsOrShrinksItsBand) {
    const QRegion u = UpperPart(), l = LowerPart();
    // Round corners at 0,0 and 350,300; the slanted joint at 125,70.
    const std::tuple<const char*, QRegion, QList<QPoint>, QList<QPoint>> parts[] = {
        {"upper", u, {{10, 10}, {340, 30}, {50, 85}, {125, 70}}, {{0, 0}, {200, 70}, {50, 95}}},
        {"lower", l, {{200, 65}, {150, 80}}, {{50, 60}, {350, 300}}},
        {"compact 1", M::RegionAt(M::OpenCompact, 1), {{50, 45}}, {{50, 30}}},
        {"full 5", M::RegionAt(M::OpenFull, 5), {{200, 150}}, {{200, 250}, {30, 20}}},
        {"unfold 5", M::RegionAt(M::Unfold, 5), {{30, 20}, {200, 130}}, {{200, 250}}},
        {"fold 10", M::RegionAt(M::Fold, 10), {{200, 250}}, {}}};
    for (const auto& [what, region, inside, outside] : parts) {
        for (const QPoint& p : inside)
            EXPECT_TRUE(region.contains(p)) << what << " " << p.x() << "," << p.y();
        for (const QPoint& p : outside)
            EXPECT_FALSE(region.contains(p)) << what << " " << p.x() << "," << p.y();
    }
    EXPECT_EQ((u + l).boundingRect(), QRect(0, 0, 351, 301));
    bool last = false;
    M::RegionAt(M::OpenCompact, 1, &last);
    EXPECT_FALSE(last);
    EXPECT_EQ(M::RegionAt(M::OpenCompact, 11, &last), u);
    EXPECT_TRUE(last);
    EXPECT_EQ(M::RegionAt(M::Unfold, 11), u + l);
    EXPECT_EQ(M::RegionAt(M::Fold, 0, &last), u);
    EXPECT_TRUE(last);
}

struct Recorder {
    WindowShape shape;
    std::vector<QRegion> regions;
    std::vector<int> heights;
    int enabled = 0;
    Recorder() {
        shape.ApplyRegion = [this](const QRegion& r) { regions.push_back(r); };
        shape.SetHeight = [this](int h) { heights.push_back(h); };
        shape.EnableInformationButton = [this] { ++enabled; };
    }
};

TEST(WindowShape, WithoutAnimationTheFinalShapeComesInOneStep) {
    Recorder r;
    for (const auto mode : {M::OpenCompact, M::OpenFull, M::Fold})
        r.shape.StartRegionAnimation(mode, false);
    EXPECT_FALSE(r.shape.Pending());
    EXPECT_EQ(r.regions,
              (std::vector<QRegion>{UpperPart(), UpperPart() + LowerPart(), UpperPart()}));
    EXPECT_EQ(r.heights, (std::vector<int>{90, 300, 90}));
    EXPECT_EQ(r.enabled, 1);
}

TEST(WindowShape, AnOpeningTakesElevenStepsAndAFoldDuringAnUnfoldLeavesOneChain) {
    Recorder r;
    r.shape.StartRegionAnimation(M::OpenFull, true);
    EXPECT_EQ(r.heights, std::vector<int>{300});
    ASSERT_TRUE(test::RunUntil([&] { return !r.shape.Pending(); }, 2s));
    EXPECT_EQ(r.regions.size(), 11u);
    EXPECT_EQ(r.regions.back(), UpperPart() + LowerPart());

    r.shape.StartRegionAnimation(M::Unfold, true);
    test::RunFor(70ms);
    r.shape.StartRegionAnimation(M::Fold, true);
    ASSERT_TRUE(test::RunUntil([&] { return !r.shape.Pending(); }, 2s));
    test::RunFor(60ms);
    // The unfold cut short gives the button back at once, the fold at its end;
    // nothing of the unfold runs after that.
    EXPECT_EQ(r.enabled, 2);
    EXPECT_EQ(r.regions.back(), UpperPart());
    EXPECT_EQ(r.heights.back(), 90);
}

} // namespace
} // namespace pim
