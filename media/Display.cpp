#include "media/Display.h"

#include <cstring>
#include <memory>

#include "app/Devices.h"
#include "app/Shell.h"
#include "platform/display/BitmapFile.h"
#include "platform/display/TextRenderer.h"

void LoadBitmapSurface(const char* path, Surface*& slot) {
    std::unique_ptr<Surface> bitmap = ReadBitmapFile(path);
    if (!bitmap) return;
    ReleaseSurface(slot);
    if (displayDevice == nullptr) return;
    slot = displayDevice->CreateSurface(bitmap->width, bitmap->height);
    lastResult = slot != nullptr ? 0 : -1;
    if (slot == nullptr) return;
    slot->pixels.swap(bitmap->pixels);
    slot->PixelsChanged();
}

void ReleaseSurface(Surface*& slot) {
    delete slot;
    slot = nullptr;
}

void FillSurface(Surface*& slot, uint32_t color) {
    if (slot != nullptr) slot->ColorFill(color);
}

void ClearSurface(Surface*& slot) {
    FillSurface(slot, 0);
}

void PresentFrame() {
    if (displayDevice != nullptr) displayDevice->Flip();
}

void RestoreLostSurfaces() {
    if (backBuffer != nullptr && backBuffer->IsLost()) backBuffer->Restore();
    if (primarySurface != nullptr && primarySurface->IsLost()) primarySurface->Restore();
}

void DrawText(Surface* target, int x, int y, const char* text) {
    if (target != nullptr) TextOut(*target, x, y, text, static_cast<int>(std::strlen(text)));
}
