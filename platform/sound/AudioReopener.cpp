#include "platform/sound/AudioReopener.h"

#include <algorithm>

#include "platform/sound/AudioMixer.h"

namespace {
constexpr uint64_t ChunkFrames = 1024;
}  // namespace

AudioReopener::AudioReopener() : lost(false), lostAt(0), lastTry(0), framesKept(0), tries(0) {}

void AudioReopener::Lost(uint32_t now) {
    lost = true;
    lostAt = now;
    lastTry = now - RetryMs;
    framesKept = 0;
    tries = 0;
}

void AudioReopener::NotOpened(uint32_t now) {
    Lost(now);
    lastTry = now;
}

bool AudioReopener::TryDue(uint32_t now) {
    if (!lost || now - lastTry < RetryMs) return false;
    lastTry = now;
    ++tries;
    return true;
}

void AudioReopener::Reopened() {
    lost = false;
}

uint64_t AudioReopener::KeepTime(AudioMixer& mixer, int sampleRate, uint32_t now) {
    if (!lost) return 0;
    const uint64_t rate = static_cast<uint64_t>(sampleRate);
    const uint64_t due = static_cast<uint64_t>(now - lostAt) * rate / 1000;
    if (due <= framesKept) return 0;
    const uint64_t owed = std::min(due - framesKept, rate);
    framesKept = due;
    scratch.resize(ChunkFrames * 2);
    for (uint64_t done = 0; done < owed; done += ChunkFrames) {
        mixer.Render(scratch.data(), static_cast<int>(std::min(ChunkFrames, owed - done)));
    }
    return owed;
}
