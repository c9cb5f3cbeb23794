#include "platform/sdl/SdlBackend.h"

#include <chrono>
#include <thread>

SdlBackend::SdlBackend() : input(video) {}

SdlBackend::~SdlBackend() {
    audio.Close();
    video.CloseMainWindow();
    input.controllers.CloseAll();
    SDL_Quit();
}

void SdlBackend::GetDesktopSize(int& width, int& height) {
    video.GetDesktopSize(width, height);
}

bool SdlBackend::CreateMainWindow(const char* title, int x, int y, int width, int height) {
    if (!video.CreateMainWindow(title, x, y, width, height)) return false;
    input.controllers.Start();
    return true;
}

bool SdlBackend::TakeOverDisplay(int width, int height) {
    return video.TakeOverDisplay(width, height);
}

void SdlBackend::ShowImage(const Surface& image) {
    video.ShowImage(image);
}

void SdlBackend::PaceFrame() {
    // The wait itself comes right before the picture goes out, so that the time the scaling and
    // the copy take does not make the moments of presentation uneven.
    video.framePending = true;
}

void SdlBackend::FrameFlipped() {
    // Screens that draw in loops of their own poll no events: the sound device is seen to here.
    audio.Service();
    // The next frame starts only just before its own moment, and so reads the freshest input.
    video.WaitForNextFrame();
}

void SdlBackend::PauseBegins() {
    video.pacer.PauseBegins(video.clock);
}

void SdlBackend::PauseEnds() {
    video.pacer.PauseEnds(video.clock);
}

void SdlBackend::Handle(const SDL_Event& event) {
    if (event.type == SDL_AUDIODEVICEREMOVED && event.adevice.iscapture == 0) {
        audio.DeviceRemoved(event.adevice.which);
    }
    video.HandleEvent(event);
    input.Handle(event);
}

bool SdlBackend::PollEvent(PlatformEvent& event) {
    // Everything SDL has is taken at once, so that the keyboard state read during the next frame
    // never shows a key whose event (the window-mode chord) has not been seen yet.
    SDL_Event sdlEvent;
    while (SDL_PollEvent(&sdlEvent) != 0) Handle(sdlEvent);
    audio.Service();
    if (input.pending.empty()) return false;
    event = input.pending.front();
    input.pending.pop_front();
    return true;
}

bool SdlBackend::WaitEvent(PlatformEvent& event) {
    // No frames run meanwhile: the wait is no frame's drawing.
    video.pacer.FrameInterrupted();
    SDL_Event sdlEvent;
    // A timeout keeps the loop alive for a window manager that never reports focus back.
    if (input.pending.empty() && SDL_WaitEventTimeout(&sdlEvent, 100) != 0) Handle(sdlEvent);
    return PollEvent(event);
}

bool SdlBackend::ReadKeys(uint8_t keys[256]) {
    return input.ReadKeys(keys);
}

void SdlBackend::GetCursorPosition(int& x, int& y) {
    input.GetCursorPosition(x, y);
}

void SdlBackend::SetCursorVisible(bool visible) {
    input.SetCursorVisible(visible);
}

void SdlBackend::ShowMessageBox(const char* caption, const char* text) {
    video.pacer.FrameInterrupted();
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, caption, text, video.window);
}

uint32_t SdlBackend::Milliseconds() {
    return SDL_GetTicks();
}

void SdlBackend::SleepSlice() {
    audio.Service();
    std::this_thread::sleep_for(std::chrono::microseconds(500));
}

bool SdlBackend::OpenAudio(AudioMixer& mixer, int sampleRate) {
    return audio.Open(mixer, sampleRate);
}

uint32_t SdlBackend::AudioQueuedFrames() {
    return audio.QueuedFrames();
}

void SdlBackend::CloseAudio() {
    audio.Close();
}

void SdlBackend::LockAudio() {
    audio.Lock();
}

void SdlBackend::UnlockAudio() {
    audio.Unlock();
}

void SdlBackend::CloseMainWindow() {
    video.CloseMainWindow();
}
