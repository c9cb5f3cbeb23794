#pragma once
#include <cstdint>

// A rectangle in pixels; right and bottom are exclusive.
struct Rect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};
