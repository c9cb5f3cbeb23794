#include "platform/web/WebAudio.h"

#include <cstdio>

#include "platform/sound/AudioMixer.h"

namespace {
void AudioCallback(void* userData, Uint8* stream, int length) {
    static_cast<AudioMixer*>(userData)->Render(reinterpret_cast<int16_t*>(stream), length / 4);
}
}  // namespace

WebAudio::WebAudio() : device(0), sampleRate(0) {}

bool WebAudio::Open(AudioMixer& mixer, int rate) {
    sampleRate = rate;
    if (SDL_WasInit(SDL_INIT_AUDIO) == 0 && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        std::fprintf(stderr, "The Flurber: this browser plays no sound (%s)\n", SDL_GetError());
        return false;
    }
    SDL_AudioSpec wanted{};
    wanted.freq = rate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 2;
    wanted.samples = BufferFrames;
    wanted.callback = AudioCallback;
    wanted.userdata = &mixer;
    // The browser's own rate is what it plays at: SDL converts the mixer's to it.
    device = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
    if (device == 0) {
        std::fprintf(stderr, "The Flurber: no sound in this browser (%s)\n", SDL_GetError());
        return false;
    }
    SDL_PauseAudioDevice(device, 0);
    return true;
}

void WebAudio::Close() {
    if (device != 0) SDL_CloseAudioDevice(device);
    device = 0;
}

void WebAudio::Lock() {
    if (device != 0) SDL_LockAudioDevice(device);
}

void WebAudio::Unlock() {
    if (device != 0) SDL_UnlockAudioDevice(device);
}

uint32_t WebAudio::QueuedFrames() const {
    // The node keeps a buffer ahead of the one it plays, and the browser's output some more:
    // closing the device drops them at once (SDL closes the AudioContext too), so a fade must
    // have passed through all of them. Two buffers cut the end of the song in some quits.
    return device != 0 ? 3 * BufferFrames : 0;
}
