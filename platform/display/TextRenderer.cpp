#include "platform/display/TextRenderer.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/display/Surface.h"

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

// The last text rendered, as pixels: the countdown changes once a second but is drawn every frame.
struct RenderedText {
    std::string text;
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};
RenderedText lastText;

bool Render(const std::string& line, RenderedText& out) {
    TTF_Font* systemFont = SystemFont();
    if (systemFont == nullptr) return false;
    const SDL_Color black{0, 0, 0, 255};
    const SDL_Color white{255, 255, 255, 255};
    SDL_Surface* rendered = TTF_RenderUTF8_Shaded(systemFont, line.c_str(), black, white);
    if (rendered == nullptr) return false;
    SDL_Surface* converted = SDL_ConvertSurfaceFormat(rendered, SDL_PIXELFORMAT_ARGB8888, 0);
    SDL_FreeSurface(rendered);
    if (converted == nullptr) return false;
    out.text = line;
    out.width = converted->w;
    out.height = converted->h;
    out.pixels.resize(static_cast<size_t>(out.width) * out.height);
    SDL_LockSurface(converted);
    for (int row = 0; row < out.height; ++row) {
        const auto* source =
            reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(converted->pixels) +
                                              static_cast<size_t>(row) * converted->pitch);
        for (int column = 0; column < out.width; ++column)
            out.pixels[static_cast<size_t>(row) * out.width + column] =
                source[column] & 0x00FFFFFFu;
    }
    SDL_UnlockSurface(converted);
    SDL_FreeSurface(converted);
    return true;
}

}  // namespace

void TextOut(Surface& surface, int x, int y, const char* text, int length) {
    if (text == nullptr || length <= 0 || surface.lost) return;
    const std::string line(text, static_cast<size_t>(length));
    if (line != lastText.text || lastText.pixels.empty()) {
        lastText = RenderedText{};
        if (!Render(line, lastText)) return;
    }
    for (int row = 0; row < lastText.height; ++row) {
        const int ty = y + row;
        if (ty < 0 || ty >= surface.height) continue;
        const uint32_t* source = lastText.pixels.data() + static_cast<size_t>(row) * lastText.width;
        // Cut at the surface's sides, as a device context does.
        const int first = x < 0 ? -x : 0;
        const int last = x + lastText.width > surface.width ? surface.width - x : lastText.width;
        if (first < last) std::copy(source + first, source + last, surface.Row(ty) + x + first);
    }
    surface.Drawn();
}

void CloseTextRenderer() {
    lastText = RenderedText{};
    if (font != nullptr) TTF_CloseFont(font);
    font = nullptr;
    fontTried = false;
    if (TTF_WasInit() != 0) TTF_Quit();
}
