#include "platform/SdlBackend.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "platform/AudioMixer.h"
#include "platform/BitmapFile.h"
#include "platform/KeyCodes.h"
#include "platform/ScancodeMap.h"
#include "platform/Surface.h"

namespace {

// The game moves a fixed amount per frame, so it must see 60 frames a second on every screen.
constexpr double FramesPerSecond = 60.0;
const char* const IconPath = "Graphics\\FlurberIcon.bmp";

void AudioCallback(void* userData, Uint8* stream, int length) {
    auto* mixer = static_cast<AudioMixer*>(userData);
    mixer->Render(reinterpret_cast<int16_t*>(stream), length / 4);
}

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

}  // namespace

SdlBackend::SdlBackend()
    : window(nullptr),
      renderer(nullptr),
      texture(nullptr),
      audioDevice(0),
      logicalWidth(800),
      logicalHeight(600),
      vsyncAt60(false),
      lastFrameCounter(0) {}

SdlBackend::~SdlBackend() {
    CloseAudio();
    CloseMainWindow();
    SDL_Quit();
}

void SdlBackend::GetDesktopSize(int& width, int& height) {
    width = 800;
    height = 600;
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0 && SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return;
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) == 0) {
        width = mode.w;
        height = mode.h;
    }
}

bool SdlBackend::CreateMainWindow(const char* title, int x, int y, int width, int height) {
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0 && SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "The Flurber: no display: %s\n", SDL_GetError());
        return false;
    }
    window = SDL_CreateWindow(title, x, y, width, height, SDL_WINDOW_SHOWN);
    if (window == nullptr) {
        std::fprintf(stderr, "The Flurber: cannot open a window: %s\n", SDL_GetError());
        return false;
    }
    if (SDL_Surface* icon = LoadIcon()) {
        SDL_SetWindowIcon(window, icon);
        SDL_FreeSurface(icon);
    }
    return true;
}

bool SdlBackend::TakeOverDisplay(int width, int height) {
    if (window == nullptr) return false;
    logicalWidth = width;
    logicalHeight = height;
    SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP);

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
    SDL_RenderSetLogicalSize(renderer, width, height);
    texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                                width, height);
    if (texture == nullptr) {
        std::fprintf(stderr, "The Flurber: cannot make the screen texture: %s\n", SDL_GetError());
        return false;
    }
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    SDL_RenderPresent(renderer);
    return true;
}

void SdlBackend::ShowImage(const Surface& image) {
    if (renderer == nullptr || texture == nullptr) return;
    SDL_UpdateTexture(texture, nullptr, image.pixels.data(), image.width * 4);
    SDL_RenderClear(renderer);
    SDL_RenderCopy(renderer, texture, nullptr, nullptr);
    SDL_RenderPresent(renderer);
}

