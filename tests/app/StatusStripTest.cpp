#include "app/StatusStrip.h"

#include "app/IconAnimation.h"

#include <gtest/gtest.h>

namespace pim {
namespace {

TEST(StatusStrip, AShortTextStandsAndALongOneScrollsAfterHalfASecond) {
    StatusStrip strip;
    strip.SetText(QStringLiteral("自動チェック停止中"));
    EXPECT_FALSE(strip.Scrolling());
    strip.SetText(QString(60, QChar(u'あ')));
    ASSERT_TRUE(strip.Scrolling());
    EXPECT_EQ(strip.ScrollX, -StatusStrip::kWidth);
    for (int tick = 0; tick < 5; ++tick)
        strip.tmStatusTimerTimer();
    EXPECT_EQ(strip.ScrollX, -StatusStrip::kWidth) << "the first 500 ms wait";
    strip.tmStatusTimerTimer();
    EXPECT_EQ(strip.ScrollX, -StatusStrip::kWidth - 4);
    // Past the whole text it starts again from the blank lead-in.
    while (strip.ScrollX != 0)
        strip.tmStatusTimerTimer();
    EXPECT_GT(strip.ScrollWidth, StatusStrip::kWidth);
    // A new text stops the marquee first.
    strip.SetText(QStringLiteral("短い"));
    EXPECT_FALSE(strip.Scrolling());
}

TEST(IconAnimation, BusyLoopsAndWaitingMailSwings) {
    IconAnimation busy{IconAnimation::Busy, 1};
    std::vector<int> frames;
    for (int i = 0; i < 9; ++i) {
        frames.push_back(busy.AnimFrame);
        busy.Advance();
    }
    EXPECT_EQ(frames, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 0, 1}));
    IconAnimation waiting{IconAnimation::Rising, 8};
    frames.clear();
    for (int i = 0; i < 11; ++i) {
        frames.push_back(waiting.AnimFrame);
        waiting.Advance();
    }
    EXPECT_EQ(frames, (std::vector<int>{8, 9, 10, 11, 12, 11, 10, 9, 8, 9, 10}));
}

} // namespace
} // namespace pim
