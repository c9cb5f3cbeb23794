#include "platform/sdl/FramePacer.h"

#include <algorithm>

namespace {
// Sleeps wake up to a few tens of microseconds late (the main thread's timer slack is lowered to
// make that so); the rest of a wait is slept.
constexpr uint64_t SpinWindow = 100000;
// With vsync, a frame may be handed over this much early: the display holds it for the screen.
constexpr uint64_t VsyncSlack = 2000000;
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
      lastPresent(0),
      frameStartKnown(false),
      frameStart(0),
      frameTimes(),
      nextFrameTime(0) {}

void FramePacer::WaitToPresent(PacingClock& clock) {
    const uint64_t ready = clock.Nanoseconds();
    NoteFrameTime(ready);
    const uint64_t moment = PresentMoment(ready);
    WaitUntil(clock, moment);
    // The moment itself, not when the wait ended: the frames keep exact time.
    presentedBefore = true;
    lastPresent = moment;
}

void FramePacer::WaitForNextFrame(PacingClock& clock) {
    if (vsync) {
        // The display call has just returned at the screen's refresh: the next frame starts now.
        lastPresent = clock.Nanoseconds();
    } else {
        // The start needn't be exact (the present is): a plain sleep will do.
        const uint64_t start = NextFrameStart();
        const uint64_t now = clock.Nanoseconds();
        if (start > now) clock.Sleep(start - now);
    }
    frameStartKnown = true;
    frameStart = clock.Nanoseconds();
}

uint64_t FramePacer::PresentMoment(uint64_t ready) const {
    if (!presentedBefore) return ready;
    const uint64_t due = lastPresent + FrameNanoseconds - (vsync ? VsyncSlack : 0);
    // A late frame goes out at once, and the frames after it keep 1/60 s from it.
    return std::max(ready, due);
}

uint64_t FramePacer::NextFrameStart() const {
    return lastPresent + FrameNanoseconds - Lead();
}

uint64_t FramePacer::Lead() const {
    const uint64_t longest = *std::max_element(frameTimes, frameTimes + RememberedFrames);
    return std::min(longest + Margin, FrameNanoseconds);
}

void FramePacer::NoteFrameTime(uint64_t ready) {
    if (!frameStartKnown || ready < frameStart) return;
    frameStartKnown = false;
    const uint64_t taken = ready - frameStart;
    if (taken > LongestUsualFrame) return;
    frameTimes[nextFrameTime] = taken;
    nextFrameTime = (nextFrameTime + 1) % RememberedFrames;
}
