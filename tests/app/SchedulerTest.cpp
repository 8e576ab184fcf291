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

    void Ticks(int n) {
        for (int i = 0; i < n; ++i)
            scheduler.ScheduleTimerTimer();
    }
};

TEST_F(SchedulerTest, ChecksEveryIntervalAndStartsCountingAgain) {
    settings.ScheduleTime = true;
    settings.ScheduleTimeCount = 3;
    scheduler.Arm();
    EXPECT_TRUE(scheduler.TimerOn());
    Ticks(2);
    EXPECT_EQ(checks, 0);
    Ticks(1);
    EXPECT_EQ(checks, 1);
    Ticks(3);
    EXPECT_EQ(checks, 2);
    // Interval 1: every minute; a check that finds a run going is simply dropped
    // (the start does nothing then) and the next minute tries again.
    settings.ScheduleTimeCount = 1;
    scheduler.Rearm(true, 3);
    Ticks(2);
    EXPECT_EQ(checks, 4);
}

TEST_F(SchedulerTest, ACountOfZeroOrLessNeverFires) {
    settings.ScheduleTime = true;
    for (const int count : {0, -5}) {
        settings.ScheduleTimeCount = count;
        scheduler.Arm();
        Ticks(50);
    }
    EXPECT_EQ(checks, 0);
}

TEST_F(SchedulerTest, LookingAtTheMailFreezesTheCountdown) {
    settings.ScheduleTime = true;
    settings.ScheduleTimeCount = 2;
    scheduler.Arm();
    Ticks(1);
    paused = true;
    Ticks(10);
    EXPECT_EQ(checks, 0);
    EXPECT_EQ(scheduler.ScheduleCountdown, 1);
    paused = false; // minimised, hidden or folded: it runs on from where it stopped
    Ticks(1);
    EXPECT_EQ(checks, 1);
}

TEST_F(SchedulerTest, OnlyChangesOfTheIntervalSettingsRearm) {
    settings.ScheduleTime = true;
    settings.ScheduleTimeCount = 5;
    scheduler.Arm();
    Ticks(3);
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
    settings.ScheduleTime = false;
    Ticks(1);
    EXPECT_FALSE(scheduler.TimerOn());
}

TEST_F(SchedulerTest, ACheckAtAMomentOfItsOwnStartsTheIntervalAgain) {
    settings.ScheduleTime = true;
    settings.ScheduleTimeCount = 5;
    scheduler.Arm();
    Ticks(3);
    scheduler.CheckNow();
    EXPECT_EQ(checks, 1);
    Ticks(4);
    EXPECT_EQ(checks, 1);
    Ticks(1);
    EXPECT_EQ(checks, 2);
}

TEST_F(SchedulerTest, ANewDialupConnectionChecksOnlyWhenAskedTo) {
    scheduler.VeltaRASFirstConnect();
    settings.ScheduleDialup = true;
    scheduler.VeltaRASFirstConnect();
    EXPECT_EQ(checks, 1);
}

} // namespace
} // namespace pim
