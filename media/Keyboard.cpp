#include "media/Keyboard.h"

#include <cstring>

#include "app/Devices.h"
#include "app/Shell.h"

void ReadKeyboard(KeyboardSnapshot& snapshot) {
    if (keyboardDevice == nullptr) {
        std::memset(snapshot.keys, 0, sizeof snapshot.keys);
        return;
    }
    lastResult = keyboardDevice->GetDeviceState(sizeof snapshot.keys, snapshot.keys);
}

void HoldBackKeyUntilReleased(int keyCode) {
    if (keyboardDevice != nullptr) keyboardDevice->HoldBackUntilReleased(keyCode);
}
