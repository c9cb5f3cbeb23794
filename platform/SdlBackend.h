#pragma once
#include <SDL.h>

#include <deque>
#include <vector>

#include "platform/Backend.h"
#include "platform/Gamepad.h"

// Alt+Return switches between full screen and a window. Its Return must never reach the game,
// which takes a held Return for "set the room up again": the chord's Return is kept out of the
// snapshot until it is released, and its release sends no key-up. Key codes are those of
// KeyCodes.h.
class WindowModeChord {
public:
    WindowModeChord() : returnSwallowed(false) {}
    // A key went down; true when it completes the chord, that is when the window mode must switch.
    bool KeyDown(int keyCode, bool altHeld, bool repeat);
    // A key went up; false when its key-up must not be passed on.
    bool KeyUp(int keyCode);
    // Takes the chord's Return out of a keyboard snapshot (also any Return held together with Alt).
    void Filter(uint8_t keys[256]) const;

    bool returnSwallowed;
};

// The size the window opens at: the largest whole multiple of the picture's size that fits the
// usable part of the desktop, at least 1x; on a desktop too small even for that, the largest size
// of the picture's aspect that fits.
void WindowedSize(int usableWidth, int usableHeight, int logicalWidth, int logicalHeight,
                  int& width, int& height);

// How a logicalWidth x logicalHeight picture reaches a window of outputWidth x outputHeight pixels,
// aspect kept. At a whole multiple it is drawn with plain pixel doubling. Between multiples,
// nearest scaling would make some pixels a screen pixel wider than others, and smooth scaling
// blurs; instead the picture is first doubled up (nearest) to the next whole multiple and that is
// then scaled down smoothly, which keeps the pixels even and sharp, blending only at their
// edges. (The backend does that only on a graphics processor; a software rasteriser keeps plain
// nearest scaling, the extra pass would cost it the 60 frames a second.) Below 1x the picture is
// scaled down smoothly.
struct ScalePlan {
    int prescale;  // whole multiple of the intermediate picture; 1 for none
    bool smooth;   // the last step filters (linear) instead of taking the nearest pixel
};
ScalePlan PlanScaling(int outputWidth, int outputHeight, int logicalWidth, int logicalHeight);

// The real platform: one SDL2 window, full screen or an ordinary resizable window (Alt+Return
// switches), with the game's 800 x 600 picture letterboxed in it; SDL's keyboard, game
// controllers, mouse and audio device.
class SdlBackend : public Backend {
public:
    SdlBackend();
    ~SdlBackend() override;

    void GetDesktopSize(int& width, int& height) override;
    bool CreateMainWindow(const char* title, int x, int y, int width, int height) override;
    bool TakeOverDisplay(int width, int height) override;
    void ShowImage(const Surface& image) override;
    void PaceFrame() override;
    bool PollEvent(PlatformEvent& event) override;
    bool WaitEvent(PlatformEvent& event) override;
    bool ReadKeys(uint8_t keys[256]) override;
    void GetCursorPosition(int& x, int& y) override;
    void SetCursorVisible(bool visible) override;
    void ShowMessageBox(const char* caption, const char* text) override;
    uint32_t Milliseconds() override;
    void SleepSlice() override;
    bool OpenAudio(AudioMixer& mixer, int sampleRate) override;
    void CloseAudio() override;
    void LockAudio() override;
    void UnlockAudio() override;
    void CloseMainWindow() override;

    SDL_Window* window;
    SDL_Renderer* renderer;
    SDL_Texture* texture;
    // The picture doubled up to a whole multiple, for window sizes between multiples.
    SDL_Texture* prescaled;
    int prescaledFactor;
    // Only a graphics processor can afford the doubling-up pass every frame; a software
    // rasteriser scales with plain nearest pixels instead.
    bool prescaleAffordable;
    // The screen texture holds a picture that can be shown again.
    bool pictureShown;
    bool fullscreen;
    // False until the window is first shown as a window; it then gets its starting size.
    bool windowedSizeChosen;
    SDL_AudioDeviceID audioDevice;
    int logicalWidth;
    int logicalHeight;
    bool vsyncAt60;
    Uint64 lastFrameCounter;
    bool framePending;  // a flip asked for pacing: its picture waits for its moment

    WindowModeChord chord;
    Gamepad gamepad;
    std::vector<SDL_GameController*> controllers;
    // Events taken from SDL and not yet handed on.
    std::deque<PlatformEvent> pending;

private:
    bool Translate(const SDL_Event& sdlEvent, PlatformEvent& event);
    void ToLogical(int windowX, int windowY, int& x, int& y);
    // Takes one SDL event: window-mode chord, controllers, then what the program is told.
    void Handle(const SDL_Event& sdlEvent);
    void HandleController(const SDL_Event& sdlEvent);
    void TakeControllerKeyUps();
    void ToggleFullscreen();
    void OpenController(int deviceIndex);
    void CloseController(SDL_JoystickID id);
    SDL_Texture* PrescaledPicture(int factor);
    // Draws the screen texture into the window, scaled, and shows it.
    void Present();
    void WaitForFrameTime();
};
