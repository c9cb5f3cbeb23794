#include "platform/input/InputDevice.h"

#include <cstring>

#include "platform/Backend.h"

int32_t KeyboardDevice::Acquire() {
    acquired = activeBackend != nullptr;
    return acquired ? 0 : -1;
}

int32_t KeyboardDevice::Unacquire() {
    acquired = false;
    return 0;
}

void KeyboardDevice::HoldBackUntilReleased(int keyCode) {
    if (keyCode >= 0 && keyCode < 256) heldBack[keyCode] = 1;
}

int32_t KeyboardDevice::GetDeviceState(size_t size, void* data) {
    uint8_t keys[256] = {};
    const bool read = acquired && activeBackend != nullptr && activeBackend->ReadKeys(keys);
    if (!read) std::memset(keys, 0, sizeof keys);
    for (int code = 0; code < 256; ++code) {
        if (heldBack[code] == 0) continue;
        if ((keys[code] & 0x80) != 0) {
            keys[code] = 0;
        } else {
            heldBack[code] = 0;
        }
    }
    std::memset(data, 0, size);
    std::memcpy(data, keys, size < sizeof keys ? size : sizeof keys);
    return read ? 0 : -1;
}
