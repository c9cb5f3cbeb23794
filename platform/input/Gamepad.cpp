#include "platform/input/Gamepad.h"

#include <algorithm>

#include "platform/input/KeyCodes.h"

int Gamepad::KeyOf(PadControl control) {
    switch (control) {
        case PadLeft:
            return DIK_LEFT;
        case PadRight:
            return DIK_RIGHT;
        case PadA:
            return DIK_S;
        case PadStart:
            return PadStartKey;
        case PadBack:
            return DIK_RETURN;
        case PadUp:
            return DIK_UP;
        case PadDown:
            return DIK_DOWN;
        case PadB:
            return PadBKey;
        case PadControlCount:
            break;
    }
    return 0;
}

Gamepad::Gamepad() : focused(true) {}

Gamepad::Controller* Gamepad::Find(int32_t id) {
    for (Controller& controller : controllers) {
        if (controller.id == id) return &controller;
    }
    return nullptr;
}

unsigned Gamepad::HeldKeys() const {
    unsigned held = 0;
    for (const Controller& controller : controllers) {
        for (int control = 0; control < PadControlCount; ++control) {
            if (controller.controls[control]) held |= 1u << control;
        }
        // The stick walks as the D-pad does.
        if (StickPushedLeft(controller.stickX)) held |= 1u << PadLeft;
        if (StickPushedRight(controller.stickX)) held |= 1u << PadRight;
        if (StickPushedUp(controller.stickY)) held |= 1u << PadUp;
        if (StickPushedDown(controller.stickY)) held |= 1u << PadDown;
    }
    return held;
}

void Gamepad::ReleaseDropped(unsigned heldBefore) {
    const unsigned dropped = heldBefore & ~HeldKeys();
    for (int control = 0; control < PadControlCount; ++control) {
        if ((dropped & (1u << control)) != 0) keyUps.push_back(KeyOf(PadControl(control)));
    }
}

void Gamepad::Connect(int32_t id) {
    const unsigned before = HeldKeys();
    Controller* controller = Find(id);
    if (controller == nullptr) {
        controllers.push_back(Controller{});
        controller = &controllers.back();
    }
    *controller = Controller{};
    controller->id = id;
    ReleaseDropped(before);
}

void Gamepad::Disconnect(int32_t id) {
    const unsigned before = HeldKeys();
    controllers.erase(std::remove_if(controllers.begin(), controllers.end(),
                                     [id](const Controller& c) { return c.id == id; }),
                      controllers.end());
    ReleaseDropped(before);
}

void Gamepad::SetControl(int32_t id, PadControl control, bool down) {
    Controller* controller = Find(id);
    if (controller == nullptr || control < 0 || control >= PadControlCount) return;
    if (down && !focused) return;
    const unsigned before = HeldKeys();
    controller->controls[control] = down;
    ReleaseDropped(before);
}

void Gamepad::SetStickX(int32_t id, int32_t value) {
    SetStick(id, &Controller::stickX, value);
}

void Gamepad::SetStickY(int32_t id, int32_t value) {
    SetStick(id, &Controller::stickY, value);
}

void Gamepad::SetStick(int32_t id, int32_t Controller::*axis, int32_t value) {
    Controller* controller = Find(id);
    if (controller == nullptr || !focused) return;
    const unsigned before = HeldKeys();
    controller->*axis = value;
    ReleaseDropped(before);
}

void Gamepad::SetFocused(bool nowFocused) {
    if (nowFocused == focused) return;
    focused = nowFocused;
    if (focused) return;
    const unsigned before = HeldKeys();
    for (Controller& controller : controllers) {
        const int32_t id = controller.id;
        controller = Controller{};
        controller.id = id;
    }
    ReleaseDropped(before);
}

void Gamepad::AddKeys(uint8_t keys[256]) const {
    const unsigned held = HeldKeys();
    for (int control = 0; control < PadControlCount; ++control) {
        if ((held & (1u << control)) != 0) keys[KeyOf(PadControl(control))] = 0x80;
    }
}

bool Gamepad::TakeKeyUp(int& keyCode) {
    if (keyUps.empty()) return false;
    keyCode = keyUps.front();
    keyUps.pop_front();
    return true;
}
