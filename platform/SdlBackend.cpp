#include "platform/SdlBackend.h"

#include <SDL_opengl.h>

#include <algorithm>
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

bool WindowModeChord::KeyDown(int keyCode, bool altHeld, bool repeat) {
    // A repeat, or a second press reported without a release between, switches nothing.
    if (keyCode != DIK_RETURN || !altHeld || repeat || returnSwallowed) return false;
    returnSwallowed = true;
    return true;
}

bool WindowModeChord::KeyUp(int keyCode) {
    if (keyCode != DIK_RETURN || !returnSwallowed) return true;
    returnSwallowed = false;
    return false;
}

void WindowModeChord::Filter(uint8_t keys[256]) const {
    const bool altHeld = ((keys[DIK_LMENU] | keys[DIK_RMENU]) & 0x80) != 0;
    if (returnSwallowed || altHeld) keys[DIK_RETURN] = 0;
}

void WindowedSize(int usableWidth, int usableHeight, int logicalWidth, int logicalHeight,
                  int& width, int& height) {
    const int scale =
        std::max(1, std::min(usableWidth / logicalWidth, usableHeight / logicalHeight));
    width = logicalWidth * scale;
    height = logicalHeight * scale;
    if (width <= usableWidth && height <= usableHeight) return;
    if (static_cast<long>(usableWidth) * logicalHeight <=
        static_cast<long>(usableHeight) * logicalWidth) {
        width = usableWidth;
        height = static_cast<int>(static_cast<long>(usableWidth) * logicalHeight / logicalWidth);
    } else {
        height = usableHeight;
        width = static_cast<int>(static_cast<long>(usableHeight) * logicalWidth / logicalHeight);
    }
}

ScalePlan PlanScaling(int outputWidth, int outputHeight, int logicalWidth, int logicalHeight) {
    // The picture scales by the smaller of the two ratios (the other side gets bars), kept as a
    // fraction so that whole multiples are recognised exactly.
    long numerator = outputWidth;
    long denominator = logicalWidth;
    if (static_cast<long>(outputHeight) * logicalWidth <
        static_cast<long>(outputWidth) * logicalHeight) {
        numerator = outputHeight;
        denominator = logicalHeight;
    }
    if (numerator <= 0 || denominator <= 0 || numerator % denominator == 0) return {1, false};
    if (numerator < denominator) return {1, true};
    return {static_cast<int>(numerator / denominator + 1), true};
}

SdlBackend::SdlBackend()
    : window(nullptr),
      renderer(nullptr),
      texture(nullptr),
      prescaled(nullptr),
      prescaledFactor(0),
      prescaleAffordable(false),
      pictureShown(false),
      fullscreen(false),
      windowedSizeChosen(false),
      audioDevice(0),
      logicalWidth(800),
      logicalHeight(600),
      vsyncAt60(false),
      lastFrameCounter(0),
      framePending(false) {}

