#include "platform/headless/HeadlessBackend.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/sound/AudioMixer.h"

namespace {
constexpr uint64_t FrameMicroseconds = 1000000 / 60;
// How deep the calling thread is in audio locks: the lock is held by a thread, not by the backend.
thread_local int audioLocksHeld = 0;
}  // namespace

void (*HeadlessBackend::unlockedAudioTouch)(const char* what) = nullptr;

HeadlessBackend::HeadlessBackend()
    : desktopWidth(1024),
      desktopHeight(768),
      displayAvailable(true),
      audioAvailable(true),
      audioTriedFromStart(false),
      keyboardFocused(true),
      keepImages(false),
      captureAudio(false),
      audioQueuedFrames(0),
      clockRunsByItself(false),
      clockStart(0),
      microseconds(0),
      lastFlipMicroseconds(0),
      flippedBefore(false),
      keys(),
      cursorX(0),
      cursorY(0),
      pointerMoves(0),
      cursorVisible(true),
      screen(800, 600),
      framesFlipped(0),
      imagesShown(0),
      windowOpen(false),
      displayTakenOver(false),
      windowX(0),
      windowY(0),
      windowWidth(0),
      windowHeight(0),
      mixer(nullptr),
      sampleRate(0),
      framesRendered(0),
      audioDeviceLost(false),
      audioOpenTries(0) {}

HeadlessBackend::~HeadlessBackend() = default;

void HeadlessBackend::SetKey(int keyCode, bool down) {
    if (keyCode >= 0 && keyCode < 256) keys[keyCode] = down ? 0x80 : 0;
}

void HeadlessBackend::ReleaseKey(int keyCode) {
    SetKey(keyCode, false);
    PlatformEvent event;
    event.type = PlatformEvent::KeyUp;
    event.key = keyCode;
    PushEvent(event);
}

void HeadlessBackend::SetCursor(int x, int y) {
    const int oldX = cursorX;
    const int oldY = cursorY;
    WindowChangedUnderPointer(x, y);
    if (cursorX != oldX || cursorY != oldY) ++pointerMoves;
}

void HeadlessBackend::WindowChangedUnderPointer(int x, int y) {
    cursorX = std::clamp(x, 0, 799);
    cursorY = std::clamp(y, 0, 599);
}

void HeadlessBackend::PushEvent(PlatformEvent event) {
    events.push_back(event);
}

void HeadlessBackend::PressButton(int x, int y) {
    PushButtonEvent(PlatformEvent::MouseButtonDown, x, y);
}

void HeadlessBackend::Click(int x, int y) {
    PushButtonEvent(PlatformEvent::MouseButtonUp, x, y);
}

void HeadlessBackend::PushButtonEvent(PlatformEvent::Type type, int x, int y) {
    SetCursor(x, y);
    PlatformEvent event;
    event.type = type;
    event.x = cursorX;
    event.y = cursorY;
    PushEvent(event);
}

void HeadlessBackend::CloseWindow() {
    PlatformEvent event;
    event.type = PlatformEvent::WindowClosed;
    PushEvent(event);
}

void HeadlessBackend::Advance(uint64_t step) {
    microseconds += step;
    if (mixer == nullptr) return;
    const uint64_t due = microseconds * static_cast<uint64_t>(sampleRate) / 1000000;
    if (due <= framesRendered) return;
    const int count = static_cast<int>(due - framesRendered);
    std::vector<int16_t> block(static_cast<size_t>(count) * 2);
    // Without a device the program keeps the sound's time itself: rendered into nothing.
    mixer->Render(block.data(), count);
    framesRendered = due;
    if (audioDeviceLost) std::fill(block.begin(), block.end(), int16_t{0});
    if (captureAudio) audio.insert(audio.end(), block.begin(), block.end());
}

void HeadlessBackend::LoseAudioDevice() {
    if (mixer == nullptr || audioDeviceLost) return;
    audioDeviceLost = true;
    audioReopener.Lost(Milliseconds());
}

void HeadlessBackend::ServiceAudio() {
    if (mixer == nullptr || !audioDeviceLost || !audioReopener.TryDue(Milliseconds())) return;
    ++audioOpenTries;
    if (!audioAvailable) return;
    audioDeviceLost = false;
    audioReopener.Reopened();
}

void HeadlessBackend::ConnectController(int32_t id) {
    gamepad.Connect(id);
    PostControllerKeyUps();
}

void HeadlessBackend::DisconnectController(int32_t id) {
    gamepad.Disconnect(id);
    PostControllerKeyUps();
}

