#include "platform/sdl/FramePacer.h"

#include <algorithm>

namespace {
// Sleeps wake up to a few tens of microseconds late (the main thread's timer slack is lowered to
// make that so); the rest of a wait is slept.
constexpr uint64_t SpinWindow = 100000;
// With vsync, a frame may be handed over this much early: the display holds it for the screen.
constexpr uint64_t VsyncSlack = 2000000;
// A display may queue a picture or two before it waits: the intervals after those tell.
constexpr int ProbePresents = 8;
constexpr int ProbeIntervals = 3;
}  // namespace

void WaitUntil(PacingClock& clock, uint64_t deadline) {
    for (;;) {
        const uint64_t now = clock.Nanoseconds();
        if (now >= deadline) return;
        if (deadline - now > SpinWindow) clock.Sleep(deadline - now - SpinWindow);
    }
}

FramePacer::FramePacer()
    : vsync(false),
      presentedBefore(false),
      lastMoment(0),
      frameStartKnown(false),
      frameStart(0),
      pausedInFrame(0),
      pausing(false),
      pauseStart(0),
      frameTimes(),
      nextFrameTime(0),
      returnsFollowOn(false),
      returnIntervals(),
      intervalsSeen(0) {
    // Until frames have been seen, each starts as soon as the one before has gone out.
    std::fill(frameTimes, frameTimes + RememberedFrames, FrameNanoseconds);
}

bool FramePacer::DisplayWaits(PacingClock& clock, const std::function<void()>& present) {
    uint64_t returns[ProbePresents];
    for (uint64_t& returned : returns) {
        present();
        returned = clock.Nanoseconds();
    }
    // Waiting for a 60 Hz screen, each of these takes about 1/60 s; a display that doesn't wait
    // returns as soon as it has copied the picture.
    for (int i = ProbePresents - ProbeIntervals; i < ProbePresents; ++i) {
        if (returns[i] - returns[i - 1] < FrameNanoseconds / 2) return false;
    }
    return true;
}

void FramePacer::WaitToPresent(PacingClock& clock) {
    if (pausing) PauseEnds(clock);
    const uint64_t ready = clock.Nanoseconds();
    NoteFrameTime(ready);
    WaitUntil(clock, PresentMoment(ready));
    if (!vsync) lastMoment = GridMoment(ready);
    presentedBefore = true;
}

void FramePacer::WaitForNextFrame(PacingClock& clock) {
    const uint64_t now = clock.Nanoseconds();
    if (vsync) {
        // The display call has just returned at the screen's refresh: the next frame starts now.
        WatchVsync(now);
        lastMoment = now;
        frameStart = now;
    } else {
        // The start needn't be exact (the present is): a plain sleep will do. A sleep that wakes
        // late counts in the frame's time, so the lead grows to cover it.
        const uint64_t start = NextFrameStart();
        if (start > now) clock.Sleep(start - now);
        frameStart = std::max(start, now);
    }
    frameStartKnown = true;
    pausedInFrame = 0;
}

void FramePacer::PauseBegins(PacingClock& clock) {
    if (pausing) return;
    pausing = true;
    pauseStart = clock.Nanoseconds();
    returnsFollowOn = false;
}

void FramePacer::PauseEnds(PacingClock& clock) {
    if (!pausing) return;
    pausing = false;
    pausedInFrame += clock.Nanoseconds() - pauseStart;
}

void FramePacer::FrameInterrupted() {
    frameStartKnown = false;
    returnsFollowOn = false;
}

uint64_t FramePacer::PresentMoment(uint64_t ready) const {
    if (!presentedBefore) return ready;
    const uint64_t due = lastMoment + FrameNanoseconds - (vsync ? VsyncSlack : 0);
    // A late picture goes out at once.
    return std::max(ready, due);
}

uint64_t FramePacer::GridMoment(uint64_t ready) const {
    if (!presentedBefore) return ready;
    const uint64_t due = lastMoment + FrameNanoseconds;
    if (ready <= due) return due;
    // Late: the moments it missed altogether are given up, the one it is late for is kept.
    return due + (ready - due) / FrameNanoseconds * FrameNanoseconds;
}

uint64_t FramePacer::NextFrameStart() const {
    return lastMoment + FrameNanoseconds - Lead();
}

uint64_t FramePacer::Lead() const {
    const uint64_t longest = *std::max_element(frameTimes, frameTimes + RememberedFrames);
    return std::min(longest + Margin, FrameNanoseconds);
}

void FramePacer::NoteFrameTime(uint64_t ready) {
    if (!frameStartKnown || ready < frameStart + pausedInFrame) return;
    frameStartKnown = false;
    frameTimes[nextFrameTime] = ready - frameStart - pausedInFrame;
    nextFrameTime = (nextFrameTime + 1) % RememberedFrames;
}

void FramePacer::WatchVsync(uint64_t returned) {
    const bool followsOn = returnsFollowOn && presentedBefore && returned > lastMoment;
    returnsFollowOn = true;
    if (!followsOn) return;
    returnIntervals[intervalsSeen % WatchedPresents] = returned - lastMoment;
    ++intervalsSeen;
    if (intervalsSeen < WatchedPresents) return;
    uint64_t sorted[WatchedPresents];
    std::copy(returnIntervals, returnIntervals + WatchedPresents, sorted);
    std::nth_element(sorted, sorted + WatchedPresents / 2, sorted + WatchedPresents);
    const uint64_t median = sorted[WatchedPresents / 2];
    const uint64_t off =
        median > FrameNanoseconds ? median - FrameNanoseconds : FrameNanoseconds - median;
    // The display doesn't wait for a 60 Hz screen (any more): the clock sets the pace, on a grid
    // that starts from this picture.
    if (off > VsyncTolerance) vsync = false;
}
