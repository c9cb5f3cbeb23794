#pragma once
#include <memory>

class Surface;

// Reads a .bmp file (1, 4, 8, 24 or 32 bits per pixel, bottom-up or top-down) at its own size into
// 0x00RRGGBB pixels; null when the file is missing, not a bitmap or absurdly large.
std::unique_ptr<Surface> ReadBitmapFile(const char* path);
