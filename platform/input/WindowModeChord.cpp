#include "platform/input/WindowModeChord.h"

#include "platform/input/KeyCodes.h"

bool WindowModeChord::KeyDown(int keyCode, bool altHeld, bool repeat) {
    // A repeat, or a second press reported without a release between, switches nothing.
    if (keyCode != DIK_RETURN || !altHeld || repeat || returnSwallowed) return false;
    returnSwallowed = true;
    return true;
}

bool WindowModeChord::KeyUp(int keyCode) {
    if (keyCode != DIK_RETURN || !returnSwallowed) return true;
    returnSwallowed = false;
    return false;
}

void WindowModeChord::Filter(uint8_t keys[256]) const {
    const bool altHeld = ((keys[DIK_LMENU] | keys[DIK_RMENU]) & 0x80) != 0;
    if (returnSwallowed || altHeld) keys[DIK_RETURN] = 0;
}
