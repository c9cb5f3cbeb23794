#pragma once
#include "platform/AudioMixer.h"

// The sound output: one audio device of the backend, fed by the mixer.
class SoundDevice {
public:
    SoundDevice();
    ~SoundDevice();
    SoundDevice(const SoundDevice&) = delete;
    SoundDevice& operator=(const SoundDevice&) = delete;

    // Opens the backend's audio device; false (and silence) when there is none.
    bool Open();

    AudioMixer mixer;
    bool opened;
};
