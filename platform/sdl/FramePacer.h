#pragma once
#include <cstdint>
#include <functional>

// A monotonic clock in nanoseconds that can be slept on: the machine's, or the tests' manual one.
class PacingClock {
public:
    virtual ~PacingClock() = default;
    virtual uint64_t Nanoseconds() = 0;
    // Sleeps for about this long; the system may wake a little late, never early.
    virtual void Sleep(uint64_t nanoseconds) = 0;
};

// Sleeps until the deadline and spins on the clock only for the last moment, which a sleep can't
// be trusted to hit.
void WaitUntil(PacingClock& clock, uint64_t deadline);

// Sets the moments of the frames. The pictures go out on a grid of 1/60 s: the game moves a fixed
// amount per frame, so it must see 60 frames a second everywhere. A late picture goes out at once
// and the next one is due at the grid's next moment, so the time it lost is made up; only a frame
// that misses a whole moment gives that moment up. Each frame starts just early enough to be ready
// by its moment, so that it reads its input as late as it can.
class FramePacer {
public:
    static constexpr uint64_t FrameNanoseconds = 1000000000 / 60;
    // Kept in hand on top of the longest recent frame.
    static constexpr uint64_t Margin = 1000000;
    static constexpr int RememberedFrames = 32;
    // Intervals between the display's returns that tell whether it still waits for the screen.
    static constexpr int WatchedPresents = 15;
    // How far from 1/60 s their median may be for the screen to keep setting the pace.
    static constexpr uint64_t VsyncTolerance = 200000;

    FramePacer();

    // Presents a few pictures back to back: true when the display call waited for the screen
    // between them, as it does with vsync.
    static bool DisplayWaits(PacingClock& clock, const std::function<void()>& present);

    // A finished picture: waits for its moment. With vsync the display waits for the screen
    // instead; the clock then only keeps the picture from being handed over much too early.
    void WaitToPresent(PacingClock& clock);
    // The display has taken the picture: waits until the next frame should start.
    void WaitForNextFrame(PacingClock& clock);
    // A timed pause of the game within a frame: not part of what drawing the frame takes.
    void PauseBegins(PacingClock& clock);
    void PauseEnds(PacingClock& clock);
    // The frame was held up by something else than its drawing (an inactive window, a message box).
    void FrameInterrupted();

    // The arithmetic of the waits.
    uint64_t PresentMoment(uint64_t ready) const;
    // The grid's moment that a picture ready then takes.
    uint64_t GridMoment(uint64_t ready) const;
    uint64_t NextFrameStart() const;
    // How long before its moment a frame starts: the longest of the recent frames, and the margin.
    uint64_t Lead() const;
    void NoteFrameTime(uint64_t ready);
    // With vsync: the display returned then. Vsync is given up when the returns stop coming at
    // the screen's 1/60 s.
    void WatchVsync(uint64_t returned);

    bool vsync;
    bool presentedBefore;
    // The grid's moment of the last picture; with vsync, when the display call returned.
    uint64_t lastMoment;
    bool frameStartKnown;
    uint64_t frameStart;  // when the frame was meant to start
    uint64_t pausedInFrame;
    bool pausing;
    uint64_t pauseStart;
    uint64_t frameTimes[RememberedFrames];  // from a frame's start to its picture being ready
    int nextFrameTime;
    // With vsync: the last intervals between returns, while nothing else held the frames.
    bool returnsFollowOn;
    uint64_t returnIntervals[WatchedPresents];
    int intervalsSeen;
};
