// Reading and writing the 24-bit uncompressed .bmp files of the picture pack.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A picture held as 0x00RRGGBB pixels, rows from the top.
struct PackPicture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;

    uint32_t Pixel(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Writes BITMAPFILEHEADER + BITMAPINFOHEADER, 24 bits, bottom-up rows padded to 4 bytes.
bool WritePackBmp(const std::string& path, const PackPicture& picture);

// Reads what WritePackBmp writes (24-bit, uncompressed, either row order).
bool ReadPackBmp(const std::string& path, PackPicture& picture);
