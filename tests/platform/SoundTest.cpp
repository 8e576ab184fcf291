#include "platform/Sound.h"

#include <gtest/gtest.h>

namespace pim {
namespace {

// The player is a module found at run time: a wrong place or a missing export
// would only show as a silent Pim.
TEST(Sound, TheWavePlayerModuleIsFoundAndLoads) {
    EXPECT_TRUE(WavePlayerFound());
    // A file that is not there plays nothing and does not fail.
    PlayArrivalSound(2, QStringLiteral("/nonexistent/arrival.wav"));
}

} // namespace
} // namespace pim
