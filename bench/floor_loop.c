/* The floor of the CPU figures: a minimal SDL2 loop showing a changing 800 x 600 picture 60 times a
   second through the native X11 framebuffer, for SECONDS (default 10); with WIDTH HEIGHT, a picture
   of that size in a borderless window. Built and run by cpu.py and frame_rate.py. */
#include <SDL.h>
#include <stdlib.h>

int main(int argc, char **argv) {
    const int seconds = argc > 1 ? atoi(argv[1]) : 10;
    const int width = argc > 3 ? atoi(argv[2]) : 800;
    const int height = argc > 3 ? atoi(argv[3]) : 600;
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
    SDL_Window *window = SDL_CreateWindow("floor", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                          width, height, argc > 3 ? SDL_WINDOW_BORDERLESS : 0);
    if (!window) return 1;
    const Uint64 frequency = SDL_GetPerformanceFrequency();
    Uint64 due = SDL_GetPerformanceCounter();
    for (int frame = 0; frame < seconds * 60; ++frame) {
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
        }
        SDL_Surface *surface = SDL_GetWindowSurface(window);
        SDL_FillRect(surface, NULL, SDL_MapRGB(surface->format, frame * 3, 128, 255 - frame * 3));
        SDL_UpdateWindowSurface(window);
        due += frequency / 60;
        const Uint64 now = SDL_GetPerformanceCounter();
        if (due > now) SDL_Delay((Uint32)((due - now) * 1000 / frequency));
    }
    SDL_Quit();
    return 0;
}
