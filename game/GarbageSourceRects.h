#pragma once
#include "platform/display/Rect.h"

// Cells of "Graphics\Garbage.bmp", indexed by type - 1: a 3 x 2 grid of 100 x 50 cells,
// types 1-3 across the top row, types 4-5 from the left of the second row; the sixth is unused.
inline constexpr Rect GarbageSourceRects[5] = {
    {0, 0, 100, 50}, {100, 0, 200, 50}, {200, 0, 300, 50}, {0, 50, 100, 100}, {100, 50, 200, 100},
};