SdlBackend::~SdlBackend() {
    CloseAudio();
    CloseMainWindow();
    for (SDL_GameController* controller : controllers) SDL_GameControllerClose(controller);
    controllers.clear();
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
    window = SDL_CreateWindow(title, x, y, width, height,
                              SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    if (window == nullptr) {
        std::fprintf(stderr, "The Flurber: cannot open a window: %s\n", SDL_GetError());
        return false;
    }
    SDL_SetWindowMinimumSize(window, 200, 150);
    // Controllers are optional: without them the keyboard plays alone. Those already plugged in
    // are reported as added, like the ones plugged in later.
    if (SDL_WasInit(SDL_INIT_GAMECONTROLLER) == 0 &&
        SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
        std::fprintf(stderr, "The Flurber: no game controllers (%s)\n", SDL_GetError());
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
    fullscreen = SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP) == 0;

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
    pictureShown = true;
    Present();
}

void SdlBackend::Present() {
    if (renderer == nullptr || texture == nullptr) return;
    int outputWidth = 0;
    int outputHeight = 0;
    SDL_GetRendererOutputSize(renderer, &outputWidth, &outputHeight);
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
    // The logical size letterboxes the copy and keeps the mouse in picture coordinates.
    SDL_RenderClear(renderer);
    SDL_RenderCopy(renderer, picture, nullptr, nullptr);
    if (framePending) {
        WaitForFrameTime();
        framePending = false;
    }
    SDL_RenderPresent(renderer);
}

SDL_Texture* SdlBackend::PrescaledPicture(int factor) {
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

void SdlBackend::ToggleFullscreen() {
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

void SdlBackend::PaceFrame() {
    // The wait itself comes in Present, right before the picture goes out, so that the time the
    // upload and the copy take does not make the moments of presentation uneven.
    framePending = true;
}

void SdlBackend::WaitForFrameTime() {
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

void SdlBackend::Handle(const SDL_Event& sdlEvent) {
    switch (sdlEvent.type) {
        case SDL_KEYDOWN:
            if (chord.KeyDown(KeyCodeFromScancode(sdlEvent.key.keysym.scancode),
                              (sdlEvent.key.keysym.mod & KMOD_ALT) != 0,
                              sdlEvent.key.repeat != 0)) {
                ToggleFullscreen();
            }
            return;
        case SDL_KEYUP:
            if (!chord.KeyUp(KeyCodeFromScancode(sdlEvent.key.keysym.scancode))) return;
            break;
        case SDL_CONTROLLERDEVICEADDED:
        case SDL_CONTROLLERDEVICEREMOVED:
        case SDL_CONTROLLERBUTTONDOWN:
        case SDL_CONTROLLERBUTTONUP:
        case SDL_CONTROLLERAXISMOTION:
            HandleController(sdlEvent);
            return;
        case SDL_WINDOWEVENT:
            switch (sdlEvent.window.event) {
                case SDL_WINDOWEVENT_FOCUS_LOST:
                    gamepad.SetFocused(false);
                    TakeControllerKeyUps();
                    break;
                case SDL_WINDOWEVENT_FOCUS_GAINED:
                    gamepad.SetFocused(true);
                    break;
                case SDL_WINDOWEVENT_SIZE_CHANGED:
                case SDL_WINDOWEVENT_EXPOSED:
                    // No frames run while the window is inactive: keep the last one on show.
                    if (pictureShown &&
                        (SDL_GetWindowFlags(window) & SDL_WINDOW_INPUT_FOCUS) == 0) {
                        Present();
                    }
                    break;
                default:
                    break;
            }
            break;
        default:
            break;
    }
    PlatformEvent event;
    if (Translate(sdlEvent, event)) pending.push_back(event);
}

void SdlBackend::HandleController(const SDL_Event& sdlEvent) {
    switch (sdlEvent.type) {
        case SDL_CONTROLLERDEVICEADDED:
            OpenController(sdlEvent.cdevice.which);
            break;
        case SDL_CONTROLLERDEVICEREMOVED:
            CloseController(sdlEvent.cdevice.which);
            break;
        case SDL_CONTROLLERBUTTONDOWN:
        case SDL_CONTROLLERBUTTONUP: {
            PadControl control = PadControlCount;
            switch (sdlEvent.cbutton.button) {
                case SDL_CONTROLLER_BUTTON_DPAD_LEFT:
                    control = PadLeft;
                    break;
                case SDL_CONTROLLER_BUTTON_DPAD_RIGHT:
                    control = PadRight;
                    break;
                case SDL_CONTROLLER_BUTTON_A:
                    control = PadA;
                    break;
                case SDL_CONTROLLER_BUTTON_START:
                    control = PadStart;
                    break;
                case SDL_CONTROLLER_BUTTON_BACK:
                    control = PadBack;
                    break;
                default:
                    break;
            }
            gamepad.SetControl(sdlEvent.cbutton.which, control,
                               sdlEvent.type == SDL_CONTROLLERBUTTONDOWN);
            break;
        }
        case SDL_CONTROLLERAXISMOTION:
            if (sdlEvent.caxis.axis == SDL_CONTROLLER_AXIS_LEFTX) {
                gamepad.SetStickX(sdlEvent.caxis.which, sdlEvent.caxis.value);
            }
            break;
        default:
            break;
    }
    TakeControllerKeyUps();
}

void SdlBackend::TakeControllerKeyUps() {
    int keyCode = 0;
    while (gamepad.TakeKeyUp(keyCode)) {
        PlatformEvent event;
        event.type = PlatformEvent::KeyUp;
        event.key = keyCode;
        pending.push_back(event);
    }
}

void SdlBackend::OpenController(int deviceIndex) {
    if (SDL_IsGameController(deviceIndex) == SDL_FALSE) return;
    const SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(deviceIndex);
    // Controllers present at start-up can be reported twice.
    if (SDL_GameControllerFromInstanceID(id) != nullptr) return;
    SDL_GameController* controller = SDL_GameControllerOpen(deviceIndex);
    if (controller == nullptr) return;
    controllers.push_back(controller);
    gamepad.Connect(SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller)));
}

void SdlBackend::CloseController(SDL_JoystickID id) {
    for (auto it = controllers.begin(); it != controllers.end(); ++it) {
        if (SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(*it)) == id) {
            SDL_GameControllerClose(*it);
            controllers.erase(it);
            break;
        }
    }
    gamepad.Disconnect(id);
}

bool SdlBackend::PollEvent(PlatformEvent& event) {
    // Everything SDL has is taken at once, so that the keyboard state read during the next frame
    // never shows a key whose event (the window-mode chord) has not been seen yet.
    SDL_Event sdlEvent;
    while (SDL_PollEvent(&sdlEvent) != 0) Handle(sdlEvent);
    if (pending.empty()) return false;
    event = pending.front();
    pending.pop_front();
    return true;
}

bool SdlBackend::WaitEvent(PlatformEvent& event) {
    SDL_Event sdlEvent;
    // A timeout keeps the loop alive for a window manager that never reports focus back.
    if (pending.empty() && SDL_WaitEventTimeout(&sdlEvent, 100) != 0) Handle(sdlEvent);
    return PollEvent(event);
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
    chord.Filter(keys);
    gamepad.AddKeys(keys);
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
