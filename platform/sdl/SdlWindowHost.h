#pragma once
#include <SDL.h>

#include "platform/sdl/ScreenGeometry.h"

// What the input needs of the window that shows the picture: the SDL window, where the picture
// lies in it, and the switch between full screen and a window that Alt+Return asks for. The
// desktop's window and the browser's canvas each provide it.
class SdlWindowHost {
public:
    virtual ~SdlWindowHost() = default;
    virtual SDL_Window* Window() const = 0;
    // In window coordinates, those of the mouse.
    virtual PictureArea PictureInWindow() const = 0;
    virtual int PictureWidth() const = 0;
    virtual int PictureHeight() const = 0;
    virtual void ToggleFullscreen() = 0;
};
