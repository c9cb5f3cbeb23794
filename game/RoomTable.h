#pragma once
#include <cstdint>

// One room of the game: its pictures, music and pace.
struct RoomSetup {
    const char* backgroundPath;  // 1600 x 600
    const char* musicPath;
    int16_t tempo;         // beats per minute
    int8_t baseGarbage;    // starting pieces: this plus 0 to 2
    int8_t seconds;        // the countdown's start
    int8_t spawnInterval;  // seconds between chances of dropping garbage
    int8_t speedUpSecond;  // countdown value at which the music speeds up
};

constexpr int8_t RoomCount = 5;

// The rooms in the order they are played: bathroom, bedroom, living room, hall, kitchen.
extern const RoomSetup RoomTable[RoomCount];

// The row of room `level` (1 to 5); null for any other level.
const RoomSetup* FindRoom(int8_t level);
