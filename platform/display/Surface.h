#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/display/OpaqueSpans.h"
#include "platform/display/Rect.h"

// Flags of Surface::Blt.
constexpr uint32_t BltColorFill = 0x00000400;
constexpr uint32_t BltKeySrc = 0x00008000;
constexpr uint32_t BltWait = 0x01000000;

// Flags of Surface::BltFast.
constexpr uint32_t BltFastNoColorKey = 0x0;
constexpr uint32_t BltFastWait = 0x10;

// Pixels whose value is exactly this are left out by the keyed blits.
constexpr uint32_t TransparentColor = 0x00FF00;

constexpr int32_t BltOk = 0;
constexpr int32_t BltFailed = -1;
constexpr int32_t BltSurfaceLost = -2;

class Surface;
using SurfaceDrawnHook = void (*)(Surface& surface);

// A 32-bit software surface: pixels are 0x00RRGGBB, row after row with no padding. It draws in the
// forms of a DirectDraw surface without a clipper: a rectangle that reaches outside its surface
// makes the whole blit fail. Our surfaces are never busy, so the waiting forms draw like the
// others.
class Surface {
public:
    Surface(int width, int height);
    ~Surface() { --liveCount; }
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    // Copies src (the whole of it when srcRect is null) into destRect (the whole surface when
    // null), stretched when the sizes differ; BltKeySrc leaves out the transparent colour.
    int32_t Blt(const Rect* destRect, const Surface* src, const Rect* srcRect, uint32_t flags);
    // Copies srcRect of src with its top-left corner at (x, y); never stretches, never keyed.
    int32_t BltFast(int x, int y, const Surface* src, const Rect* srcRect, uint32_t flags);
    // Fills the whole surface with one raw pixel value.
    int32_t ColorFill(uint32_t color);

    bool IsLost() const { return lost; }
    // Brings the memory back, not the content.
    int32_t Restore();

    uint32_t Pixel(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    void SetPixel(int x, int y, uint32_t value) {
        opaqueSpans.Forget();
        pixels[static_cast<size_t>(y) * width + x] = value;
    }
    // A row to write: whatever was worked out from the pixels is forgotten.
    uint32_t* Row(int y) {
        opaqueSpans.Forget();
        return pixels.data() + static_cast<size_t>(y) * width;
    }
    const uint32_t* Row(int y) const { return pixels.data() + static_cast<size_t>(y) * width; }
    // Must follow any write to `pixels` made other than through SetPixel, Row or the blits.
    void PixelsChanged() { opaqueSpans.Forget(); }
    // Called after drawing: the pixels changed, and the owner of a visible surface is told.
    void Drawn();

    int width;
    int height;
    std::vector<uint32_t> pixels;
    bool lost;
    // Set on the visible surface of the display: whatever is drawn on it is shown at once.
    SurfaceDrawnHook drawnHook;

    // Worked out at the first keyed copy from this surface; a cache, hence mutable.
    mutable OpaqueSpans opaqueSpans;

    // How many surfaces exist, to prove that reloading a picture does not pile them up.
    static int liveCount;
};

// True when r is not inverted and lies wholly inside a surface of the given size.
bool RectInside(const Rect& r, int width, int height);
