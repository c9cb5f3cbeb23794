#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/Backend.h"
#include "platform/display/Surface.h"
#include "platform/input/Gamepad.h"
#include "platform/sound/AudioReopener.h"

// The platform of the tests: nothing reaches a real screen, speaker or keyboard. Its clock moves
// only when the program waits or paces a frame, so a whole room plays in milliseconds; what the
// program shows is kept in memory, its sound is rendered offline, and keys, cursor and window
// events are whatever the test sets.
class HeadlessBackend : public Backend {
public:
    struct ShownImage {
        std::vector<uint32_t> pixels;
        uint32_t time;
        // True for a whole frame presented by a flip, false for a picture drawn straight onto the
        // visible surface.
        bool flipped;
    };
    struct MessageBoxRecord {
        std::string caption;
        std::string text;
    };

    HeadlessBackend();
    ~HeadlessBackend() override;

    // --- what a test sets ---
    void SetKey(int keyCode, bool down);
    // Lets the key go: clears it and sends the key-up event the window system would send.
    void ReleaseKey(int keyCode);
    void SetCursor(int x, int y);
    void PushEvent(PlatformEvent event);
    // The left button goes down over (x, y); Click lets it go.
    void PressButton(int x, int y);
    void Click(int x, int y);
    // The window changed size or place under a still pointer, which is now over (x, y) of the
    // picture: no move of the player's.
    void WindowChangedUnderPointer(int x, int y);
    void CloseWindow();
    // Moves the clock on by the given microseconds, rendering the sound of that time.
    void Advance(uint64_t microseconds);
    // The audio device goes away, as when the sound server restarts; it opens again at a try
    // once audioAvailable is true.
    void LoseAudioDevice();
    // Game controllers: their keys join the keyboard's, and the keys they let go arrive as key-up
    // events, as on the real platform.
    void ConnectController(int32_t id);
    void DisconnectController(int32_t id);
    void SetControllerControl(int32_t id, PadControl control, bool down);
    void SetControllerStickX(int32_t id, int32_t value);
    void SetControllerStickY(int32_t id, int32_t value);

    // --- what a test reads ---
    // The picture on the screen now.
    const Surface& Screen() const { return screen; }
    uint32_t ScreenPixel(int x, int y) const { return screen.Pixel(x, y); }

    // --- Backend ---
    void GetDesktopSize(int& width, int& height) override;
    bool CreateMainWindow(const char* title, int x, int y, int width, int height) override;
    bool TakeOverDisplay(int width, int height) override;
    void ShowImage(const Surface& image) override;
    void PaceFrame() override;
    void FrameFlipped() override;
    bool PollEvent(PlatformEvent& event) override;
    bool WaitEvent(PlatformEvent& event) override;
    bool ReadKeys(uint8_t keys[256]) override;
    void GetCursorPosition(int& x, int& y) override;
    uint32_t PointerMoves() override { return pointerMoves; }
    void SetCursorVisible(bool visible) override;
    void ShowMessageBox(const char* caption, const char* text) override;
    uint32_t Milliseconds() override;
    void SleepSlice() override;
    bool ClockRunsByItself() override { return clockRunsByItself; }
    bool OpenAudio(AudioMixer& mixer, int sampleRate) override;
    void CloseAudio() override;
    uint32_t AudioQueuedFrames() override { return audioQueuedFrames; }
    void LockAudio() override;
    void UnlockAudio() override;
    // A touch without the lock goes to unlockedAudioTouch.
    void AudioStateTouched(const char* what) override;
    void CloseMainWindow() override;

    // Told what the program touched of the mixer's state without holding the audio lock; the test
    // suite makes that a failure of the test. Unset, such a touch ends the process: a missing lock
    // must never pass unseen.
    static void (*unlockedAudioTouch)(const char* what);

    // Scripting hooks: onFlip runs after every flipped frame, onIdle when the program waits for an
    // event that no one has queued.
    std::function<void(HeadlessBackend&)> onFlip;
    std::function<void(HeadlessBackend&)> onIdle;

    // Settings.
    int desktopWidth;
    int desktopHeight;
    bool displayAvailable;
    bool audioAvailable;  // a device opens, at start-up or at a try
    // With no device at start-up, the program is tried again as the real platform does; else (the
    // tests that do not listen) the platform has no sound at all.
    bool audioTriedFromStart;
    bool keyboardFocused;
    bool keepImages;    // keep every shown picture in shownImages
    bool captureAudio;  // keep the rendered sound in audio
    uint32_t audioQueuedFrames;
    // Lets slow work run on threads of its own, as it does on the real platform.
    bool clockRunsByItself;
    uint32_t clockStart;  // the timer's value at start, to test its wrap

    // State.
    uint64_t microseconds;
    uint64_t lastFlipMicroseconds;
    bool flippedBefore;
    uint8_t keys[256];
    int cursorX;
    int cursorY;
    uint32_t pointerMoves;
    bool cursorVisible;
    std::deque<PlatformEvent> events;
    Gamepad gamepad;
    std::vector<MessageBoxRecord> messageBoxes;
    std::vector<ShownImage> shownImages;
    Surface screen;
    int framesFlipped;
    int imagesShown;
    bool windowOpen;
    bool displayTakenOver;
    std::string windowTitle;
    int windowX;
    int windowY;
    int windowWidth;
    int windowHeight;
    AudioMixer* mixer;
    int sampleRate;
    uint64_t framesRendered;
    // What the speaker played, stereo and interleaved: silence while the device was lost.
    std::vector<int16_t> audio;
    bool audioDeviceLost;
    AudioReopener audioReopener;
    int audioOpenTries;  // tries to open the device again, since the start

private:
    void PushButtonEvent(PlatformEvent::Type type, int x, int y);
    void PostControllerKeyUps();
    // As the real platform does whenever it polls: tries a lost device again when a try is due.
    void ServiceAudio();
};
