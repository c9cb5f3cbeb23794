#include "platform/web/WebBackend.h"

#include "platform/web/WebPage.h"

namespace {
// While the page is inactive, how often the program looks for it to come back.
constexpr int InactiveWaitMs = 50;
}  // namespace

WebBackend::WebBackend()
    : input(video), pageFocused(true), pageVisible(true), reportedActive(true) {
    // The page being hidden deactivates the program too: it tells that itself.
    input.focusActivates = false;
}

WebBackend::~WebBackend() {
    audio.Close();
    video.CloseMainWindow();
    input.controllers.CloseAll();
    SDL_Quit();
}

void WebBackend::GetDesktopSize(int& width, int& height) {
    // The page, not the program, places the picture.
    width = 800;
    height = 600;
}

bool WebBackend::CreateMainWindow(const char* title, int, int, int width, int height) {
    if (!video.CreateMainWindow(title, width, height)) return false;
    input.controllers.Start();
    return true;
}

bool WebBackend::TakeOverDisplay(int width, int height) {
    return video.TakeOverDisplay(width, height);
}

void WebBackend::ShowImage(const Surface& image) {
    video.ShowImage(image);
}

void WebBackend::PaceFrame() {
    video.framePending = true;
}

bool WebBackend::PointerOnCanvas() const {
    return video.window != nullptr && SDL_GetMouseFocus() == video.window;
}

void WebBackend::Handle(const SDL_Event& event) {
    if (event.type == SDL_WINDOWEVENT) {
        switch (event.window.event) {
            case SDL_WINDOWEVENT_FOCUS_GAINED:
                pageFocused = true;
                break;
            case SDL_WINDOWEVENT_FOCUS_LOST:
                pageFocused = false;
                break;
            case SDL_WINDOWEVENT_SHOWN:
                pageVisible = true;
                break;
            case SDL_WINDOWEVENT_HIDDEN:
                pageVisible = false;
                break;
            default:
                break;
        }
    }
    // A button let go off the canvas (SDL hears it on the whole page) reaches nothing.
    if (event.type == SDL_MOUSEBUTTONUP && !PointerOnCanvas()) return;
    input.Handle(event);
    const bool active = pageFocused && pageVisible;
    if (active == reportedActive) return;
    reportedActive = active;
    PlatformEvent change;
    change.type = active ? PlatformEvent::Activated : PlatformEvent::Deactivated;
    input.pending.push_back(change);
}

bool WebBackend::PollEvent(PlatformEvent& event) {
    SDL_Event sdlEvent;
    while (SDL_PollEvent(&sdlEvent) != 0) Handle(sdlEvent);
    if (input.pending.empty()) return false;
    event = input.pending.front();
    input.pending.pop_front();
    return true;
}

bool WebBackend::WaitEvent(PlatformEvent& event) {
    if (PollEvent(event)) return true;
    WebPage::Sleep(InactiveWaitMs);
    return PollEvent(event);
}

bool WebBackend::ReadKeys(uint8_t keys[256]) {
    return input.ReadKeys(keys);
}

void WebBackend::GetCursorPosition(int& x, int& y) {
    if (!PointerOnCanvas()) {
        x = -1;
        y = -1;
        return;
    }
    input.GetCursorPosition(x, y);
}

void WebBackend::SetCursorVisible(bool visible) {
    input.SetCursorVisible(visible);
}

void WebBackend::ShowMessageBox(const char* caption, const char* text) {
    WebPage::ShowMessage(caption, text);
}

uint32_t WebBackend::Milliseconds() {
    return SDL_GetTicks();
}

void WebBackend::SleepSlice() {
    WebPage::Sleep(1);
}

bool WebBackend::OpenAudio(AudioMixer& mixer, int sampleRate) {
    return audio.Open(mixer, sampleRate);
}

void WebBackend::CloseAudio() {
    audio.Close();
}

uint32_t WebBackend::AudioQueuedFrames() {
    return audio.QueuedFrames();
}

void WebBackend::LockAudio() {
    audio.Lock();
}

void WebBackend::UnlockAudio() {
    audio.Unlock();
}

void WebBackend::CloseMainWindow() {
    video.CloseMainWindow();
}
