// Any bytes at all as a .bmp file for LoadBitmapSurface, then whatever it made is drawn the ways
// the game draws. Besides the sanitizers' findings, a picture whose size doesn't match its pixels,
// or a pixel with its top byte set, is a crash.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/Devices.h"
#include "media/Display.h"
#include "platform/display/DisplayDevice.h"
#include "platform/display/Surface.h"

namespace {
std::string bitmapPath;

void RemoveBitmapFile() {
    std::remove(bitmapPath.c_str());
}

void Check(bool condition) {
    if (!condition) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Picture surfaces come from the display object; they need no window.
    displayDevice = new DisplayDevice();
    const char* folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    bitmapPath = std::string(folder) + "/flurber-bitmap-fuzz-" + std::to_string(getpid()) + ".bmp";
    std::atexit(RemoveBitmapFile);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* file = std::fopen(bitmapPath.c_str(), "wb");
    if (file == nullptr) return 0;
    if (size > 0) std::fwrite(data, 1, size, file);
    std::fclose(file);

    const int surfacesBefore = Surface::liveCount;
    Surface* slot = nullptr;
    LoadBitmapSurface(bitmapPath.c_str(), slot);
    if (slot == nullptr) {
        Check(Surface::liveCount == surfacesBefore);
        return 0;
    }
    Check(slot->width > 0 && slot->height > 0);
    Check(slot->pixels.size() == static_cast<size_t>(slot->width) * slot->height);
    for (uint32_t pixel : slot->pixels) Check((pixel & 0xFF000000u) == 0);

    // Drawn keyed and plain, at its own size and stretched, as the screens do.
    Surface target(64, 48);
    const Rect corner{0, 0, slot->width < 64 ? slot->width : 64,
                      slot->height < 48 ? slot->height : 48};
    constexpr uint32_t Backdrop = 0x00123456;
    target.ColorFill(Backdrop);
    target.Blt(&corner, slot, &corner, BltKeySrc);
    // The keyed copy keeps the backdrop exactly where the picture is transparent.
    for (int y = corner.top; y < corner.bottom; ++y) {
        for (int x = corner.left; x < corner.right; ++x) {
            const uint32_t pixel = slot->Pixel(x, y);
            Check(target.Pixel(x, y) == (pixel == TransparentColor ? Backdrop : pixel));
        }
    }
    target.Blt(nullptr, slot, nullptr, BltKeySrc);
    target.Blt(nullptr, slot, nullptr, 0);
    target.BltFast(0, 0, slot, &corner, BltFastNoColorKey);

    // A second load into the full slot replaces the picture: one surface held, not two.
    LoadBitmapSurface(bitmapPath.c_str(), slot);
    Check(slot != nullptr && Surface::liveCount == surfacesBefore + 2);  // slot and target
    ReleaseSurface(slot);
    return 0;
}
