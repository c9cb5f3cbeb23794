#pragma once
#include <cstdint>

// Placeholder until the play screen lands.
class GameScreen {
public:
    void StartGame() {}
    void SetLastTick(uint32_t ms) { lastTick = ms; }
    void RunFrame();
    void RearmStroke() { strokeArmed = 1; }
    uint32_t lastTick = 0;
    int32_t strokeArmed = 1;
};
