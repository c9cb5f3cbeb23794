#include "render_pictures_bmp.h"

#include <cstdio>
#include <cstdlib>

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

uint32_t Get16(const uint8_t* p) {
    return p[0] | (p[1] << 8);
}

uint32_t Get32(const uint8_t* p) {
    return Get16(p) | (Get16(p + 2) << 16);
}

int RowBytes(int width) {
    return (width * 3 + 3) & ~3;
}

}  // namespace

bool WritePackBmp(const std::string& path, const PackPicture& picture) {
    const int rowBytes = RowBytes(picture.width);
    const uint32_t imageBytes = static_cast<uint32_t>(rowBytes) * picture.height;
    std::vector<uint8_t> out;
    out.reserve(54 + imageBytes);
    out.push_back('B');
    out.push_back('M');
    Put32(out, 54 + imageBytes);  // file size
    Put32(out, 0);                // reserved
    Put32(out, 54);               // offset of the pixels
    Put32(out, 40);               // BITMAPINFOHEADER
    Put32(out, static_cast<uint32_t>(picture.width));
    Put32(out, static_cast<uint32_t>(picture.height));  // positive: bottom-up
    Put16(out, 1);                                      // planes
    Put16(out, 24);                                     // bits per pixel
    Put32(out, 0);                                      // BI_RGB
    Put32(out, imageBytes);
    Put32(out, 2835);  // 72 dpi
    Put32(out, 2835);
    Put32(out, 0);
    Put32(out, 0);
    for (int y = picture.height - 1; y >= 0; --y) {
        for (int x = 0; x < picture.width; ++x) {
            const uint32_t p = picture.Pixel(x, y);
            out.push_back(static_cast<uint8_t>(p & 0xFF));
            out.push_back(static_cast<uint8_t>((p >> 8) & 0xFF));
            out.push_back(static_cast<uint8_t>((p >> 16) & 0xFF));
        }
        for (int pad = picture.width * 3; pad < rowBytes; ++pad) out.push_back(0);
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(out.data(), 1, out.size(), file) == out.size();
    return std::fclose(file) == 0 && written;
}

bool ReadPackBmp(const std::string& path, PackPicture& picture) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    std::vector<uint8_t> data;
    uint8_t buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        data.insert(data.end(), buffer, buffer + got);
    std::fclose(file);
    if (data.size() < 54 || data[0] != 'B' || data[1] != 'M') return false;
    const uint32_t offset = Get32(&data[10]);
    const int width = static_cast<int32_t>(Get32(&data[18]));
    const int rawHeight = static_cast<int32_t>(Get32(&data[22]));
    if (Get16(&data[28]) != 24 || Get32(&data[30]) != 0 || width <= 0 || rawHeight == 0)
        return false;
    const int height = std::abs(rawHeight);
    const size_t rowBytes = RowBytes(width);
    if (offset + rowBytes * height > data.size()) return false;
    picture.width = width;
    picture.height = height;
    picture.pixels.assign(static_cast<size_t>(width) * height, 0);
    for (int row = 0; row < height; ++row) {
        const uint8_t* src = &data[offset + rowBytes * row];
        const int y = rawHeight > 0 ? height - 1 - row : row;
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = src + 3 * x;
            picture.pixels[static_cast<size_t>(y) * width + x] = p[0] | (p[1] << 8) | (p[2] << 16);
        }
    }
    return true;
}
