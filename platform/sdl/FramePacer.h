#pragma once
#include <cstdint>

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

// Sets the moments of the frames. Each picture goes out 1/60 s after the one before: the game moves
// a fixed amount per frame, so it must see 60 frames a second everywhere. The frame after it starts
// just early enough to be ready by then, so that it reads its input as late as it can and its
// picture doesn't wait for most of a frame before it is shown.
class FramePacer {
public:
    static constexpr uint64_t FrameNanoseconds = 1000000000 / 60;
    // Kept in hand on top of the longest recent frame.
    static constexpr uint64_t Margin = 1000000;
    // A frame that took longer than this held a timed pause; it says nothing about the next one.
    static constexpr uint64_t LongestUsualFrame = 4000000;
    static constexpr int RememberedFrames = 32;

    FramePacer();

    // A finished picture: waits for its moment, which is then the moment it goes out. With vsync
    // the display waits for the screen instead; the clock then only keeps a display that doesn't
    // wait from running away.
    void WaitToPresent(PacingClock& clock);
    // The display has taken the picture: waits until the next frame should start.
    void WaitForNextFrame(PacingClock& clock);

    // The arithmetic of the two waits.
    uint64_t PresentMoment(uint64_t ready) const;
    uint64_t NextFrameStart() const;
    // How long before its moment a frame starts: the longest of the recent frames, and the margin.
    uint64_t Lead() const;
    void NoteFrameTime(uint64_t ready);

    bool vsync;
    bool presentedBefore;
    uint64_t lastPresent;  // with vsync, when the display call returned at the screen's refresh
    bool frameStartKnown;
    uint64_t frameStart;
    uint64_t frameTimes[RememberedFrames];  // from a frame's start to its picture being ready
    int nextFrameTime;
};
