#pragma once
#include <cstdint>

// Placeholder until the menu lands.
class MainMenu {
public:
    void LoadAssets() {}
    void RunFrame();
    void HandleClick(int32_t x, int32_t y);
};
