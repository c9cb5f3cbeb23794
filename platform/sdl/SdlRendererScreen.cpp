#include "platform/sdl/SdlRendererScreen.h"

#include <SDL_opengl.h>

#include <cstdio>
#include <cstring>

#include "platform/display/Surface.h"
#include "platform/sdl/ScreenGeometry.h"

SdlRendererScreen::SdlRendererScreen()
    : window(nullptr),
      renderer(nullptr),
      texture(nullptr),
      prescaled(nullptr),
      prescaledFactor(0),
      prescaleAffordable(false),
      pictureShown(false),
      logicalWidth(0),
      logicalHeight(0) {}

bool SdlRendererScreen::Start(SDL_Window* newWindow, int width, int height, Uint32 flags) {
    window = newWindow;
    logicalWidth = width;
    logicalHeight = height;
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    renderer = SDL_CreateRenderer(window, -1, flags);
    if (renderer == nullptr) {
        std::fprintf(stderr, "The Flurber: cannot make a renderer: %s\n", SDL_GetError());
        return false;
    }
    prescaleAffordable = false;
    changes.Forget();
    if (!CreateScreenTexture()) {
        std::fprintf(stderr, "The Flurber: cannot make the screen texture: %s\n", SDL_GetError());
        Close();
        return false;
    }
    PresentBlack();
    return true;
}

void SdlRendererScreen::PresentBlack() {
    if (renderer == nullptr) return;
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    SDL_RenderPresent(renderer);
}

bool SdlRendererScreen::DrawsOnGraphicsProcessor() {
    SDL_RendererInfo info;
    if (SDL_GetRendererInfo(renderer, &info) != 0 || (info.flags & SDL_RENDERER_ACCELERATED) == 0)
        return false;
    if (std::strncmp(info.name, "opengl", 6) != 0) return true;
    using GetStringFunction = const GLubyte*(GLAPIENTRY*)(GLenum);
    auto getString = reinterpret_cast<GetStringFunction>(SDL_GL_GetProcAddress("glGetString"));
    const GLubyte* name = getString != nullptr ? getString(GL_RENDERER) : nullptr;
    if (name == nullptr) return true;
    const char* text = reinterpret_cast<const char*>(name);
    for (const char* software : {"llvmpipe", "softpipe", "swrast", "Software Rasterizer"}) {
        if (std::strstr(text, software) != nullptr) return false;
    }
    return true;
}

bool SdlRendererScreen::CreateScreenTexture() {
    texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                                logicalWidth, logicalHeight);
    return texture != nullptr;
}

bool SdlRendererScreen::RecreateTextures() {
    if (renderer == nullptr) return false;
    if (prescaled != nullptr) SDL_DestroyTexture(prescaled);
    prescaled = nullptr;
    prescaledFactor = 0;
    if (texture != nullptr) SDL_DestroyTexture(texture);
    texture = nullptr;
    if (!CreateScreenTexture()) {
        std::fprintf(stderr, "The Flurber: cannot make the screen texture again: %s\n",
                     SDL_GetError());
        pictureShown = false;
        return false;
    }
    // The picture it held went with it: it is uploaded again from our copy.
    if (pictureShown && changes.known) {
        SDL_UpdateTexture(texture, nullptr, changes.last.data(), changes.width * 4);
    }
    return true;
}

void SdlRendererScreen::Prepare(const Surface& picture) {
    if (renderer == nullptr || texture == nullptr) return;
    if (!pictureShown) changes.Forget();
    const std::vector<RowBand>& bands =
        changes.Compare(picture.pixels.data(), picture.width, picture.height);
    if (!bands.empty()) {
        // One upload from the first changed row to the last.
        const SDL_Rect rows{0, bands.front().first, picture.width,
                            bands.back().end - bands.front().first};
        SDL_UpdateTexture(texture, &rows,
                          picture.pixels.data() + static_cast<size_t>(rows.y) * picture.width,
                          picture.width * 4);
    }
    pictureShown = true;
    Draw();
}

void SdlRendererScreen::Redraw() {
    if (!pictureShown) return;
    Draw();
    Present();
}

void SdlRendererScreen::Draw() {
    if (renderer == nullptr || texture == nullptr) return;
    int outputWidth = 0;
    int outputHeight = 0;
    SDL_GetRendererOutputSize(renderer, &outputWidth, &outputHeight);
    const PictureArea area = FitPicture(outputWidth, outputHeight, logicalWidth, logicalHeight);
    ScalePlan plan = PlanScaling(outputWidth, outputHeight, logicalWidth, logicalHeight);
    if (plan.prescale > 1 && !prescaleAffordable) plan = {1, false};
    SDL_Texture* picture = texture;
    SDL_SetTextureScaleMode(
        texture, plan.smooth && plan.prescale == 1 ? SDL_ScaleModeLinear : SDL_ScaleModeNearest);
    if (plan.prescale > 1) {
        // Without a render target the picture goes up by nearest pixels: sharp, if less even.
        if (SDL_Texture* target = PrescaledPicture(plan.prescale)) {
            SDL_SetRenderTarget(renderer, target);
            SDL_RenderCopy(renderer, texture, nullptr, nullptr);
            SDL_SetRenderTarget(renderer, nullptr);
            picture = target;
        }
    }
    // The clear paints the bars; the picture goes into its own area of the window.
    const SDL_Rect destination{area.x, area.y, area.width, area.height};
    SDL_RenderClear(renderer);
    SDL_RenderCopy(renderer, picture, nullptr, &destination);
}

void SdlRendererScreen::Present() {
    if (renderer != nullptr) SDL_RenderPresent(renderer);
}

SDL_Texture* SdlRendererScreen::PrescaledPicture(int factor) {
    // A factor that failed once is not tried again on every frame.
    if (factor == prescaledFactor) return prescaled;
    if (prescaled != nullptr) SDL_DestroyTexture(prescaled);
    prescaled = nullptr;
    prescaledFactor = factor;
    if (SDL_RenderTargetSupported(renderer) == SDL_FALSE) return nullptr;
    prescaled = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_TARGET,
                                  logicalWidth * factor, logicalHeight * factor);
    if (prescaled != nullptr) SDL_SetTextureScaleMode(prescaled, SDL_ScaleModeLinear);
    return prescaled;
}

void SdlRendererScreen::Close() {
    if (prescaled != nullptr) SDL_DestroyTexture(prescaled);
    prescaled = nullptr;
    prescaledFactor = 0;
    pictureShown = false;
    changes.Forget();
    if (texture != nullptr) SDL_DestroyTexture(texture);
    texture = nullptr;
    if (renderer != nullptr) SDL_DestroyRenderer(renderer);
    renderer = nullptr;
}
