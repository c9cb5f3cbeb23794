#include "game/Random.h"

namespace {
uint32_t state = 1;
}

void SeedRandom(uint32_t seed) {
    state = seed;
}

// The example generator of the C standard: glibc's rand() ranges much wider, and the rooms depend
// on the range.
int32_t Rand() {
    state = state * 1103515245u + 12345u;
    return static_cast<int32_t>((state / 65536u) % 32768u);
}
