// When a resume or the network's return starts a check: events in at given
// times, the wait each asks for and whether the check starts when it is over.
#include "dialup/WakeCheck.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace pim {
namespace {

using Duration = WakeCheck::Duration;

enum Event { Sleep, Resume, Connectivity, State, RunEnded, Due };

struct Step {
    int at; // milliseconds
    Event event;
    uint32_t value = 0;
    // Events: the wait asked for in milliseconds, -1 for none. Due: 1 when a check starts.
    int expected = -1;
};

struct Scenario {
    const char* name;
    std::vector<Step> steps;
    WakeCheck::Conditions when{true, false, false}; // automatic, running, offline
};

const Scenario kScenarios[] = {
    {"a resume checks once after five seconds",
     {{0, Resume, 0, 5000}, {5000, Due, 0, 1}, {5001, Due, 0, 0}}},
    {"going to sleep asks for nothing and drops a wait",
     {{0, Connectivity, 1}, {10, Connectivity, 4, 2000}, {20, Sleep}, {2010, Due, 0, 0}}},
    {"none, portal or limited becoming full checks after two seconds",
     {{0, Connectivity, 3},
      {1, Connectivity, 4, 2000},
      {2001, Due, 0, 1},
      {3000, Connectivity, 2},
      {3001, Connectivity, 4, 2000},
      {5001, Due, 0, 1},
      {6000, Connectivity, 1},
      {6001, Connectivity, 4, 2000},
      {8001, Due, 0, 1}}},
    {"full again, or full after unknown, is no return",
     {{0, Connectivity, 4}, {1, Connectivity, 0}, {2, Connectivity, 4}, {3, Due, 0, 0}}},
    {"the state: connected globally after disconnected, asleep, local or site",
     {{0, State, 20},
      {1, State, 40},
      {2, State, 70, 2000},
      {2002, Due, 0, 1},
      {3000, State, 60},
      {3001, State, 70, 2000},
      {4000, State, 50},
      {4001, State, 70, 2000},
      {5000, State, 10},
      {5001, State, 70, 2000},
      {5002, State, 70},
      {7001, Due, 0, 1}}},
    {"the network's return during a resume's wait shares it",
     {{0, Connectivity, 1},
      {0, Resume, 0, 5000},
      {1000, Connectivity, 4, 4000},
      {1001, State, 70},
      {5000, Due, 0, 1},
      {5001, Due, 0, 0}}},
    {"a resume during the network's wait makes it longer",
     {{0, State, 20}, {0, State, 70, 2000}, {1000, Resume, 0, 5000}, {6000, Due, 0, 1}}},
    {"a resume with the network still down waits for its return",
     {{0, Connectivity, 1},
      {0, Resume, 0, 5000},
      {5000, Due, 0, 0},
      {8000, Connectivity, 4, 2000},
      {10000, Due, 0, 1}}},
    {"a run that ended less than a minute ago",
     {{0, RunEnded},
      {10000, Resume, 0, 5000},
      {15000, Due, 0, 0},
      {54999, Resume, 0, 5000},
      {59999, Due, 0, 0},
      {60000, Resume, 0, 5000},
      {65000, Due, 0, 1}}},
    {"offline", {{0, Resume, 0, 5000}, {5000, Due, 0, 0}}, {true, false, true}},
    {"a run under way", {{0, Resume, 0, 5000}, {5000, Due, 0, 0}}, {true, true, false}},
    {"the automatic check off", {{0, Resume, 0, 5000}, {5000, Due, 0, 0}}, {false, false, false}},
};

TEST(WakeCheck, EventsWaitsAndChecks) {
    for (const Scenario& scenario : kScenarios) {
        Duration now{0};
        WakeCheck check([&now] { return now; });
        for (size_t i = 0; i < scenario.steps.size(); ++i) {
            const Step& step = scenario.steps[i];
            SCOPED_TRACE(std::string(scenario.name) + ", step " + std::to_string(i + 1));
            now = Duration(step.at);
            std::optional<Duration> wait;
            switch (step.event) {
            case Sleep:
                wait = check.PrepareForSleep(true);
                break;
            case Resume:
                wait = check.PrepareForSleep(false);
                break;
            case Connectivity:
                wait = check.Connectivity(step.value);
                break;
            case State:
                wait = check.NetworkState(step.value);
                break;
            case RunEnded:
                check.RunEnded();
                break;
            case Due:
                EXPECT_EQ(check.Due(scenario.when), step.expected == 1);
                EXPECT_FALSE(check.Pending());
                continue;
            }
            EXPECT_EQ(wait ? int(wait->count()) : -1, step.expected);
        }
    }
}

} // namespace
} // namespace pim
