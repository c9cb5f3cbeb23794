#include "platform/display/BitmapFile.h"

#include <SDL.h>

#include <cstdlib>

#include "platform/Paths.h"
#include "platform/display/Surface.h"

namespace {

// Far larger than any picture of the game, small enough that a lying header can't exhaust memory.
constexpr long MaxFileBytes = 64L * 1024 * 1024;
constexpr int MaxSide = 16384;
constexpr long long MaxPixels = 4096LL * 4096LL;

uint32_t ReadLittle32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Checks the header before SDL sees the file, so that a damaged size can't make it allocate wildly.
bool HeaderIsSane(SDL_RWops* file) {
    const Sint64 size = SDL_RWsize(file);
    if (size < 26 || size > MaxFileBytes) return false;
    unsigned char header[26];
    if (SDL_RWread(file, header, 1, sizeof header) != sizeof header) return false;
    SDL_RWseek(file, 0, RW_SEEK_SET);
    if (header[0] != 'B' || header[1] != 'M') return false;
    const uint32_t infoSize = ReadLittle32(header + 14);
    long long width = 0;
    long long height = 0;
    if (infoSize == 12) {
        width = header[18] | (header[19] << 8);
        height = header[20] | (header[21] << 8);
    } else {
        width = static_cast<int32_t>(ReadLittle32(header + 18));
        height = static_cast<int32_t>(ReadLittle32(header + 22));
    }
    if (height < 0) height = -height;
    return width > 0 && height > 0 && width <= MaxSide && height <= MaxSide &&
           width * height <= MaxPixels;
}

}  // namespace

std::unique_ptr<Surface> ReadBitmapFile(const char* path) {
    SDL_RWops* file = SDL_RWFromFile(NativePath(path).c_str(), "rb");
    if (file == nullptr) return nullptr;
    if (!HeaderIsSane(file)) {
        SDL_RWclose(file);
        return nullptr;
    }
    SDL_Surface* loaded = SDL_LoadBMP_RW(file, 1);
    if (loaded == nullptr) return nullptr;
    SDL_Surface* converted = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ARGB8888, 0);
    SDL_FreeSurface(loaded);
    if (converted == nullptr) return nullptr;

    auto picture = std::make_unique<Surface>(converted->w, converted->h);
    SDL_LockSurface(converted);
    for (int y = 0; y < converted->h; ++y) {
        const auto* row =
            reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(converted->pixels) +
                                              static_cast<size_t>(y) * converted->pitch);
        uint32_t* out = picture->Row(y);
        for (int x = 0; x < converted->w; ++x) out[x] = row[x] & 0x00FFFFFFu;
    }
    SDL_UnlockSurface(converted);
    SDL_FreeSurface(converted);
    return picture;
}
