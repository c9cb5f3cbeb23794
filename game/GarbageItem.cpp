#include "game/GarbageItem.h"

namespace {

int8_t StartingHits(int8_t type) {
    switch (type) {
        case 1:
        case 2:
            return 5;
        case 3:
        case 4:
            return 3;
        case 5:
            return 6;
        default:
            // No caller makes other types; one stroke keeps such a piece clearable.
            return 1;
    }
}

}  // namespace

GarbageItem::GarbageItem(int8_t type, int16_t x, int16_t y)
    : type(type),
      hitsLeft(StartingHits(type)),
      x(x),
      y(y == 0 ? GarbageFloorY : y),
      next(nullptr) {}

GarbageItem::~GarbageItem() {
    next = nullptr;
}

void GarbageItem::Fall() {
    if (y < GarbageFloorY) {
        y = static_cast<int16_t>(y + GarbageFallStep);
    }
    if (y > GarbageFloorY) {
        y = GarbageFloorY;
    }
}

int8_t GarbageItem::TakeHit() {
    if (hitsLeft > 0) {
        hitsLeft = static_cast<int8_t>(hitsLeft - 1);
    }
    return hitsLeft;
}
