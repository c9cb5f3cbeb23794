#pragma once
#include <cstdint>

#include "platform/display/Surface.h"

// Loads a .bmp file (a name like "Graphics\MenuBG.bmp", relative to the working directory) into a
// new picture surface of its own size and puts it in the slot, releasing what the slot held. A
// missing or unreadable file leaves the slot as it was.
void LoadBitmapSurface(const char* path, Surface*& slot);
// Releases the slot's surface, if any, and empties the slot.
void ReleaseSurface(Surface*& slot);
void FillSurface(Surface*& slot, uint32_t color);
// Fills with black.
void ClearSurface(Surface*& slot);
// Shows the back buffer; afterwards the back buffer holds the picture that was on the screen.
void PresentFrame();
// Brings back the display surfaces after another program had the screen.
void RestoreLostSurfaces();
// Writes text at (x, y) in the system font, black on white.
void DrawText(Surface* target, int x, int y, const char* text);
