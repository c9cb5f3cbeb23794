#include "platform/sdl/SdlAudio.h"

#include <cstdint>
#include <cstdio>

#include "platform/sound/AudioMixer.h"

namespace {

void AudioCallback(void* userData, Uint8* stream, int length) {
    auto* mixer = static_cast<AudioMixer*>(userData);
    mixer->Render(reinterpret_cast<int16_t*>(stream), length / 4);
}

}  // namespace

bool SdlAudio::Open(AudioMixer& mixer, int sampleRate) {
    if (SDL_WasInit(SDL_INIT_AUDIO) == 0 && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        std::fprintf(stderr, "The Flurber: no audio (%s); playing in silence\n", SDL_GetError());
        return false;
    }
    SDL_AudioSpec wanted{};
    wanted.freq = sampleRate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 2;
    wanted.samples = 1024;
    wanted.callback = AudioCallback;
    wanted.userdata = &mixer;
    device = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
    if (device == 0) {
        std::fprintf(stderr, "The Flurber: no audio device (%s); playing in silence\n",
                     SDL_GetError());
        return false;
    }
    SDL_PauseAudioDevice(device, 0);
    return true;
}

void SdlAudio::Close() {
    if (device != 0) SDL_CloseAudioDevice(device);
    device = 0;
}

void SdlAudio::Lock() {
    if (device != 0) SDL_LockAudioDevice(device);
}

void SdlAudio::Unlock() {
    if (device != 0) SDL_UnlockAudioDevice(device);
}
