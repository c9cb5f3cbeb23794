#include "media/Sound.h"

void LoadWaveSound(const char* path, SoundBuffer*& slot) {
    (void)path;
    (void)slot;
}

void PlaySoundFromStart(SoundBuffer*& slot) { (void)slot; }

int32_t IsSoundPlaying(SoundBuffer*& slot) {
    (void)slot;
    return 0;
}

void StopSound(SoundBuffer*& slot) { (void)slot; }

void AdjustSoundVolume(SoundBuffer*& slot, int32_t change) {
    (void)slot;
    (void)change;
}

void ReleaseSound(SoundBuffer*& slot) { slot = nullptr; }
