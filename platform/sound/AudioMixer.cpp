#include "platform/sound/AudioMixer.h"

#include <algorithm>
#include <cmath>

#include "platform/Backend.h"
#include "platform/sound/MusicPerformance.h"
#include "platform/sound/SoundBuffer.h"

namespace {
// Frames mixed at a time: small enough for the stack, and music ticks stay fine-grained.
constexpr int BlockFrames = 256;
}  // namespace

AudioMixer::AudioMixer() : music(nullptr), fadeFrames(0), fadeLeft(0), framesSilent(0) {}

void AudioMixer::Render(int16_t* stereo, int frameCount) {
    float mix[BlockFrames * 2];
    while (frameCount > 0) {
        const int count = std::min(frameCount, BlockFrames);
        std::fill(mix, mix + count * 2, 0.0f);
        if (music != nullptr) music->Render(mix, count);
        for (SoundBuffer* voice : voices) {
            if (voice->playing) voice->MixInto(mix, count);
        }
        if (fadeFrames > 0) Fade(mix, count);
        for (int i = 0; i < count * 2; ++i) {
            const float sample = std::clamp(mix[i], -32768.0f, 32767.0f);
            stereo[i] = static_cast<int16_t>(std::lrint(sample));
        }
        stereo += count * 2;
        frameCount -= count;
    }
}

void AudioMixer::Fade(float* mix, int frameCount) {
    for (int i = 0; i < frameCount; ++i) {
        const float gain = static_cast<float>(fadeLeft) / static_cast<float>(fadeFrames);
        mix[i * 2] *= gain;
        mix[i * 2 + 1] *= gain;
        if (fadeLeft > 0) {
            --fadeLeft;
        } else {
            ++framesSilent;
        }
    }
}

void AudioMixer::FadeOut(int frameCount) {
    CheckAudioLocked("AudioMixer::FadeOut");
    fadeFrames = std::max(frameCount, 1);
    fadeLeft = fadeFrames;
    framesSilent = 0;
}

void AudioMixer::AddVoice(SoundBuffer* voice) {
    AudioLock lock;
    CheckAudioLocked("AudioMixer::AddVoice");
    voices.push_back(voice);
}

void AudioMixer::RemoveVoice(SoundBuffer* voice) {
    AudioLock lock;
    CheckAudioLocked("AudioMixer::RemoveVoice");
    voices.erase(std::remove(voices.begin(), voices.end(), voice), voices.end());
}

void AudioMixer::DetachVoices() {
    AudioLock lock;
    CheckAudioLocked("AudioMixer::DetachVoices");
    for (SoundBuffer* voice : voices) {
        voice->playing = false;
        voice->mixer = nullptr;
    }
    voices.clear();
}

AudioLock::AudioLock() : backend(activeBackend) {
    if (backend != nullptr) backend->LockAudio();
}

AudioLock::~AudioLock() {
    if (backend != nullptr) backend->UnlockAudio();
}

void CheckAudioLocked(const char* what) {
    if (activeBackend != nullptr) activeBackend->AudioStateTouched(what);
}
