#include "platform/display/DisplayDevice.h"

#include <utility>

#include "platform/Backend.h"
#include "platform/System.h"

DisplayDevice* currentDisplay = nullptr;

namespace {

constexpr int MaxSurfaceSide = 16384;

void ShowPrimaryNow(Surface& surface) {
    if (activeBackend != nullptr && !surface.lost) activeBackend->ShowImage(surface);
}

void LoseCurrentDisplaySurfaces() {
    if (currentDisplay != nullptr) currentDisplay->LoseSurfaces();
}

}  // namespace

DisplayDevice::DisplayDevice()
    : width(0), height(0), modeSet(false), primary(nullptr), backBuffer(nullptr) {
    currentDisplay = this;
    displayLostHandler = LoseCurrentDisplaySurfaces;
}

DisplayDevice::~DisplayDevice() {
    ReleaseChain();
    if (currentDisplay == this) {
        currentDisplay = nullptr;
        displayLostHandler = nullptr;
    }
}

bool DisplayDevice::SetDisplayMode(int newWidth, int newHeight, int bitsPerPixel) {
    if (bitsPerPixel != 32 || activeBackend == nullptr) return false;
    if (!activeBackend->TakeOverDisplay(newWidth, newHeight)) return false;
    width = newWidth;
    height = newHeight;
    modeSet = true;
    return true;
}

Surface* DisplayDevice::CreateSurface(int surfaceWidth, int surfaceHeight) {
    if (surfaceWidth <= 0 || surfaceHeight <= 0 || surfaceWidth > MaxSurfaceSide ||
        surfaceHeight > MaxSurfaceSide) {
        return nullptr;
    }
    return new Surface(surfaceWidth, surfaceHeight);
}

Surface* DisplayDevice::CreatePrimarySurface() {
    if (!modeSet) return nullptr;
    ReleaseChain();
    primary = new Surface(width, height);
    primary->drawnHook = ShowPrimaryNow;
    backBuffer = new Surface(width, height);
    return primary;
}

int32_t DisplayDevice::Flip() {
    if (primary == nullptr || backBuffer == nullptr) return BltFailed;
    if (primary->lost || backBuffer->lost) return BltSurfaceLost;
    activeBackend->PaceFrame();
    std::swap(primary->pixels, backBuffer->pixels);
    primary->PixelsChanged();
    backBuffer->PixelsChanged();
    activeBackend->ShowImage(*primary);
    activeBackend->FrameFlipped();
    return BltOk;
}

void DisplayDevice::LoseSurfaces() {
    if (primary != nullptr) primary->lost = true;
    if (backBuffer != nullptr) backBuffer->lost = true;
}

void DisplayDevice::ReleaseChain() {
    delete backBuffer;
    backBuffer = nullptr;
    delete primary;
    primary = nullptr;
}
