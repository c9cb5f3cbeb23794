#pragma once
#include <SDL.h>

#include "platform/Backend.h"

// The real platform: one SDL2 window shown full screen with the game's 800 x 600 picture
// letterboxed in it, SDL's keyboard, mouse and audio device.
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
    SDL_AudioDeviceID audioDevice;
    int logicalWidth;
    int logicalHeight;
    bool vsyncAt60;
    Uint64 lastFrameCounter;

private:
    bool Translate(const SDL_Event& sdlEvent, PlatformEvent& event);
    void ToLogical(int windowX, int windowY, int& x, int& y);
};
