#pragma once
#include <cstddef>
#include <cstdint>

// The keyboard, read as a whole: 256 bytes by key position (KeyCodes.h), 0x80 for a key that is
// down.
class KeyboardDevice {
public:
    KeyboardDevice() : acquired(false), heldBack() {}
    int32_t Acquire();
    int32_t Unacquire();
    // Fills size bytes (at most 256 are meaningful); every key is up when the state can't be read.
    int32_t GetDeviceState(size_t size, void* data);
    // The key reads as up until it has been seen up once: a key that has just done its work on
    // one screen (the menu's Return that starts a game) must not act again on the next.
    void HoldBackUntilReleased(int keyCode);

    bool acquired;
    uint8_t heldBack[256];  // nonzero: the key is held back while it stays down
};

// Makes the input devices.
class InputSystem {
public:
    KeyboardDevice* CreateKeyboardDevice() { return new KeyboardDevice(); }
};
