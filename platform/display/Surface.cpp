#include "platform/display/Surface.h"

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
    opaqueSpans.Forget();
    if (drawnHook != nullptr) drawnHook(*this);
}

namespace {

void CopyRow(uint32_t* dest, const uint32_t* src, int count) {
    std::memcpy(dest, src, static_cast<size_t>(count) * sizeof(uint32_t));
}

// One pixel of a keyed copy as a mask select, with no branch on the key.
inline uint32_t KeyedPixel(uint32_t dest, uint32_t src) {
    const uint32_t keep = 0u - static_cast<uint32_t>(src == TransparentColor);
    return (dest & keep) | (src & ~keep);
}

// Fixed blocks of 16 pixels (one cache line): GCC at -O2 vectorises only loops with a known count,
// so this is what becomes vector compares and selects on GCC and Clang. A block that is wholly
// transparent, as most of a sprite's frame is, leaves the target untouched.
constexpr int KeyedBlock = 16;

// On x86-64 the loader picks an AVX2 build of the keyed copy (8 pixels an instruction) where the
// processor has it, and the baseline SSE2 one elsewhere. Not under ThreadSanitizer: the choice is
// made before the sanitizer is up, by code that it instruments.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__SANITIZE_THREAD__)
#define KEYED_COPY_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define KEYED_COPY_CLONES
#endif

KEYED_COPY_CLONES void CopyRowKeyed(uint32_t* __restrict dest, const uint32_t* __restrict src,
                                    int count) {
    int i = 0;
    for (; i + KeyedBlock <= count; i += KeyedBlock) {
        uint32_t differs = 0;
        for (int k = 0; k < KeyedBlock; ++k) differs |= src[i + k] ^ TransparentColor;
        if (differs == 0) continue;
        for (int k = 0; k < KeyedBlock; ++k) dest[i + k] = KeyedPixel(dest[i + k], src[i + k]);
    }
    for (; i < count; ++i) dest[i] = KeyedPixel(dest[i], src[i]);
}

// The opaque spans of a keyed copy's source, worked out now if not yet known; null when testing
// every pixel is the quicker way for this picture.
const OpaqueSpans* SpansToCopy(const Surface& src) {
    OpaqueSpans& spans = src.opaqueSpans;
    if (!spans.known) spans.Find(src.pixels.data(), src.width, src.height);
    return spans.worthUsing ? &spans : nullptr;
}

// Copies the parts of one source row's opaque spans that fall within columns [left, right), dest
// standing for column left.
void CopyRowSpans(uint32_t* dest, const uint32_t* srcRow, const OpaqueSpan* span,
                  const OpaqueSpan* end, int left, int right) {
    for (; span != end && span->right <= left; ++span) {
    }
    for (; span != end && span->left < right; ++span) {
        const int from = std::max(span->left, left);
        const int to = std::min(span->right, right);
        CopyRow(dest + (from - left), srcRow + from, to - from);
    }
}

void StretchRow(uint32_t* dest, int destWidth, const uint32_t* src, int srcWidth, bool keyed) {
    // 16.16 fixed point step through the source row (nearest pixel).
    const uint64_t step =
        (static_cast<uint64_t>(srcWidth) << 16) / static_cast<uint64_t>(destWidth);
    uint64_t position = step / 2;
    for (int i = 0; i < destWidth; ++i, position += step) {
        const uint32_t s = src[position >> 16];
        dest[i] = keyed ? KeyedPixel(dest[i], s) : s;
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

    const bool sameSize = destWidth == srcWidth && destHeight == srcHeight;
    const OpaqueSpans* spans = keyed && sameSize && src != this ? SpansToCopy(*src) : nullptr;
    if (spans != nullptr) {
        for (int y = 0; y < destHeight; ++y) {
            const int sy = from.top + y;
            const OpaqueSpan* first = spans->spans.data() + spans->rowStart[sy];
            const OpaqueSpan* end = spans->spans.data() + spans->rowStart[sy + 1];
            CopyRowSpans(Row(dest.top + y) + dest.left, src->Row(sy), first, end, from.left,
                         from.right);
        }
    } else if (sameSize && src != this) {
        for (int y = 0; y < destHeight; ++y) {
            uint32_t* d = Row(dest.top + y) + dest.left;
            const uint32_t* s = src->Row(from.top + y) + from.left;
            keyed ? CopyRowKeyed(d, s, destWidth) : CopyRow(d, s, destWidth);
        }
    } else {
        // Stretching, or a copy within one surface: that one may overlap, so it reads from a copy
        // of the pixels, and no pixel is read after it was written.
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
    if (color == 0) {
        // The black clear of every frame: the C library's fill is the fastest there is.
        std::memset(pixels.data(), 0, pixels.size() * sizeof(uint32_t));
    } else {
        // Fixed blocks again, so that GCC at -O2 stores whole vectors.
        uint32_t* p = pixels.data();
        const size_t count = pixels.size();
        size_t i = 0;
        for (; i + 8 <= count; i += 8) {
            for (size_t k = 0; k < 8; ++k) p[i + k] = color;
        }
        for (; i < count; ++i) p[i] = color;
    }
    Drawn();
    return BltOk;
}

int32_t Surface::Restore() {
    lost = false;
    opaqueSpans.Forget();
    return BltOk;
}
