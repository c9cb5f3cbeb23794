#pragma once
#include <cstdint>

#include "platform/sound/AudioMixer.h"
#include "platform/sound/SoundBuffer.h"

// The sound output: one audio device of the backend, fed by the mixer.
class SoundDevice {
public:
    SoundDevice();
    ~SoundDevice();
    SoundDevice(const SoundDevice&) = delete;
    SoundDevice& operator=(const SoundDevice&) = delete;

    // Opens the backend's audio device; false (and silence) on a platform without sound. Where no
    // device opens yet, the mixer plays into nothing until one does.
    bool Open();
    // Fades every sound and the music out over a few milliseconds and waits until the fade has
    // been heard, so that closing cuts nothing audible.
    void FadeOut();

    // Makes a static buffer as the description asks: PCM, 8 or 16 bits, mono or stereo, 100 to
    // 200000 frames a second, 4 bytes to 32 MB and no more than about three minutes long; anything
    // else fails (a negative result) with out set to null. Without an audio device the buffer is
    // made all the same and never heard.
    int32_t CreateSoundBuffer(const SoundBufferDesc* desc, SoundBuffer** out);
    // The answer CreateSoundBuffer gives the description, short of running out of memory: a loader
    // asks before it reads a sound that could never be made.
    static int32_t CheckBufferDesc(const SoundBufferDesc* desc);

    AudioMixer mixer;
    bool opened;  // the backend pulls the mixer, through a device or, until one opens, into nothing
};
