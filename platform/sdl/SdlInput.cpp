#include "platform/sdl/SdlInput.h"

#include <cstring>

#include "platform/input/KeyCodes.h"
#include "platform/input/ScancodeMap.h"

SdlInput::SdlInput(SdlWindowHost& host) : host(host), focusActivates(true) {}

void SdlInput::Handle(const SDL_Event& event) {
    switch (event.type) {
        case SDL_KEYDOWN:
            if (chord.KeyDown(KeyCodeFromScancode(event.key.keysym.scancode),
                              (event.key.keysym.mod & KMOD_ALT) != 0, event.key.repeat != 0)) {
                host.ToggleFullscreen();
                pointer.WindowChanged(event.key.timestamp);
            }
            return;
        case SDL_KEYUP:
            if (!chord.KeyUp(KeyCodeFromScancode(event.key.keysym.scancode))) return;
            break;
        case SDL_MOUSEMOTION: {
            int desktopX = 0;
            int desktopY = 0;
            DesktopPointer(event.motion.x, event.motion.y, desktopX, desktopY);
            pointer.Moved(event.motion.xrel, event.motion.yrel, desktopX, desktopY,
                          event.motion.timestamp);
            return;
        }
        case SDL_WINDOWEVENT:
            switch (event.window.event) {
                case SDL_WINDOWEVENT_FOCUS_LOST:
                    controllers.gamepad.SetFocused(false);
                    TakeControllerKeyUps();
                    break;
                case SDL_WINDOWEVENT_FOCUS_GAINED:
                    controllers.gamepad.SetFocused(true);
                    break;
                case SDL_WINDOWEVENT_MOVED:
                case SDL_WINDOWEVENT_RESIZED:  // alone under SDL 3 (sdl2-compat)
                case SDL_WINDOWEVENT_SIZE_CHANGED:
                    pointer.WindowChanged(event.window.timestamp);
                    break;
                default:
                    break;
            }
            break;
        default:
            if (controllers.Handle(event)) {
                TakeControllerKeyUps();
                return;
            }
            break;
    }
    PlatformEvent translated;
    if (Translate(event, translated)) pending.push_back(translated);
}

bool SdlInput::Translate(const SDL_Event& event, PlatformEvent& translated) {
    translated = PlatformEvent{};
    switch (event.type) {
        case SDL_QUIT:
            translated.type = PlatformEvent::WindowClosed;
            return true;
        case SDL_WINDOWEVENT:
            // Only focus makes the window active: a minimised or restored window that has no
            // focus stays as it was.
            switch (event.window.event) {
                case SDL_WINDOWEVENT_CLOSE:
                    translated.type = PlatformEvent::WindowClosed;
                    return true;
                case SDL_WINDOWEVENT_FOCUS_GAINED:
                    translated.type = PlatformEvent::Activated;
                    return focusActivates;
                case SDL_WINDOWEVENT_FOCUS_LOST:
                    translated.type = PlatformEvent::Deactivated;
                    return focusActivates;
                default:
                    return false;
            }
        case SDL_KEYUP:
            translated.type = PlatformEvent::KeyUp;
            translated.key = KeyCodeFromScancode(event.key.keysym.scancode);
            return true;
        case SDL_MOUSEBUTTONDOWN:
            // Wherever it is pressed, the button hands the menu back to the pointer.
            if (event.button.button != SDL_BUTTON_LEFT) return false;
            translated.type = PlatformEvent::MouseButtonDown;
            return true;
        case SDL_MOUSEBUTTONUP: {
            if (event.button.button != SDL_BUTTON_LEFT) return false;
            // A click on a bar or outside the window reaches nothing.
            int windowX = 0;
            int windowY = 0;
            PointerInWindow(event.button.x, event.button.y, windowX, windowY);
            if (!OnPicture(windowX, windowY, translated.x, translated.y)) return false;
            translated.type = PlatformEvent::MouseButtonUp;
            return true;
        }
        case SDL_RENDER_TARGETS_RESET:
        case SDL_RENDER_DEVICE_RESET:
            translated.type = PlatformEvent::DisplayReset;
            return true;
        default:
            return false;
    }
}

void SdlInput::TakeControllerKeyUps() {
    int keyCode = 0;
    while (controllers.gamepad.TakeKeyUp(keyCode)) {
        PlatformEvent event;
        event.type = PlatformEvent::KeyUp;
        event.key = keyCode;
        pending.push_back(event);
    }
}

bool SdlInput::ReadKeys(uint8_t keys[256]) {
    std::memset(keys, 0, 256);
    if (host.Window() == nullptr || SDL_GetKeyboardFocus() != host.Window()) return false;
    int count = 0;
    const Uint8* state = SDL_GetKeyboardState(&count);
    for (int scancode = 0; scancode < count; ++scancode) {
        if (state[scancode] == 0) continue;
        const int code = KeyCodeFromScancode(static_cast<SDL_Scancode>(scancode));
        if (code > 0 && code < 256) keys[code] = 0x80;
    }
    chord.Filter(keys);
    controllers.gamepad.AddKeys(keys);
    return true;
}

void SdlInput::DesktopPointer(int x, int y, int& desktopX, int& desktopY) const {
    // X11 tells where its pointer is, and SDL 3 may tell of a window's move under the pointer
    // after the window has moved on: the window's place now plus the motion's would be a move.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver != nullptr && std::strcmp(driver, "x11") == 0) {
        SDL_GetGlobalMouseState(&desktopX, &desktopY);
        return;
    }
    // Elsewhere (Wayland, the browser) the window's place is all there is.
    int windowLeft = 0;
    int windowTop = 0;
    if (host.Window() != nullptr) SDL_GetWindowPosition(host.Window(), &windowLeft, &windowTop);
    desktopX = windowLeft + x;
    desktopY = windowTop + y;
}

void SdlInput::PointerInWindow(int reportedX, int reportedY, int& x, int& y) const {
    int globalX = 0;
    int globalY = 0;
    int windowLeft = 0;
    int windowTop = 0;
    const bool inWindow = host.Window() != nullptr && SDL_GetMouseFocus() == host.Window();
    if (pointer.stale || !inWindow) {
        SDL_GetGlobalMouseState(&globalX, &globalY);
        if (host.Window() != nullptr) SDL_GetWindowPosition(host.Window(), &windowLeft, &windowTop);
    }
    pointer.Place(reportedX, reportedY, inWindow, globalX, globalY, windowLeft, windowTop, x, y);
}

bool SdlInput::OnPicture(int windowX, int windowY, int& x, int& y) const {
    return WindowToPicture(host.PictureInWindow(), host.PictureWidth(), host.PictureHeight(),
                           windowX, windowY, x, y);
}

void SdlInput::GetCursorPosition(int& x, int& y) {
    int reportedX = 0;
    int reportedY = 0;
    SDL_GetMouseState(&reportedX, &reportedY);
    int windowX = 0;
    int windowY = 0;
    PointerInWindow(reportedX, reportedY, windowX, windowY);
    if (!OnPicture(windowX, windowY, x, y)) {
        x = -1;
        y = -1;
    }
}

void SdlInput::SetCursorVisible(bool visible) {
    SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}
