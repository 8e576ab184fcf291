// Keeping push alive: how long a dropped account waits before it tries again.
#include "imap/Backoff.h"

#include <gtest/gtest.h>
#include <string>

namespace pim {
namespace {

using namespace std::chrono_literals;

// Events: F a failed try (the wait it gets), S a try that worked, W a wake-up.
TEST(Backoff, DoublesFromTwoSecondsToFiveMinutesAndStartsAgainAfterSuccessOrWake) {
    const std::pair<std::string, std::vector<std::chrono::seconds>> rows[] = {
        {"FFFFFFFFFF", {2s, 4s, 8s, 16s, 32s, 64s, 128s, 256s, 300s, 300s}},
        {"FFFSF", {2s, 4s, 8s, 2s}},
        {"FFFFWF", {2s, 4s, 8s, 16s, 2s}},
    };
    for (const auto& [events, waits] : rows) {
        Backoff backoff;
        std::vector<std::chrono::seconds> got;
        for (const char event : events) {
            if (event == 'F')
                got.push_back(std::chrono::duration_cast<std::chrono::seconds>(backoff.Failed()));
            else
                event == 'S' ? backoff.Succeeded() : backoff.Woke();
        }
        EXPECT_EQ(got, waits) << events;
    }
}

} // namespace
} // namespace pim
