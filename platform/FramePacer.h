#pragma once
#include <cstdint>

// Holds each frame back until its moment: a picture goes out no sooner than 1/60 s after the one
// before. The game moves a fixed amount per frame, so it must see 60 frames a second everywhere.
class FramePacer {
public:
    FramePacer() : lastFrameCounter(0) {}
    // Waits for the moment of the next frame, then counts it as shown from now.
    void WaitForFrameTime();

    uint64_t lastFrameCounter;  // performance counter when the previous frame went out; 0: none
};
