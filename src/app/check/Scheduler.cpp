#include "app/check/Scheduler.h"

namespace pim {

Scheduler::Scheduler(const TSettings& settings, std::function<bool()> paused,
                     std::function<void()> startCheck, QObject* parent)
    : QObject(parent), settings_(settings), paused_(std::move(paused)),
      startCheck_(std::move(startCheck)) {
    connect(&timer_, &QTimer::timeout, this, &Scheduler::ScheduleTimerTimer);
}

void Scheduler::Arm() {
    if (!settings_.ScheduleTime)
        return;
    ScheduleCountdown = settings_.ScheduleTimeCount;
    timer_.start(TickInterval);
}

void Scheduler::Rearm(bool oldScheduleTime, int oldScheduleTimeCount) {
    if (settings_.ScheduleTime == oldScheduleTime &&
        settings_.ScheduleTimeCount == oldScheduleTimeCount)
        return;
    if (!settings_.ScheduleTime) {
        timer_.stop();
        return;
    }
    ScheduleCountdown = settings_.ScheduleTimeCount;
    // A running timer keeps its rhythm.
    if (!timer_.isActive())
        timer_.start(TickInterval);
}

void Scheduler::ScheduleTimerTimer() {
    if (!settings_.ScheduleTime) {
        timer_.stop();
        return;
    }
    if (paused_())
        return;
    if (--ScheduleCountdown == 0)
        CheckNow();
}

void Scheduler::CheckNow() {
    startCheck_();
    ScheduleCountdown = settings_.ScheduleTimeCount;
}

void Scheduler::VeltaRASFirstConnect() {
    if (settings_.ScheduleDialup)
        startCheck_();
}

} // namespace pim
