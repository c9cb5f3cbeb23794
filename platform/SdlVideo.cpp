#include "platform/SdlVideo.h"

#include <SDL_opengl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/BitmapFile.h"
#include "platform/Surface.h"

namespace {

const char* const IconPath = "Graphics\\FlurberIcon.bmp";

SDL_Surface* LoadIcon() {
    std::unique_ptr<Surface> picture = ReadBitmapFile(IconPath);
    if (!picture) return nullptr;
    SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormat(0, picture->width, picture->height, 32,
                                                       SDL_PIXELFORMAT_ARGB8888);
    if (icon == nullptr) return nullptr;
    for (int y = 0; y < picture->height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(icon->pixels) +
                                                static_cast<size_t>(y) * icon->pitch);
        for (int x = 0; x < picture->width; ++x) {
            const uint32_t p = picture->Pixel(x, y);
            row[x] = p == TransparentColor ? 0 : (0xFF000000u | p);
        }
    }
    return icon;
}

// Whether the renderer draws on a graphics processor. SDL counts Mesa's software rasterisers
// (llvmpipe, softpipe) as accelerated OpenGL; there the doubling-up pass halved the frame rate.
bool DrawsOnGraphicsProcessor(SDL_Renderer* renderer) {
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

}  // namespace

SdlVideo::SdlVideo()
    : window(nullptr),
      renderer(nullptr),
      texture(nullptr),
      prescaled(nullptr),
      prescaledFactor(0),
      prescaleAffordable(false),
      pictureShown(false),
      fullscreen(false),
      startWindowed(false),
      windowedSizeChosen(false),
      logicalWidth(800),
      logicalHeight(600),
      vsyncAt60(false),
      framePending(false) {}

SdlVideo::~SdlVideo() {
    CloseMainWindow();
}

void SdlVideo::GetDesktopSize(int& width, int& height) {
    width = 800;
    height = 600;
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0 && SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return;
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) == 0) {
        width = mode.w;
        height = mode.h;
    }
}

bool SdlVideo::CreateMainWindow(const char* title, int x, int y, int width, int height) {
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0 && SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "The Flurber: no display: %s\n", SDL_GetError());
        return false;
    }
    window = SDL_CreateWindow(title, x, y, width, height,
                              SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    if (window == nullptr) {
        std::fprintf(stderr, "The Flurber: cannot open a window: %s\n", SDL_GetError());
        return false;
    }
    SDL_SetWindowMinimumSize(window, 200, 150);
    if (SDL_Surface* icon = LoadIcon()) {
        SDL_SetWindowIcon(window, icon);
        SDL_FreeSurface(icon);
    }
    return true;
}

bool SdlVideo::TakeOverDisplay(int width, int height) {
    if (window == nullptr) return false;
    logicalWidth = width;
    logicalHeight = height;
    if (startWindowed) {
        // Leaving "full screen" gives the window its first size and centres it.
        fullscreen = true;
        ToggleFullscreen();
    } else {
        fullscreen = SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP) == 0;
    }

    // Vsync only helps where the screen refreshes at 60 Hz; elsewhere the clock paces the frames.
    SDL_DisplayMode mode;
    const int display = SDL_GetWindowDisplayIndex(window);
    vsyncAt60 = SDL_GetCurrentDisplayMode(display < 0 ? 0 : display, &mode) == 0 &&
                mode.refresh_rate >= 59 && mode.refresh_rate <= 61;
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    renderer = SDL_CreateRenderer(window, -1, vsyncAt60 ? SDL_RENDERER_PRESENTVSYNC : 0);
    if (renderer == nullptr) renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
    if (renderer == nullptr) {
        std::fprintf(stderr, "The Flurber: cannot draw to the window: %s\n", SDL_GetError());
        return false;
    }
    prescaleAffordable = DrawsOnGraphicsProcessor(renderer);
    if (!CreateScreenTexture()) {
        std::fprintf(stderr, "The Flurber: cannot make the screen texture: %s\n", SDL_GetError());
        return false;
    }
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    SDL_RenderPresent(renderer);
    return true;
}

