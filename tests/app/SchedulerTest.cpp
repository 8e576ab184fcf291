#include "app/Scheduler.h"

#include <gtest/gtest.h>

namespace pim {
namespace {

class SchedulerTest : public ::testing::Test {
protected:
    TSettings settings;
    bool paused = false;
    int checks = 0;
    Scheduler scheduler{settings, [this] { return paused; }, [this] { ++checks; }};

    void Ticks(int n, int expectedChecks) {
        while (n-- > 0)
            scheduler.ScheduleTimerTimer();
        EXPECT_EQ(checks, expectedChecks);
    }
};

TEST_F(SchedulerTest, ChecksEveryIntervalExceptWhileTheMailIsLookedAtAndOnlyIntervalChangesRearm) {
    settings.ScheduleTime = true;
    settings.ScheduleTimeCount = 3;
    scheduler.Arm();
    Ticks(2, 0);
    Ticks(2, 1);
    paused = true;
    Ticks(10, 1);
    paused = false; // minimised, hidden or folded: it runs on from where it stopped
    Ticks(1, 1);
    // A check at a moment of its own starts the interval again.
    scheduler.CheckNow();
    Ticks(2, 2);
    Ticks(1, 3);
    // Interval 1: every minute; a run going drops the check, the next minute tries again.
    settings.ScheduleTimeCount = 1;
    scheduler.Rearm(true, 3);
    Ticks(2, 5);
    for (const int count : {0, -5}) {
        settings.ScheduleTimeCount = count;
        scheduler.Arm();
        Ticks(50, 5);
    }
    // A new dial-up connection checks only when asked to.
    scheduler.VeltaRASFirstConnect();
    settings.ScheduleDialup = true;
    scheduler.VeltaRASFirstConnect();
    EXPECT_EQ(checks, 6);

    // Only changes of the interval settings rearm.
    settings.ScheduleTimeCount = 5;
    scheduler.Arm();
    Ticks(3, 6);
    scheduler.Rearm(true, 5); // other options changed
    EXPECT_EQ(scheduler.ScheduleCountdown, 2);
    settings.ScheduleTimeCount = 10;
    scheduler.Rearm(true, 5);
    EXPECT_EQ(scheduler.ScheduleCountdown, 10);
    settings.ScheduleTime = false;
    scheduler.Rearm(true, 10);
    EXPECT_FALSE(scheduler.TimerOn());
    // Switched off while ticking: the timer stops itself.
    settings.ScheduleTime = true;
    scheduler.Rearm(false, 10);
    EXPECT_TRUE(scheduler.TimerOn());
    settings.ScheduleTime = false;
    Ticks(1, 6);
    EXPECT_FALSE(scheduler.TimerOn());
}

} // namespace
} // namespace pim
