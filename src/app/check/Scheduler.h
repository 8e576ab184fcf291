// The automatic checks: every ScheduleTimeCount minutes, paused while the user
// looks at the mailbox information, and whenever a dial-up connection comes up.
#pragma once

#include "settings/Settings.h"

#include <QObject>
#include <QTimer>
#include <functional>

namespace pim {

class Scheduler : public QObject {
    Q_OBJECT
public:
    // `paused`: the mailbox information is shown in a visible, normal window
    // (and ScheduleTimeInfo asks to pause then). `startCheck`: a check with a
    // sender other than the check button.
    Scheduler(const TSettings& settings, std::function<bool()> paused,
              std::function<void()> startCheck, QObject* parent = nullptr);

    int ScheduleCountdown = 0;
    int TickInterval = 60000; // tests shorten it

    // At the first show: the interval countdown starts when ScheduleTime is on.
    void Arm();
    // After the options dialog, with ScheduleTime and ScheduleTimeCount as they
    // were before it opened; unrelated changes leave the countdown alone.
    void Rearm(bool oldScheduleTime, int oldScheduleTimeCount);
    void ScheduleTimerTimer();
    // An automatic check at a moment of its own (the machine woke up, the
    // network came back): the next interval check counts from it.
    void CheckNow();
    void VeltaRASFirstConnect();
    bool TimerOn() const { return timer_.isActive(); }

private:
    const TSettings& settings_;
    std::function<bool()> paused_;
    std::function<void()> startCheck_;
    QTimer timer_;
};

} // namespace pim
