/* SDL 3's PulseAudio driver crashes when the server is left with no sink at all.
 *
 * Seen with SDL 3.4.18 (Debian forky, also under sdl2-compat 2.32.74) and PulseAudio 17: once the
 * last sink is unloaded, the server's default sink has no name, and the driver's server-info
 * callback on its "PulseMainloop" thread compares and copies that NULL name (a segmentation fault
 * in strcmp, called from libSDL3 inside libpulse's reply dispatch). No device needs to be open:
 * initialising the audio subsystem on the pulseaudio driver is enough.
 *
 *   sdl3_last_sink [open]    initialises SDL's audio on PulseAudio, opens the default playback
 *                            device with "open", then runs 10 s reporting device removals.
 * sdl3_last_sink.sh builds it and runs it against a PulseAudio server of its own. */
#include <SDL3/SDL.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
    const int open_device = argc > 1 && strcmp(argv[1], "open") == 0;
    SDL_SetHint(SDL_HINT_AUDIO_DRIVER, "pulseaudio");
    if (!SDL_Init(SDL_INIT_AUDIO)) {
        fprintf(stderr, "SDL_Init: %s\n", SDL_GetError());
        return 2;
    }
    printf("SDL %d, driver %s\n", SDL_GetVersion(), SDL_GetCurrentAudioDriver());
    SDL_AudioStream* stream = NULL;
    if (open_device) {
        const SDL_AudioSpec spec = {SDL_AUDIO_S16, 2, 48000};
        stream = SDL_OpenAudioDeviceStream(SDL_AUDIO_DEVICE_DEFAULT_PLAYBACK, &spec, NULL, NULL);
        if (stream == NULL) {
            fprintf(stderr, "SDL_OpenAudioDeviceStream: %s\n", SDL_GetError());
            return 2;
        }
        SDL_ResumeAudioStreamDevice(stream);
    }
    printf("ready\n");
    fflush(stdout);
    for (int i = 0; i < 100; ++i) {
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
            if (event.type == SDL_EVENT_AUDIO_DEVICE_REMOVED) {
                printf("device %u removed\n", (unsigned)event.adevice.which);
                fflush(stdout);
            }
        }
        SDL_Delay(100);
    }
    printf("still running after 10 s\n");
    SDL_DestroyAudioStream(stream);
    SDL_Quit();
    return 0;
}