bool SdlVideo::CreateScreenTexture() {
    texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                                logicalWidth, logicalHeight);
    return texture != nullptr;
}

void SdlVideo::RecreateTextures() {
    if (renderer == nullptr) return;
    if (prescaled != nullptr) SDL_DestroyTexture(prescaled);
    prescaled = nullptr;
    prescaledFactor = 0;
    if (texture != nullptr) SDL_DestroyTexture(texture);
    texture = nullptr;
    // The picture it held is gone with it; the next frame uploads a new one.
    pictureShown = false;
    if (!CreateScreenTexture()) {
        std::fprintf(stderr, "The Flurber: cannot make the screen texture again: %s\n",
                     SDL_GetError());
    }
}

void SdlVideo::ShowImage(const Surface& image) {
    if (renderer == nullptr || texture == nullptr) return;
    SDL_UpdateTexture(texture, nullptr, image.pixels.data(), image.width * 4);
    pictureShown = true;
    Present();
}

void SdlVideo::Present() {
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
    if (framePending) {
        pacer.WaitForFrameTime();
        framePending = false;
    }
    SDL_RenderPresent(renderer);
}

SDL_Texture* SdlVideo::PrescaledPicture(int factor) {
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

void SdlVideo::ToggleFullscreen() {
    if (window == nullptr) return;
    if (!fullscreen) {
        fullscreen = SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP) == 0;
        return;
    }
    if (SDL_SetWindowFullscreen(window, 0) != 0) return;
    fullscreen = false;
    if (windowedSizeChosen) return;
    // The first time, the window gets its size and is centred; later switches keep whatever size
    // and place the player gave it.
    const int display = std::max(0, SDL_GetWindowDisplayIndex(window));
    SDL_Rect usable{0, 0, logicalWidth, logicalHeight};
    SDL_GetDisplayUsableBounds(display, &usable);
    int width = logicalWidth;
    int height = logicalHeight;
    WindowedSize(usable.w, usable.h, logicalWidth, logicalHeight, width, height);
    SDL_SetWindowSize(window, width, height);
    SDL_SetWindowPosition(window, SDL_WINDOWPOS_CENTERED_DISPLAY(display),
                          SDL_WINDOWPOS_CENTERED_DISPLAY(display));
    windowedSizeChosen = true;
}

void SdlVideo::HandleEvent(const SDL_Event& event) {
    if (event.type == SDL_RENDER_DEVICE_RESET) {
        RecreateTextures();
        return;
    }
    if (event.type != SDL_WINDOWEVENT) return;
    switch (event.window.event) {
        case SDL_WINDOWEVENT_SIZE_CHANGED:
        case SDL_WINDOWEVENT_EXPOSED:
            // No frames run while the window is inactive: keep the last one on show.
            if (pictureShown && (SDL_GetWindowFlags(window) & SDL_WINDOW_INPUT_FOCUS) == 0) {
                Present();
            }
            break;
        default:
            break;
    }
}

PictureArea SdlVideo::PictureInWindow() const {
    int width = 0;
    int height = 0;
    if (window != nullptr) SDL_GetWindowSize(window, &width, &height);
    return FitPicture(width, height, logicalWidth, logicalHeight);
}

void SdlVideo::CloseMainWindow() {
    if (prescaled != nullptr) SDL_DestroyTexture(prescaled);
    prescaled = nullptr;
    prescaledFactor = 0;
    pictureShown = false;
    if (texture != nullptr) SDL_DestroyTexture(texture);
    texture = nullptr;
    if (renderer != nullptr) SDL_DestroyRenderer(renderer);
    renderer = nullptr;
    if (window != nullptr) SDL_DestroyWindow(window);
    window = nullptr;
}
