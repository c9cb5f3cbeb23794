#include "platform/sdl/SdlVideo.h"

#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

#include "platform/display/BitmapFile.h"
#include "platform/display/Surface.h"

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

// A graphics processor's driver makes device nodes: DRM's (Mesa, and NVIDIA's with modesetting)
// or NVIDIA's own.
bool MayHaveGraphicsProcessor() {
    return access("/dev/dri", F_OK) == 0 || access("/dev/nvidia0", F_OK) == 0;
}

}  // namespace

uint64_t SdlPacingClock::Nanoseconds() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

void SdlPacingClock::Sleep(uint64_t nanoseconds) {
    std::this_thread::sleep_for(std::chrono::nanoseconds(nanoseconds));
}

SdlVideo::SdlVideo()
    : window(nullptr),
      usingFramebuffer(false),
      windowScreen(nullptr),
      fullscreen(false),
      onWayland(false),
      startWindowed(false),
      rendererChoice(RendererChoice::Auto),
      windowedSizeChosen(false),
      logicalWidth(800),
      logicalHeight(600),
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
    // The window's framebuffer, when we take it, is to be the X server's own shared image, not a
    // texture that SDL would draw through OpenGL.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
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
    const char* driver = SDL_GetCurrentVideoDriver();
    onWayland = driver != nullptr && std::strcmp(driver, "wayland") == 0;
    SDL_SetWindowMinimumSize(window, 200, 150);
    if (SDL_Surface* icon = LoadIcon()) {
        SDL_SetWindowIcon(window, icon);
        SDL_FreeSurface(icon);
    }
    // The frame waits sleep to within a few tens of microseconds of their moment.
    prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
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
        fullscreen = EnterFullscreen();
    }

    // Without a graphics device OpenGL can only be a software rasteriser, and making a renderer
    // to find that out takes a third of the start-up. Where one draws, the framebuffer shows the
    // same picture for a small part of the work.
    const bool rendererFirst =
        rendererChoice == RendererChoice::Accelerated ||
        (rendererChoice == RendererChoice::Auto && MayHaveGraphicsProcessor());
    if (rendererFirst && StartRenderer(rendererChoice == RendererChoice::Auto)) return true;
    if (rendererChoice == RendererChoice::Accelerated) {
        std::fprintf(stderr,
                     "The Flurber: no OpenGL renderer for --renderer=accelerated; the processor "
                     "scales the picture instead\n");
    }
    if (StartFramebuffer()) return true;
    if (rendererChoice == RendererChoice::Software) {
        std::fprintf(stderr,
                     "The Flurber: the window has no pixels of its own for --renderer=software; "
                     "drawing through SDL's renderer instead\n");
    }
    // No framebuffer in our pixel layout: whatever renderer SDL can make, its software one
    // included.
    return StartRenderer(false);
}

bool SdlVideo::StartRenderer(bool onlyGraphicsProcessor) {
    // Vsync only helps where the screen refreshes at 60 Hz; elsewhere the clock paces the frames.
    SDL_DisplayMode mode;
    const int display = SDL_GetWindowDisplayIndex(window);
    const bool vsyncAt60 = SDL_GetCurrentDisplayMode(display < 0 ? 0 : display, &mode) == 0 &&
                           mode.refresh_rate >= 59 && mode.refresh_rate <= 61;
    const Uint32 vsyncFlag = vsyncAt60 ? SDL_RENDERER_PRESENTVSYNC : 0;
    if (!rendererScreen.Start(window, logicalWidth, logicalHeight,
                              SDL_RENDERER_ACCELERATED | vsyncFlag) &&
        (onlyGraphicsProcessor || rendererChoice == RendererChoice::Accelerated ||
         !rendererScreen.Start(window, logicalWidth, logicalHeight, 0))) {
        return false;
    }
    const bool graphicsProcessor = rendererScreen.DrawsOnGraphicsProcessor();
    if (onlyGraphicsProcessor && !graphicsProcessor) {
        // SDL gives a window a renderer or a framebuffer, not both: this one must go first.
        rendererScreen.Close();
        return false;
    }
    // Asked for, the sharp scaling runs whatever draws it.
    rendererScreen.prescaleAffordable =
        graphicsProcessor || rendererChoice == RendererChoice::Accelerated;
    // The screen's rate is only what the display says: vsync counts once presents are seen to
    // wait for it.
    pacer.vsync =
        vsyncAt60 && FramePacer::DisplayWaits(clock, [this] { rendererScreen.PresentBlack(); });
    if (vsyncAt60 && !pacer.vsync) SDL_RenderSetVSync(rendererScreen.renderer, 0);
    usingFramebuffer = false;
    return true;
}

bool SdlVideo::StartFramebuffer() {
    pacer.vsync = false;
    windowScreen = nullptr;
    if (framebufferScreen.Start(window, logicalWidth, logicalHeight)) {
        windowScreen = &framebufferScreen;
    } else if (waylandScreen.Start(window, logicalWidth, logicalHeight)) {
        windowScreen = &waylandScreen;
    }
    usingFramebuffer = windowScreen != nullptr;
    return usingFramebuffer;
}

