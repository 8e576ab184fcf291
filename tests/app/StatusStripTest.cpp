#include "app/StatusStrip.h"

#include <gtest/gtest.h>

namespace pim {
namespace {

TEST(StatusStrip, AShortTextStandsAndALongOneScrollsAfterHalfASecond) {
    StatusStrip strip;
    strip.SetText(QString(60, QChar(u'あ')));
    ASSERT_TRUE(strip.Scrolling());
    for (int tick = 0; tick < 5; ++tick)
        strip.tmStatusTimerTimer();
    EXPECT_EQ(strip.ScrollX, -StatusStrip::kWidth) << "the first 500 ms wait";
    strip.tmStatusTimerTimer();
    EXPECT_EQ(strip.ScrollX, -StatusStrip::kWidth - 4);
    // Past the whole text it starts again from the blank lead-in.
    for (int tick = 0; tick < 2000 && strip.ScrollX != 0; ++tick)
        strip.tmStatusTimerTimer();
    EXPECT_EQ(strip.ScrollX, 0);
    strip.SetText(QStringLiteral("自動チェック停止中"));
    EXPECT_FALSE(strip.Scrolling());
}

} // namespace
} // namespace pim
