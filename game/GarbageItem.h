#pragma once
#include <cstdint>

// The floor line: screen y of the top edge of a piece resting on the floor.
constexpr int16_t GarbageFloorY = 530;
// Pixels a dropped piece falls per frame.
constexpr int16_t GarbageFallStep = 15;
// Size of a piece on screen and in the garbage picture.
constexpr int16_t GarbageWidth = 100;
constexpr int16_t GarbageHeight = 50;

// One piece of garbage in a room, a node of GarbageList. It does not own `next`.
class GarbageItem {
public:
    // A y of 0 puts the piece on the floor.
    GarbageItem(int8_t type, int16_t x, int16_t y);
    ~GarbageItem();
    GarbageItem(const GarbageItem&) = delete;
    GarbageItem& operator=(const GarbageItem&) = delete;

    int8_t Type() const { return type; }
    int16_t X() const { return x; }
    int16_t Y() const { return y; }

    // One frame of falling towards the floor line.
    void Fall();
    // One stroke; returns the strokes still needed, 0 when the piece is cleared.
    int8_t TakeHit();

    int8_t type;      // 1..5: picture cell and starting hitsLeft
    int8_t hitsLeft;  // never below 0
    int16_t x;        // world x of the left edge
    int16_t y;        // screen y of the top edge
    GarbageItem* next;
};
