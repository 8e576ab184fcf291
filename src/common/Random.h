// The process's pseudo-random generator: seeded once from the clock at start,
// shared by the password encoding and the LAN texts.
#pragma once

#include <cstdint>

namespace pim {

void SeedRandom();
void SeedRandom(uint32_t seed);

// A number from 0 to range - 1; 0 when range is not positive.
int Random(int range);

} // namespace pim
