#pragma once
#include <SDL.h>

#include <cstdint>
#include <deque>

#include "platform/Backend.h"
#include "platform/input/PointerTracker.h"
#include "platform/input/WindowModeChord.h"
#include "platform/sdl/SdlControllers.h"
#include "platform/sdl/SdlWindowHost.h"

// What the player does: SDL's events turned into the program's, the keyboard snapshot, the mouse
// in picture coordinates and the game controllers.
class SdlInput {
public:
    explicit SdlInput(SdlWindowHost& host);

    // Takes one SDL event: the window-mode chord, the pointer, controllers, then what the program
    // is told, queued in pending.
    void Handle(const SDL_Event& event);
    bool ReadKeys(uint8_t keys[256]);
    // The picture pixel under the pointer; (-1, -1), outside every region of the screens, for a
    // pointer on a bar or outside the window.
    void GetCursorPosition(int& x, int& y);
    void SetCursorVisible(bool visible);

    SdlWindowHost& host;
    // The window's focus makes the program active; a host that knows more (the browser's page,
    // which may also be hidden) tells the program itself.
    bool focusActivates;
    WindowModeChord chord;
    PointerTracker pointer;
    SdlControllers controllers;
    // Events taken from SDL and not yet handed on.
    std::deque<PlatformEvent> pending;

private:
    // Where the pointer is on the desktop, for a motion to (x, y) of the window.
    void DesktopPointer(int x, int y, int& desktopX, int& desktopY) const;
    // The pointer's place in window coordinates; reportedX/Y is where SDL last saw it.
    void PointerInWindow(int reportedX, int reportedY, int& x, int& y) const;
    bool OnPicture(int windowX, int windowY, int& x, int& y) const;
    bool Translate(const SDL_Event& event, PlatformEvent& translated);
    void TakeControllerKeyUps();
};
