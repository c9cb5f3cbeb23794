#pragma once
#include <cstdint>
#include <string>

class Surface;
class AudioMixer;

// What the window system tells the program. Key codes are keyboard positions in the 0..255 table of
// KeyCodes.h.
struct PlatformEvent {
    enum Type {
        None,
        WindowClosed,
        Activated,
        Deactivated,
        KeyUp,
        MouseButtonDown,
        MouseButtonUp,
        DisplayReset
    };
    Type type = None;
    int key = 0;
    int x = 0;  // logical 800 x 600 coordinates; a click off the picture is not reported
    int y = 0;
};

// How the picture reaches the screen (--renderer): Auto chooses by the machine.
enum class RendererChoice { Auto, Software, Accelerated };

// The services of one platform: a real window on SDL2, or an in-memory one for tests. Everything
// above platform/ reaches it only through the device objects and System.h, never directly.
class Backend {
public:
    virtual ~Backend() = default;

    // The desktop the window is centred on.
    virtual void GetDesktopSize(int& width, int& height) = 0;
    virtual bool CreateMainWindow(const char* title, int x, int y, int width, int height) = 0;
    // Takes over the whole screen with a logical size of width x height.
    virtual bool TakeOverDisplay(int width, int height) = 0;
    // Shows the picture on the screen now.
    virtual void ShowImage(const Surface& image) = 0;
    // Called by a flip before it shows its picture: that picture goes out no sooner than one frame
    // time after the previous flip's.
    virtual void PaceFrame() = 0;
    // Told after a flipped frame has been shown. The real platform waits here until the next
    // frame should start, so that the frame reads its input just before it is drawn and shown.
    virtual void FrameFlipped() {}
    // Told around each timed pause of the game (the busy waits of the sequences and the menu), so
    // that the frame pacing does not take a pause for the time a frame takes to draw.
    virtual void PauseBegins() {}
    virtual void PauseEnds() {}

    virtual bool PollEvent(PlatformEvent& event) = 0;
    // Blocks until an event arrives (used while the window is inactive).
    virtual bool WaitEvent(PlatformEvent& event) = 0;
    // Fills 256 bytes by key position, 0x80 for a key that is down; false with all keys up when the
    // keyboard can't be read or the window has no focus.
    virtual bool ReadKeys(uint8_t keys[256]) = 0;
    // Cursor position in logical screen coordinates; (-1, -1), a place no screen region covers,
    // while the pointer is off the picture (on a letterbox bar, or outside the window).
    virtual void GetCursorPosition(int& x, int& y) = 0;
    // How often the player has moved the pointer, wrapping. The window changing size or place
    // under a still pointer moves the picture under it, but is no move of the player's.
    virtual uint32_t PointerMoves() = 0;
    virtual void SetCursorVisible(bool visible) = 0;
    virtual void ShowMessageBox(const char* caption, const char* text) = 0;

    // Milliseconds of a free-running clock that wraps at 2^32.
    virtual uint32_t Milliseconds() = 0;
    // Gives up the processor for at most one millisecond (busy waits call it between clock reads).
    virtual void SleepSlice() = 0;
    // False for a clock that moves only when the program waits (the tests'): slow work is then
    // done at once rather than on a thread of its own, so that its end always falls on the same
    // moment of the program.
    virtual bool ClockRunsByItself() { return true; }
    // False where the program has one thread only (the browser's): slow work is then done at once.
    virtual bool HasThreads() { return true; }

    // Starts pulling sound from the mixer; false when the platform has no sound at all. Where no
    // device opens now, the backend keeps the mixer's time and tries again about once a second,
    // as it does for a device lost later.
    virtual bool OpenAudio(AudioMixer& mixer, int sampleRate) = 0;
    virtual void CloseAudio() = 0;
    // How many frames the device may hold, rendered but not yet heard.
    virtual uint32_t AudioQueuedFrames() { return 0; }
    // Keeps the mixer from being rendered while its voices or music are changed.
    virtual void LockAudio() = 0;
    virtual void UnlockAudio() = 0;
    // Told whenever the program, not the mixer's rendering, reads or changes what the mixer
    // renders, which it may do only with the audio locked. The tests' platform checks that.
    virtual void AudioStateTouched(const char* what) { (void)what; }

    virtual void CloseMainWindow() = 0;
};

// The backend the program runs on; set once before the program starts.
extern Backend* activeBackend;
