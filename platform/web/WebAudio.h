#pragma once
#include <SDL.h>

#include <cstdint>

class AudioMixer;

// The page's sound: SDL's audio device, which renders the mixer from a Web Audio node on the main
// thread whenever the browser asks for more. The browser lets it sound only after the player's
// first click or key, which the page waits for before the game starts.
class WebAudio {
public:
    // About 85 ms a buffer, as on the desktop: the callback runs between the game's frames and
    // waits, so a long frame must not leave the output empty.
    static constexpr int BufferFrames = 4096;

    WebAudio();
    ~WebAudio() { Close(); }
    WebAudio(const WebAudio&) = delete;
    WebAudio& operator=(const WebAudio&) = delete;

    // False when the browser has no Web Audio; the game then plays in silence.
    bool Open(AudioMixer& mixer, int sampleRate);
    void Close();
    void Lock();
    void Unlock();
    // The frames rendered but not yet heard, at most.
    uint32_t QueuedFrames() const;

    SDL_AudioDeviceID device;
    int sampleRate;
};