void SdlBackend::PaceFrame() {
    const Uint64 frequency = SDL_GetPerformanceFrequency();
    const Uint64 period = static_cast<Uint64>(frequency / FramesPerSecond);
    if (lastFrameCounter != 0) {
        const Uint64 due = lastFrameCounter + period;
        for (;;) {
            const Uint64 now = SDL_GetPerformanceCounter();
            if (now >= due) break;
            // Sleep while more than a couple of milliseconds remain, then spin to the exact moment.
            if ((due - now) * 1000 > frequency * 2) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    }
    lastFrameCounter = SDL_GetPerformanceCounter();
}

void SdlBackend::ToLogical(int windowX, int windowY, int& x, int& y) {
    float logicalX = static_cast<float>(windowX);
    float logicalY = static_cast<float>(windowY);
    if (renderer != nullptr)
        SDL_RenderWindowToLogical(renderer, windowX, windowY, &logicalX, &logicalY);
    x = static_cast<int>(logicalX);
    y = static_cast<int>(logicalY);
    x = x < 0 ? 0 : (x >= logicalWidth ? logicalWidth - 1 : x);
    y = y < 0 ? 0 : (y >= logicalHeight ? logicalHeight - 1 : y);
}

bool SdlBackend::Translate(const SDL_Event& sdlEvent, PlatformEvent& event) {
    event = PlatformEvent{};
    switch (sdlEvent.type) {
        case SDL_QUIT:
            event.type = PlatformEvent::WindowClosed;
            return true;
        case SDL_WINDOWEVENT:
            switch (sdlEvent.window.event) {
                case SDL_WINDOWEVENT_CLOSE:
                    event.type = PlatformEvent::WindowClosed;
                    return true;
                case SDL_WINDOWEVENT_FOCUS_GAINED:
                case SDL_WINDOWEVENT_RESTORED:
                    event.type = PlatformEvent::Activated;
                    return true;
                case SDL_WINDOWEVENT_FOCUS_LOST:
                case SDL_WINDOWEVENT_MINIMIZED:
                    event.type = PlatformEvent::Deactivated;
                    return true;
                default:
                    return false;
            }
        case SDL_KEYUP:
            event.type = PlatformEvent::KeyUp;
            event.key = KeyCodeFromScancode(sdlEvent.key.keysym.scancode);
            return true;
        case SDL_MOUSEBUTTONUP:
            if (sdlEvent.button.button != SDL_BUTTON_LEFT) return false;
            event.type = PlatformEvent::MouseButtonUp;
            // With a logical size set, SDL already reports logical coordinates, but not clamped.
            event.x =
                sdlEvent.button.x < 0
                    ? 0
                    : (sdlEvent.button.x >= logicalWidth ? logicalWidth - 1 : sdlEvent.button.x);
            event.y =
                sdlEvent.button.y < 0
                    ? 0
                    : (sdlEvent.button.y >= logicalHeight ? logicalHeight - 1 : sdlEvent.button.y);
            return true;
        case SDL_RENDER_TARGETS_RESET:
        case SDL_RENDER_DEVICE_RESET:
            event.type = PlatformEvent::DisplayReset;
            return true;
        default:
            return false;
    }
}

bool SdlBackend::PollEvent(PlatformEvent& event) {
    SDL_Event sdlEvent;
    while (SDL_PollEvent(&sdlEvent) != 0) {
        if (Translate(sdlEvent, event)) return true;
    }
    return false;
}

bool SdlBackend::WaitEvent(PlatformEvent& event) {
    SDL_Event sdlEvent;
    // A timeout keeps the loop alive for a window manager that never reports focus back.
    if (SDL_WaitEventTimeout(&sdlEvent, 100) == 0) return false;
    return Translate(sdlEvent, event);
}

bool SdlBackend::ReadKeys(uint8_t keys[256]) {
    std::memset(keys, 0, 256);
    if (window == nullptr || SDL_GetKeyboardFocus() != window) return false;
    int count = 0;
    const Uint8* state = SDL_GetKeyboardState(&count);
    for (int scancode = 0; scancode < count; ++scancode) {
        if (state[scancode] == 0) continue;
        const int code = KeyCodeFromScancode(static_cast<SDL_Scancode>(scancode));
        if (code > 0 && code < 256) keys[code] = 0x80;
    }
    return true;
}

void SdlBackend::GetCursorPosition(int& x, int& y) {
    int windowX = 0;
    int windowY = 0;
    SDL_GetMouseState(&windowX, &windowY);
    ToLogical(windowX, windowY, x, y);
}

void SdlBackend::SetCursorVisible(bool visible) {
    SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

void SdlBackend::ShowMessageBox(const char* caption, const char* text) {
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, caption, text, window);
}

uint32_t SdlBackend::Milliseconds() {
    return SDL_GetTicks();
}

void SdlBackend::SleepSlice() {
    std::this_thread::sleep_for(std::chrono::microseconds(500));
}

bool SdlBackend::OpenAudio(AudioMixer& mixer, int sampleRate) {
    if (SDL_WasInit(SDL_INIT_AUDIO) == 0 && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        std::fprintf(stderr, "The Flurber: no audio (%s); playing in silence\n", SDL_GetError());
        return false;
    }
    SDL_AudioSpec wanted{};
    wanted.freq = sampleRate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 2;
    wanted.samples = 1024;
    wanted.callback = AudioCallback;
    wanted.userdata = &mixer;
    audioDevice = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
    if (audioDevice == 0) {
        std::fprintf(stderr, "The Flurber: no audio device (%s); playing in silence\n",
                     SDL_GetError());
        return false;
    }
    SDL_PauseAudioDevice(audioDevice, 0);
    return true;
}

void SdlBackend::CloseAudio() {
    if (audioDevice != 0) SDL_CloseAudioDevice(audioDevice);
    audioDevice = 0;
}

void SdlBackend::LockAudio() {
    if (audioDevice != 0) SDL_LockAudioDevice(audioDevice);
}

void SdlBackend::UnlockAudio() {
    if (audioDevice != 0) SDL_UnlockAudioDevice(audioDevice);
}

void SdlBackend::CloseMainWindow() {
    if (texture != nullptr) SDL_DestroyTexture(texture);
    texture = nullptr;
    if (renderer != nullptr) SDL_DestroyRenderer(renderer);
    renderer = nullptr;
    if (window != nullptr) SDL_DestroyWindow(window);
    window = nullptr;
}
