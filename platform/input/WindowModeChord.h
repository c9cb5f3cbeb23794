#pragma once
#include <cstdint>

// Alt+Return switches between full screen and a window. Its Return must never reach the game,
// which takes a held Return for "set the room up again": the chord's Return is kept out of the
// snapshot until it is released, and its release sends no key-up. Key codes are those of
// KeyCodes.h.
class WindowModeChord {
public:
    WindowModeChord() : returnSwallowed(false) {}
    // A key went down; true when it completes the chord, that is when the window mode must switch.
    bool KeyDown(int keyCode, bool altHeld, bool repeat);
    // A key went up; false when its key-up must not be passed on.
    bool KeyUp(int keyCode);
    // Takes the chord's Return out of a keyboard snapshot (also any Return held together with Alt).
    void Filter(uint8_t keys[256]) const;

    bool returnSwallowed;
};
