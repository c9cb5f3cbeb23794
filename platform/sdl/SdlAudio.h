#pragma once
#include <SDL.h>

class AudioMixer;

// The one SDL audio device; its callback pulls every sound and the music from the mixer.
class SdlAudio {
public:
    SdlAudio() : device(0) {}
    ~SdlAudio() { Close(); }
    SdlAudio(const SdlAudio&) = delete;
    SdlAudio& operator=(const SdlAudio&) = delete;

    // False when there is no audio device; the game then plays in silence.
    bool Open(AudioMixer& mixer, int sampleRate);
    void Close();
    void Lock();
    void Unlock();

    SDL_AudioDeviceID device;
};
