#pragma once
#include "platform/Backend.h"
#include "platform/sdl/SdlAudio.h"
#include "platform/sdl/SdlInput.h"
#include "platform/sdl/SdlVideo.h"

// The real platform, on SDL2: the window and what it shows (SdlVideo), what the player does
// (SdlInput) and the sound device (SdlAudio).
class SdlBackend : public Backend {
public:
    SdlBackend();
    ~SdlBackend() override;

    void GetDesktopSize(int& width, int& height) override;
    bool CreateMainWindow(const char* title, int x, int y, int width, int height) override;
    bool TakeOverDisplay(int width, int height) override;
    void ShowImage(const Surface& image) override;
    void PaceFrame() override;
    void FrameFlipped() override;
    void PauseBegins() override;
    void PauseEnds() override;
    bool PollEvent(PlatformEvent& event) override;
    bool WaitEvent(PlatformEvent& event) override;
    bool ReadKeys(uint8_t keys[256]) override;
    void GetCursorPosition(int& x, int& y) override;
    uint32_t PointerMoves() override { return input.pointer.moves; }
    void SetCursorVisible(bool visible) override;
    void ShowMessageBox(const char* caption, const char* text) override;
    uint32_t Milliseconds() override;
    void SleepSlice() override;
    bool OpenAudio(AudioMixer& mixer, int sampleRate) override;
    void CloseAudio() override;
    uint32_t AudioQueuedFrames() override;
    void LockAudio() override;
    void UnlockAudio() override;
    void CloseMainWindow() override;

    SdlVideo video;
    SdlInput input;
    SdlAudio audio;

private:
    void Handle(const SDL_Event& event);
};
