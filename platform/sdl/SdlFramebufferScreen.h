#pragma once
#include <SDL.h>

#include <vector>

#include "platform/sdl/ChangedRows.h"
#include "platform/sdl/PictureScaler.h"
#include "platform/sdl/SoftwareScreen.h"

class Surface;

// Presents through the window's own framebuffer (on X11, an image in memory shared with the
// server), the picture scaled by the processor. Where OpenGL is only a software rasteriser this
// costs a small part of what a renderer does: no texture upload, no drawing threads.
class SdlFramebufferScreen : public SoftwareScreen {
public:
    SdlFramebufferScreen();

    // Takes the window's framebuffer; false when the window has none in our pixel layout.
    bool Start(SDL_Window* newWindow, int width, int height) override;
    // Scales what changed of the picture into the framebuffer, ready to be presented.
    void Prepare(const Surface& picture) override;
    // The window changed or was uncovered: the next present repaints all of it, bars included.
    void WindowChanged() override { wholeWindowDue = true; }
    // Shows the framebuffer's picture again (the window was exposed while no frames run).
    void Redraw() override;
    // Sends what Prepare changed (nothing, when the picture repeats the last one).
    void Present() override;

private:
    // The window's framebuffer now, or null when it has none in our layout.
    SDL_Surface* CurrentFramebuffer();
    bool IsLastFramebuffer(const SDL_Surface* surface) const;

    SDL_Window* window;
    PictureScaler scaler;
    int logicalWidth;
    int logicalHeight;
    // What the last Prepare drew into, and where the picture went.
    SDL_Surface* framebuffer;
    int framebufferWidth;
    int framebufferHeight;
    PictureArea area;
    bool wholeWindowDue;
    bool pictureShown;
    ChangedRows changes;
    // The parts of the window that the last Prepare changed.
    std::vector<SDL_Rect> changedRects;
};