void SdlVideo::ShowImage(const Surface& image) {
    if (usingFramebuffer) {
        windowScreen->Prepare(image);
    } else {
        rendererScreen.Prepare(image);
    }
    if (framePending) {
        pacer.WaitToPresent(clock);
        framePending = false;
    }
    if (usingFramebuffer) {
        windowScreen->Present();
    } else {
        rendererScreen.Present();
    }
}

void SdlVideo::WaitForNextFrame() {
    pacer.WaitForNextFrame(clock);
}

void SdlVideo::Redraw() {
    if (usingFramebuffer) {
        windowScreen->Redraw();
    } else {
        rendererScreen.Redraw();
    }
}

bool SdlVideo::EnterFullscreen() {
    // On Wayland the window's title bar and shadow are surfaces of the program's own (libdecor's),
    // which libdecor hides once the compositor has made the window full screen. Weston 14 (Debian
    // 13) kept giving the first small window's hidden frame the pointer: over the picture's top
    // left, no motion or click reached the game. Taken away outright, the frame is gone.
    if (onWayland) SDL_SetWindowBordered(window, SDL_FALSE);
    if (SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP) == 0) return true;
    if (onWayland) SDL_SetWindowBordered(window, SDL_TRUE);
    return false;
}

void SdlVideo::ToggleFullscreen() {
    if (window == nullptr) return;
    if (!fullscreen) {
        fullscreen = EnterFullscreen();
        return;
    }
    if (SDL_SetWindowFullscreen(window, 0) != 0) return;
    fullscreen = false;
    if (onWayland) SDL_SetWindowBordered(window, SDL_TRUE);
    if (windowedSizeChosen) return;
    // The first time, the window gets its size and is centred; later switches keep whatever size
    // and place the player gave it.
    const int display = std::max(0, SDL_GetWindowDisplayIndex(window));
    SDL_Rect usable{0, 0, logicalWidth, logicalHeight};
    SDL_GetDisplayUsableBounds(display, &usable);
    // The whole window, its title bar included, must fit: the bottom of the picture holds the
    // Credits button.
    WindowFrame frame{false, 0, 0, 0, 0};
    frame.known =
        SDL_GetWindowBordersSize(window, &frame.top, &frame.left, &frame.bottom, &frame.right) == 0;
    int roomWidth = 0;
    int roomHeight = 0;
    RoomForPicture(usable.w, usable.h, frame, roomWidth, roomHeight);
    int width = logicalWidth;
    int height = logicalHeight;
    WindowedSize(roomWidth, roomHeight, logicalWidth, logicalHeight, width, height);
    SDL_SetWindowSize(window, width, height);
    SDL_SetWindowPosition(window, SDL_WINDOWPOS_CENTERED_DISPLAY(display),
                          SDL_WINDOWPOS_CENTERED_DISPLAY(display));
    windowedSizeChosen = true;
}

void SdlVideo::HandleEvent(const SDL_Event& event) {
    if (event.type == SDL_RENDER_DEVICE_RESET || event.type == SDL_RENDER_TARGETS_RESET) {
        RecoverRenderer(event.type == SDL_RENDER_DEVICE_RESET);
        return;
    }
    if (event.type != SDL_WINDOWEVENT) return;
    switch (event.window.event) {
        case SDL_WINDOWEVENT_SIZE_CHANGED:
        case SDL_WINDOWEVENT_EXPOSED:
            if (usingFramebuffer) windowScreen->WindowChanged();
            // No frames run while the window is inactive: keep the last one on show.
            if ((SDL_GetWindowFlags(window) & SDL_WINDOW_INPUT_FOCUS) == 0) Redraw();
            break;
        default:
            break;
    }
}

void SdlVideo::RecoverRenderer(bool deviceReset) {
    if (usingFramebuffer) return;
    if (!deviceReset || rendererScreen.RecreateTextures()) {
        // Whether or not frames run: an inactive window must not stay empty until focus returns.
        rendererScreen.Redraw();
        return;
    }
    std::fprintf(stderr, "The Flurber: the renderer is lost; drawing into the window instead\n");
    const ChangedRows kept = rendererScreen.changes;
    rendererScreen.Close();
    if (!StartFramebuffer() || !kept.known) return;
    Surface picture(kept.width, kept.height);
    picture.pixels = kept.last;
    windowScreen->Prepare(picture);
    windowScreen->Present();
}

PictureArea SdlVideo::PictureInWindow() const {
    int width = 0;
    int height = 0;
    if (window != nullptr) SDL_GetWindowSize(window, &width, &height);
    return FitPicture(width, height, logicalWidth, logicalHeight);
}

void SdlVideo::CloseMainWindow() {
    rendererScreen.Close();
    waylandScreen.Close();
    usingFramebuffer = false;
    windowScreen = nullptr;
    if (window != nullptr) SDL_DestroyWindow(window);
    window = nullptr;
}
