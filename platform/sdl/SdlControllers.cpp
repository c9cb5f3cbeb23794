#include "platform/sdl/SdlControllers.h"

#include <cstdio>

namespace {

PadControl ControlOf(Uint8 button) {
    switch (button) {
        case SDL_CONTROLLER_BUTTON_DPAD_LEFT:
            return PadLeft;
        case SDL_CONTROLLER_BUTTON_DPAD_RIGHT:
            return PadRight;
        case SDL_CONTROLLER_BUTTON_DPAD_UP:
            return PadUp;
        case SDL_CONTROLLER_BUTTON_DPAD_DOWN:
            return PadDown;
        case SDL_CONTROLLER_BUTTON_A:
            return PadA;
        case SDL_CONTROLLER_BUTTON_B:
            return PadB;
        case SDL_CONTROLLER_BUTTON_START:
            return PadStart;
        case SDL_CONTROLLER_BUTTON_BACK:
            return PadBack;
        default:
            return PadControlCount;
    }
}

}  // namespace

SdlControllers::~SdlControllers() {
    CloseAll();
}

void SdlControllers::CloseAll() {
    for (SDL_GameController* controller : opened) SDL_GameControllerClose(controller);
    opened.clear();
}

void SdlControllers::Start() {
    if (SDL_WasInit(SDL_INIT_GAMECONTROLLER) == 0 &&
        SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
        std::fprintf(stderr, "The Flurber: no game controllers (%s)\n", SDL_GetError());
    }
}

bool SdlControllers::Handle(const SDL_Event& event) {
    switch (event.type) {
        case SDL_CONTROLLERDEVICEADDED:
            Open(event.cdevice.which);
            return true;
        case SDL_CONTROLLERDEVICEREMOVED:
            Close(event.cdevice.which);
            return true;
        case SDL_CONTROLLERBUTTONDOWN:
        case SDL_CONTROLLERBUTTONUP:
            gamepad.SetControl(event.cbutton.which, ControlOf(event.cbutton.button),
                               event.type == SDL_CONTROLLERBUTTONDOWN);
            return true;
        case SDL_CONTROLLERAXISMOTION:
            if (event.caxis.axis == SDL_CONTROLLER_AXIS_LEFTX) {
                gamepad.SetStickX(event.caxis.which, event.caxis.value);
            } else if (event.caxis.axis == SDL_CONTROLLER_AXIS_LEFTY) {
                gamepad.SetStickY(event.caxis.which, event.caxis.value);
            }
            return true;
        default:
            return false;
    }
}

void SdlControllers::Open(int deviceIndex) {
    if (SDL_IsGameController(deviceIndex) == SDL_FALSE) return;
    const SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(deviceIndex);
    // Controllers present at start-up can be reported twice.
    if (SDL_GameControllerFromInstanceID(id) != nullptr) return;
    SDL_GameController* controller = SDL_GameControllerOpen(deviceIndex);
    if (controller == nullptr) return;
    opened.push_back(controller);
    gamepad.Connect(SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller)));
}

void SdlControllers::Close(SDL_JoystickID id) {
    for (auto it = opened.begin(); it != opened.end(); ++it) {
        if (SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(*it)) == id) {
            SDL_GameControllerClose(*it);
            opened.erase(it);
            break;
        }
    }
    gamepad.Disconnect(id);
}
