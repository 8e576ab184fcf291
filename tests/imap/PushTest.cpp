// Keeping push alive: how long a dropped account waits before it tries again.
#include "imap/Backoff.h"

#include <gtest/gtest.h>
#include <sstream>
#include <string>

namespace pim {
namespace {

using namespace std::chrono_literals;

// Events at a time in seconds: F a failed try or a drop (the wait it gets), I
// the connection idles, W a wake-up.
TEST(Backoff, DoublesToFiveMinutesAndStartsAgainOnlyAfterAConnectionLastedOrAWake) {
    const std::pair<std::string, std::vector<std::chrono::seconds>> rows[] = {
        {"0F 0F 0F 0F 0F 0F 0F 0F 0F 0F", {2s, 4s, 8s, 16s, 32s, 64s, 128s, 256s, 300s, 300s}},
        // Every IDLE dropped at once: no login every 2 s for ever.
        {"0F 2I 3F 7I 8F 16I 17F", {2s, 4s, 8s, 16s}},
        // Renewed idles count from the first; five minutes make it a working one.
        {"0F 2I 4F 8I 100I 307F 308I 609F 700I 710F", {2s, 4s, 8s, 2s, 4s}},
        {"0F 0F 0F 0F 0W 0F", {2s, 4s, 8s, 16s, 2s}},
    };
    for (const auto& [events, waits] : rows) {
        Backoff backoff;
        std::vector<std::chrono::seconds> got;
        std::istringstream in(events);
        for (std::string event; in >> event;) {
            const std::chrono::milliseconds at = std::chrono::seconds(std::stoi(event));
            if (event.back() == 'F')
                got.push_back(std::chrono::duration_cast<std::chrono::seconds>(backoff.Failed(at)));
            else
                event.back() == 'I' ? backoff.Working(at) : backoff.Woke();
        }
        EXPECT_EQ(got, waits) << events;
    }
}

} // namespace
} // namespace pim
