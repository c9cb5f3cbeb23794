#pragma once
#include <SDL.h>

class Surface;

// A way of presenting in which the processor scales the picture into the window's own pixels and
// only the rows that changed are sent: the window's framebuffer, or on Wayland buffers shared with
// the compositor.
class SoftwareScreen {
public:
    virtual ~SoftwareScreen() = default;

    // Takes over the window; false when it can't be presented to this way.
    virtual bool Start(SDL_Window* window, int width, int height) = 0;
    // Scales what changed of the picture into the window's pixels, ready to be presented.
    virtual void Prepare(const Surface& picture) = 0;
    // The window changed or was uncovered: the next present repaints all of it, bars included.
    virtual void WindowChanged() = 0;
    // Shows the last picture again (the window was exposed while no frames run).
    virtual void Redraw() = 0;
    // Sends what Prepare changed (nothing, when the picture repeats the last one).
    virtual void Present() = 0;
};
