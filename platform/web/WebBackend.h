#pragma once
#include "platform/Backend.h"
#include "platform/sdl/SdlInput.h"
#include "platform/web/WebAudio.h"
#include "platform/web/WebVideo.h"

// The platform of the browser: SDL2 for Emscripten reads the keys, the mouse and controllers as
// on the desktop (SdlInput) and plays the mixer (WebAudio); the picture goes on the page's canvas
// (WebVideo). Every wait gives the main thread back to the browser, so that the page, its input
// and its sound go on meanwhile.
class WebBackend : public Backend {
public:
    WebBackend();
    ~WebBackend() override;

    void GetDesktopSize(int& width, int& height) override;
    bool CreateMainWindow(const char* title, int x, int y, int width, int height) override;
    bool TakeOverDisplay(int width, int height) override;
    void ShowImage(const Surface& image) override;
    void PaceFrame() override;
    bool PollEvent(PlatformEvent& event) override;
    bool WaitEvent(PlatformEvent& event) override;
    bool ReadKeys(uint8_t keys[256]) override;
    void GetCursorPosition(int& x, int& y) override;
    uint32_t PointerMoves() override { return input.pointer.moves; }
    void SetCursorVisible(bool visible) override;
    void ShowMessageBox(const char* caption, const char* text) override;
    uint32_t Milliseconds() override;
    void SleepSlice() override;
    bool HasThreads() override { return false; }
    bool OpenAudio(AudioMixer& mixer, int sampleRate) override;
    void CloseAudio() override;
    uint32_t AudioQueuedFrames() override;
    void LockAudio() override;
    void UnlockAudio() override;
    void CloseMainWindow() override;

    WebVideo video;
    SdlInput input;
    WebAudio audio;
    // The program is active while the page is shown and has the focus.
    bool pageFocused;
    bool pageVisible;
    bool reportedActive;

private:
    void Handle(const SDL_Event& event);
    bool PointerOnCanvas() const;
};
