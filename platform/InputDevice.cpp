#include "platform/InputDevice.h"

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

int32_t KeyboardDevice::GetDeviceState(size_t size, void* data) {
    uint8_t keys[256] = {};
    const bool read = acquired && activeBackend != nullptr && activeBackend->ReadKeys(keys);
    if (!read) std::memset(keys, 0, sizeof keys);
    std::memset(data, 0, size);
    std::memcpy(data, keys, size < sizeof keys ? size : sizeof keys);
    return read ? 0 : -1;
}