void HeadlessBackend::SetControllerControl(int32_t id, PadControl control, bool down) {
    gamepad.SetControl(id, control, down);
    PostControllerKeyUps();
}

void HeadlessBackend::SetControllerStickX(int32_t id, int32_t value) {
    gamepad.SetStickX(id, value);
    PostControllerKeyUps();
}

void HeadlessBackend::SetControllerStickY(int32_t id, int32_t value) {
    gamepad.SetStickY(id, value);
    PostControllerKeyUps();
}

void HeadlessBackend::PostControllerKeyUps() {
    int keyCode = 0;
    while (gamepad.TakeKeyUp(keyCode)) {
        PlatformEvent event;
        event.type = PlatformEvent::KeyUp;
        event.key = keyCode;
        PushEvent(event);
    }
}

void HeadlessBackend::GetDesktopSize(int& width, int& height) {
    width = desktopWidth;
    height = desktopHeight;
}

bool HeadlessBackend::CreateMainWindow(const char* title, int x, int y, int width, int height) {
    if (!displayAvailable) return false;
    windowOpen = true;
    windowTitle = title;
    windowX = x;
    windowY = y;
    windowWidth = width;
    windowHeight = height;
    return true;
}

bool HeadlessBackend::TakeOverDisplay(int width, int height) {
    if (!windowOpen || width != screen.width || height != screen.height) return false;
    displayTakenOver = true;
    return true;
}

void HeadlessBackend::ShowImage(const Surface& image) {
    if (image.width != screen.width || image.height != screen.height) return;
    screen.pixels = image.pixels;
    screen.PixelsChanged();
    ++imagesShown;
    if (keepImages) shownImages.push_back({image.pixels, Milliseconds(), false});
}

void HeadlessBackend::PaceFrame() {
    if (flippedBefore) {
        const uint64_t due = lastFlipMicroseconds + FrameMicroseconds;
        if (microseconds < due) Advance(due - microseconds);
    }
    flippedBefore = true;
    lastFlipMicroseconds = microseconds;
}

void HeadlessBackend::FrameFlipped() {
    ServiceAudio();
    ++framesFlipped;
    if (keepImages && !shownImages.empty()) shownImages.back().flipped = true;
    if (onFlip) onFlip(*this);
}

bool HeadlessBackend::PollEvent(PlatformEvent& event) {
    ServiceAudio();
    if (events.empty()) return false;
    event = events.front();
    events.pop_front();
    return true;
}

bool HeadlessBackend::WaitEvent(PlatformEvent& event) {
    if (events.empty()) {
        Advance(FrameMicroseconds);
        if (onIdle) onIdle(*this);
    }
    return PollEvent(event);
}

bool HeadlessBackend::ReadKeys(uint8_t out[256]) {
    if (!keyboardFocused) {
        std::memset(out, 0, 256);
        return false;
    }
    std::memcpy(out, keys, 256);
    gamepad.AddKeys(out);
    return true;
}

void HeadlessBackend::GetCursorPosition(int& x, int& y) {
    x = cursorX;
    y = cursorY;
}

void HeadlessBackend::SetCursorVisible(bool visible) {
    cursorVisible = visible;
}

void HeadlessBackend::ShowMessageBox(const char* caption, const char* text) {
    messageBoxes.push_back({caption, text});
}

uint32_t HeadlessBackend::Milliseconds() {
    return clockStart + static_cast<uint32_t>(microseconds / 1000);
}

void HeadlessBackend::SleepSlice() {
    ServiceAudio();
    Advance(1000);
}

bool HeadlessBackend::OpenAudio(AudioMixer& newMixer, int rate) {
    if (!audioAvailable && !audioTriedFromStart) return false;
    mixer = &newMixer;
    sampleRate = rate;
    framesRendered = microseconds * static_cast<uint64_t>(sampleRate) / 1000000;
    if (!audioAvailable) {
        audioDeviceLost = true;
        audioReopener.NotOpened(Milliseconds());
    }
    return true;
}

void HeadlessBackend::CloseAudio() {
    mixer = nullptr;
    audioDeviceLost = false;
}

void HeadlessBackend::LockAudio() {
    ++audioLocksHeld;
}

void HeadlessBackend::UnlockAudio() {
    --audioLocksHeld;
}

void HeadlessBackend::AudioStateTouched(const char* what) {
    if (audioLocksHeld > 0) return;
    if (unlockedAudioTouch != nullptr) {
        unlockedAudioTouch(what);
        return;
    }
    std::fprintf(stderr, "%s touched the mixer's state without the audio lock\n", what);
    std::abort();
}

void HeadlessBackend::CloseMainWindow() {
    windowOpen = false;
}
