#pragma once
#include <cstddef>
#include <cstdint>

// The keyboard, read as a whole: 256 bytes by key position (KeyCodes.h), 0x80 for a key that is
// down.
class KeyboardDevice {
public:
    KeyboardDevice() : acquired(false) {}
    int32_t Acquire();
    int32_t Unacquire();
    // Fills size bytes (at most 256 are meaningful); every key is up when the state can't be read.
    int32_t GetDeviceState(size_t size, void* data);

    bool acquired;
};

// Makes the input devices.
class InputSystem {
public:
    KeyboardDevice* CreateKeyboardDevice() { return new KeyboardDevice(); }
};
