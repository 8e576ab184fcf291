#include "app/WindowShape.h"

#include "support/EventLoop.h"

#include <gtest/gtest.h>

namespace pim {
namespace {

using namespace std::chrono_literals;

TEST(WindowShape, TheTwoPartsHaveTheirOutline) {
    const QRegion u = UpperPart(), l = LowerPart();
    EXPECT_FALSE(u.contains(QPoint(0, 0))) << "round corner";
    EXPECT_TRUE(u.contains(QPoint(10, 10)));
    EXPECT_TRUE(u.contains(QPoint(340, 30)));
    EXPECT_FALSE(u.contains(QPoint(200, 70)));
    EXPECT_TRUE(u.contains(QPoint(50, 85)));
    EXPECT_TRUE(u.contains(QPoint(125, 70))) << "the slanted joint";
    EXPECT_FALSE(u.contains(QPoint(50, 95)));
    EXPECT_TRUE(l.contains(QPoint(200, 150)));
    EXPECT_TRUE(l.contains(QPoint(200, 65)));
    EXPECT_TRUE(l.contains(QPoint(150, 80)));
    EXPECT_FALSE(l.contains(QPoint(50, 60)));
    EXPECT_FALSE(l.contains(QPoint(350, 300))) << "round corner";
    EXPECT_EQ((u + l).boundingRect(), QRect(0, 0, 351, 301));
}

TEST(WindowShape, EachModeGrowsOrShrinksItsBand) {
    using M = WindowShape;
    bool last = false;
    // Opening compact: a band from the middle of the upper part.
    QRegion r = M::RegionAt(M::OpenCompact, 1, &last);
    EXPECT_FALSE(last);
    EXPECT_TRUE(r.contains(QPoint(50, 45)));
    EXPECT_FALSE(r.contains(QPoint(50, 30)));
    EXPECT_EQ(M::RegionAt(M::OpenCompact, 11, &last), UpperPart());
    EXPECT_TRUE(last);
    // Opening full: from the middle of the whole window.
    r = M::RegionAt(M::OpenFull, 5);
    EXPECT_TRUE(r.contains(QPoint(200, 150)));
    EXPECT_FALSE(r.contains(QPoint(200, 250)));
    EXPECT_FALSE(r.contains(QPoint(30, 20)));
    // Unfolding: the upper part stays whole while the lower one grows.
    r = M::RegionAt(M::Unfold, 5);
    EXPECT_TRUE(r.contains(QPoint(30, 20)));
    EXPECT_TRUE(r.contains(QPoint(200, 130)));
    EXPECT_FALSE(r.contains(QPoint(200, 250)));
    EXPECT_EQ(M::RegionAt(M::Unfold, 11), UpperPart() + LowerPart());
    // Folding runs down to the upper part alone.
    EXPECT_TRUE(M::RegionAt(M::Fold, 10).contains(QPoint(200, 250)));
    EXPECT_EQ(M::RegionAt(M::Fold, 0, &last), UpperPart());
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
    r.shape.StartRegionAnimation(WindowShape::OpenCompact, false);
    r.shape.StartRegionAnimation(WindowShape::OpenFull, false);
    r.shape.StartRegionAnimation(WindowShape::Fold, false);
    EXPECT_FALSE(r.shape.Pending());
    ASSERT_EQ(r.regions.size(), 3u);
    EXPECT_EQ(r.regions[1], UpperPart() + LowerPart());
    EXPECT_EQ(r.regions[2], UpperPart());
    EXPECT_EQ(r.heights, (std::vector<int>{90, 300, 90}));
    EXPECT_EQ(r.enabled, 1);
}

TEST(WindowShape, AnOpeningTakesElevenStepsAndAFoldDuringAnUnfoldLeavesOneChain) {
    Recorder r;
    r.shape.StartRegionAnimation(WindowShape::OpenFull, true);
    EXPECT_EQ(r.heights, std::vector<int>{300});
    ASSERT_TRUE(test::RunUntil([&] { return !r.shape.Pending(); }, 2s));
    EXPECT_EQ(r.regions.size(), 11u);
    EXPECT_EQ(r.regions.back(), UpperPart() + LowerPart());

    r.regions.clear();
    r.shape.StartRegionAnimation(WindowShape::Unfold, true);
    test::RunFor(70ms);
    r.shape.StartRegionAnimation(WindowShape::Fold, true);
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
