#include "platform/FramePacer.h"

#include <SDL.h>

#include <chrono>
#include <thread>

namespace {
constexpr double FramesPerSecond = 60.0;
}

void FramePacer::WaitForFrameTime() {
    const Uint64 frequency = SDL_GetPerformanceFrequency();
    const Uint64 period = static_cast<Uint64>(frequency / FramesPerSecond);
    if (lastFrameCounter != 0) {
        const Uint64 due = lastFrameCounter + period;
        for (;;) {
            const Uint64 now = SDL_GetPerformanceCounter();
            if (now >= due) break;
            // Sleep while more than a couple of milliseconds remain, then spin to the exact moment.
            if ((due - now) * 1000 > frequency * 2) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    }
    lastFrameCounter = SDL_GetPerformanceCounter();
}
