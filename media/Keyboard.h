#pragma once
#include <cstdint>

#include "platform/input/KeyCodes.h"

// The whole keyboard at one moment, by key position; a key is down when bit 7 of its byte is set.
struct KeyboardSnapshot {
    uint8_t keys[256];

    bool IsDown(int keyCode) const { return (keys[keyCode] & 0x80) != 0; }
};

// Reads the keyboard; every key is up when it can't be read.
void ReadKeyboard(KeyboardSnapshot& snapshot);
// The key reads as up from now until it is let go.
void HoldBackKeyUntilReleased(int keyCode);
