#pragma once
#include <SDL.h>

#include <vector>

#include "platform/input/Gamepad.h"

// SDL's game controllers, opened as they are plugged in and closed as they go, fed into the
// Gamepad that turns them into keys.
class SdlControllers {
public:
    SdlControllers() = default;
    ~SdlControllers();
    SdlControllers(const SdlControllers&) = delete;
    SdlControllers& operator=(const SdlControllers&) = delete;

    // Controllers are optional: without them the keyboard plays alone. Those already plugged in
    // are reported as added, like the ones plugged in later.
    void Start();
    void CloseAll();
    // Takes a controller event; false for any other event.
    bool Handle(const SDL_Event& event);

    Gamepad gamepad;
    std::vector<SDL_GameController*> opened;

private:
    void Open(int deviceIndex);
    void Close(SDL_JoystickID id);
};
