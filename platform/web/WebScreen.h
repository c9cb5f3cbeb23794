#pragma once
#include <cstdint>
#include <vector>

#include "platform/sdl/ChangedRows.h"

class Surface;

// Puts the game's picture on the page's canvas at its own size; the page scales the canvas. Only
// the rows that changed since the last picture are converted to the canvas's RGBA bytes and sent:
// on the menu most frames repeat the one before. (SDL's own framebuffer would send the whole
// window every time, in another pixel order than ours.)
class WebScreen {
public:
    WebScreen();

    void Start(int width, int height);
    // Converts what changed of the picture, ready to be presented.
    void Prepare(const Surface& picture);
    // Sends what Prepare converted.
    void Present();

    int width;
    int height;
    ChangedRows changes;
    std::vector<RowBand> pending;  // converted and not yet sent
    std::vector<uint32_t> rgba;    // the canvas's bytes: R, G, B, A
};
