#pragma once
#include <cstdint>

// The game's pseudo-random numbers, 0 to 32767, the same sequence for a seed on every platform.
constexpr int32_t RandMax = 32767;

void SeedRandom(uint32_t seed);
int32_t Rand();
