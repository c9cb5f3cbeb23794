#include "platform/TextRenderer.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <string>

#include "platform/Surface.h"

namespace {

// A bold sans face looks closest to the old system font; the first one found is used.
const char* const FontCandidates[] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf",
    "/usr/share/fonts/truetype/freefont/FreeSansBold.ttf",
};
constexpr int FontPointSize = 12;

TTF_Font* font = nullptr;
bool fontTried = false;

TTF_Font* SystemFont() {
    if (fontTried) return font;
    fontTried = true;
    if (TTF_WasInit() == 0 && TTF_Init() != 0) return nullptr;
    for (const char* path : FontCandidates) {
        font = TTF_OpenFont(path, FontPointSize);
        if (font != nullptr) break;
    }
    return font;
}

}  // namespace

void TextOut(Surface& surface, int x, int y, const char* text, int length) {
    TTF_Font* systemFont = SystemFont();
    if (systemFont == nullptr || text == nullptr || length <= 0 || surface.lost) return;
    const std::string line(text, static_cast<size_t>(length));
    const SDL_Color black{0, 0, 0, 255};
    const SDL_Color white{255, 255, 255, 255};
    SDL_Surface* rendered = TTF_RenderUTF8_Shaded(systemFont, line.c_str(), black, white);
    if (rendered == nullptr) return;
    SDL_Surface* pixels = SDL_ConvertSurfaceFormat(rendered, SDL_PIXELFORMAT_ARGB8888, 0);
    SDL_FreeSurface(rendered);
    if (pixels == nullptr) return;
    SDL_LockSurface(pixels);
    for (int row = 0; row < pixels->h; ++row) {
        const int ty = y + row;
        if (ty < 0 || ty >= surface.height) continue;
        const auto* source = reinterpret_cast<const uint32_t*>(
            static_cast<const uint8_t*>(pixels->pixels) + static_cast<size_t>(row) * pixels->pitch);
        for (int column = 0; column < pixels->w; ++column) {
            const int tx = x + column;
            if (tx >= 0 && tx < surface.width)
                surface.SetPixel(tx, ty, source[column] & 0x00FFFFFFu);
        }
    }
    SDL_UnlockSurface(pixels);
    SDL_FreeSurface(pixels);
    surface.Drawn();
}

void CloseTextRenderer() {
    if (font != nullptr) TTF_CloseFont(font);
    font = nullptr;
    fontTried = false;
    if (TTF_WasInit() != 0) TTF_Quit();
}
