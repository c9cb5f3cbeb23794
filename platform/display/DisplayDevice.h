#pragma once
#include "platform/display/Surface.h"

// The display: picture surfaces in memory and a flip chain of a visible primary surface and one
// back buffer, shown through the active backend.
class DisplayDevice {
public:
    DisplayDevice();
    ~DisplayDevice();
    DisplayDevice(const DisplayDevice&) = delete;
    DisplayDevice& operator=(const DisplayDevice&) = delete;

    // Takes over the screen at width x height; false when no display can be had.
    bool SetDisplayMode(int width, int height, int bitsPerPixel);
    // A picture surface of the given size; null for an impossible size.
    Surface* CreateSurface(int width, int height);
    // The primary surface with its back buffer attached; both are released through ReleaseChain.
    Surface* CreatePrimarySurface();
    Surface* GetAttachedSurface() { return backBuffer; }
    // Shows the back buffer and swaps the two images, no sooner than one frame after the last flip.
    int32_t Flip();
    // Marks both display surfaces lost, as when another program took the screen.
    void LoseSurfaces();
    void ReleaseChain();

    int width;
    int height;
    bool modeSet;
    Surface* primary;
    Surface* backBuffer;
};

// The one display of the process, while it exists.
extern DisplayDevice* currentDisplay;
