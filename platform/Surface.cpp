#include "platform/Surface.h"

#include <algorithm>
#include <cstring>

int Surface::liveCount = 0;

Surface::Surface(int width, int height)
    : width(width),
      height(height),
      pixels(static_cast<size_t>(width) * static_cast<size_t>(height), 0),
      lost(false),
      drawnHook(nullptr) {
    ++liveCount;
}

bool RectInside(const Rect& r, int width, int height) {
    return r.left >= 0 && r.top >= 0 && r.left <= r.right && r.top <= r.bottom &&
           r.right <= width && r.bottom <= height;
}

void Surface::Drawn() {
    if (drawnHook != nullptr) drawnHook(*this);
}

namespace {

void CopyRow(uint32_t* dest, const uint32_t* src, int count) {
    std::memcpy(dest, src, static_cast<size_t>(count) * sizeof(uint32_t));
}

// Written so that the compiler turns it into a vector select.
void CopyRowKeyed(uint32_t* __restrict dest, const uint32_t* __restrict src, int count) {
    for (int i = 0; i < count; ++i) {
        const uint32_t s = src[i];
        dest[i] = (s == TransparentColor) ? dest[i] : s;
    }
}

void StretchRow(uint32_t* dest, int destWidth, const uint32_t* src, int srcWidth, bool keyed) {
    // 16.16 fixed point step through the source row (nearest pixel).
    const uint64_t step =
        (static_cast<uint64_t>(srcWidth) << 16) / static_cast<uint64_t>(destWidth);
    uint64_t position = step / 2;
    for (int i = 0; i < destWidth; ++i, position += step) {
        const uint32_t s = src[position >> 16];
        if (!keyed || s != TransparentColor) dest[i] = s;
    }
}

}  // namespace

int32_t Surface::Blt(const Rect* destRect, const Surface* src, const Rect* srcRect,
                     uint32_t flags) {
    if (src == nullptr) return BltFailed;
    if (lost || src->lost) return BltSurfaceLost;
    const Rect dest = destRect ? *destRect : Rect{0, 0, width, height};
    const Rect from = srcRect ? *srcRect : Rect{0, 0, src->width, src->height};
    if (!RectInside(dest, width, height) || !RectInside(from, src->width, src->height))
        return BltFailed;
    const int destWidth = dest.right - dest.left;
    const int destHeight = dest.bottom - dest.top;
    const int srcWidth = from.right - from.left;
    const int srcHeight = from.bottom - from.top;
    if (destWidth == 0 || destHeight == 0 || srcWidth == 0 || srcHeight == 0) return BltOk;
    const bool keyed = (flags & BltKeySrc) != 0;

    if (destWidth == srcWidth && destHeight == srcHeight && src != this) {
        for (int y = 0; y < destHeight; ++y) {
            uint32_t* d = Row(dest.top + y) + dest.left;
            const uint32_t* s = src->Row(from.top + y) + from.left;
            keyed ? CopyRowKeyed(d, s, destWidth) : CopyRow(d, s, destWidth);
        }
    } else {
        // Stretching (or a copy within one surface, which may overlap) goes through a copy of the
        // source rows so that no pixel is read after it was written.
        std::vector<uint32_t> row(static_cast<size_t>(srcWidth));
        const uint64_t step =
            (static_cast<uint64_t>(srcHeight) << 16) / static_cast<uint64_t>(destHeight);
        uint64_t position = step / 2;
        std::vector<uint32_t> copy;
        const Surface* source = src;
        if (src == this) {
            copy = pixels;
        }
        for (int y = 0; y < destHeight; ++y, position += step) {
            const int sy = from.top + static_cast<int>(position >> 16);
            const uint32_t* s =
                (source == this ? copy.data() + static_cast<size_t>(sy) * width : source->Row(sy)) +
                from.left;
            StretchRow(Row(dest.top + y) + dest.left, destWidth, s, srcWidth, keyed);
        }
    }
    Drawn();
    return BltOk;
}

int32_t Surface::BltFast(int x, int y, const Surface* src, const Rect* srcRect, uint32_t flags) {
    (void)flags;  // never busy: waiting or not draws alike, and this form has no key
    if (src == nullptr) return BltFailed;
    const Rect from = srcRect ? *srcRect : Rect{0, 0, src->width, src->height};
    const Rect dest{x, y, x + (from.right - from.left), y + (from.bottom - from.top)};
    return Blt(&dest, src, &from, 0);
}

int32_t Surface::ColorFill(uint32_t color) {
    if (lost) return BltSurfaceLost;
    std::fill(pixels.begin(), pixels.end(), color);
    Drawn();
    return BltOk;
}

int32_t Surface::Restore() {
    lost = false;
    return BltOk;
}
