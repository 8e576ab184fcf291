// When a resume or the network's return starts a check: events in at given
// times, the wait each asks for and whether the check starts when it is over.
#include "dialup/WakeCheck.h"

#include <gtest/gtest.h>
#include <sstream>
#include <string>

namespace pim {
namespace {

struct Scenario {
    const char* name;
    // Steps "<ms> <event> [value] [-> <wait asked in ms> | -> check]" apart by
    // commas; "due" asks whether the check starts, "-> check" when it does.
    const char* steps;
    WakeCheck::Conditions when{true, false, false}; // automatic, running, offline
};

const Scenario kScenarios[] = {
    {"a resume checks once after five seconds", "0 resume -> 5000, 5000 due -> check, 5001 due"},
    {"going to sleep asks for nothing and drops a wait",
     "0 connectivity 1, 10 connectivity 4 -> 2000, 20 sleep, 2010 due"},
    {"none, portal or limited becoming full checks after two seconds",
     "0 connectivity 3, 1 connectivity 4 -> 2000, 2001 due -> check, 3000 connectivity 2,"
     "3001 connectivity 4 -> 2000, 5001 due -> check, 6000 connectivity 1,"
     "6001 connectivity 4 -> 2000, 8001 due -> check"},
    {"full again, or full after unknown, is no return",
     "0 connectivity 4, 1 connectivity 0, 2 connectivity 4, 3 due"},
    {"the state: connected globally after disconnected, asleep, local or site",
     "0 state 20, 1 state 40, 2 state 70 -> 2000, 2002 due -> check, 3000 state 60,"
     "3001 state 70 -> 2000, 4000 state 50, 4001 state 70 -> 2000, 5000 state 10,"
     "5001 state 70 -> 2000, 5002 state 70, 7001 due -> check"},
    {"the network's return during a resume's wait shares it",
     "0 connectivity 1, 0 resume -> 5000, 1000 connectivity 4 -> 4000, 1001 state 70,"
     "5000 due -> check, 5001 due"},
    {"a resume during the network's wait makes it longer",
     "0 state 20, 0 state 70 -> 2000, 1000 resume -> 5000, 6000 due -> check"},
    {"a resume with the network still down waits for its return",
     "0 connectivity 1, 0 resume -> 5000, 5000 due, 8000 connectivity 4 -> 2000,"
     "10000 due -> check"},
    {"a run that ended less than a minute ago",
     "0 ended, 10000 resume -> 5000, 15000 due, 54999 resume -> 5000, 59999 due,"
     "60000 resume -> 5000, 65000 due -> check"},
    {"offline", "0 resume -> 5000, 5000 due", {true, false, true}},
    {"a run under way", "0 resume -> 5000, 5000 due", {true, true, false}},
    {"the automatic check off", "0 resume -> 5000, 5000 due", {false, false, false}},
};

TEST(WakeCheck, EventsWaitsAndChecks) {
    for (const Scenario& scenario : kScenarios) {
        WakeCheck::Duration now{0};
        WakeCheck check([&now] { return now; });
        std::istringstream steps(scenario.steps);
        for (std::string step; std::getline(steps, step, ',');) {
            SCOPED_TRACE(std::string(scenario.name) + ": " + step);
            std::istringstream in(step);
            int at = 0;
            uint32_t value = 0;
            std::string event, arrow, expected = "-";
            in >> at >> event;
            if (event == "connectivity" || event == "state")
                in >> value;
            in >> arrow >> expected;
            now = WakeCheck::Duration(at);
            if (event == "due") {
                EXPECT_EQ(check.Due(scenario.when), expected == "check");
                EXPECT_FALSE(check.Pending());
            } else if (event == "ended") {
                check.RunEnded();
            } else {
                const auto wait = event == "connectivity" ? check.Connectivity(value)
                                  : event == "state"      ? check.NetworkState(value)
                                                          : check.PrepareForSleep(event == "sleep");
                EXPECT_EQ(wait ? std::to_string(wait->count()) : "-", expected);
            }
        }
    }
}

} // namespace
} // namespace pim
