/* The yardstick of frames a second on a compositor: a minimal SDL2 loop presenting a changing
   picture of the window's size through SDL's renderer with vsync, full screen, for SECONDS (default
   10); it prints "frames N seconds S" of the presents after the first second. Built and run by
   wayland.py. */
#include <SDL.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv) {
    const int seconds = argc > 1 ? atoi(argv[1]) : 10;
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
    SDL_Window *window = SDL_CreateWindow("vsync", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                          800, 600, SDL_WINDOW_FULLSCREEN_DESKTOP);
    if (!window) return 1;
    SDL_Renderer *renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_PRESENTVSYNC);
    if (!renderer) return 1;
    const Uint64 frequency = SDL_GetPerformanceFrequency();
    const Uint64 start = SDL_GetPerformanceCounter();
    Uint64 counted_from = 0;
    long frames = 0;
    for (int frame = 0;; ++frame) {
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
        }
        SDL_SetRenderDrawColor(renderer, frame * 3, 128, 255 - frame * 3, 255);
        SDL_RenderClear(renderer);
        SDL_RenderPresent(renderer);
        const Uint64 now = SDL_GetPerformanceCounter();
        if (now - start < frequency) continue;
        if (counted_from == 0) counted_from = now;
        ++frames;
        if (now - start >= (Uint64)seconds * frequency) {
            printf("frames %ld seconds %.3f\n", frames - 1, (double)(now - counted_from) / frequency);
            break;
        }
    }
    SDL_Quit();
    return 0;
}
