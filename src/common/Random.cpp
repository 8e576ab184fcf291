#include "common/Random.h"

#include <chrono>
#include <random>

namespace pim {

namespace {
std::mt19937& Generator() {
    static std::mt19937 generator(5489u);
    return generator;
}
} // namespace

void SeedRandom() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    SeedRandom(
        static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
}

void SeedRandom(uint32_t seed) {
    Generator().seed(seed);
}

int Random(int range) {
    if (range <= 0)
        return 0;
    std::uniform_int_distribution<int> distribution(0, range - 1);
    return distribution(Generator());
}

} // namespace pim
