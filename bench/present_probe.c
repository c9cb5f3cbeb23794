/* Preloaded into the real game by the measurements of bench/ (desktop.py). For every presented
   frame (a renderer present once a picture was uploaded, a framebuffer update, or a picture given
   to the Wayland present) it writes to the file
   that PRESENT_PROBE_LOG names:
     frame HANDED RETURNED HASH CLOCK_READS
   the moments (ns, realtime) the frame was handed to the display and the display call returned; a
   hash of its picture when PRESENT_PROBE_HASH is set (0 for an all-black one, and 0 without it);
   and how often the main thread read SDL's millisecond clock since the frame before (the timed
   busy waits read it hundreds of times, a frame once or twice). The first song's start is written
   as "music MOMENT". PRESENT_PROBE_EXIT ends the process at the first frame. */
#define _GNU_SOURCE
#include <SDL.h>
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

static int updated;
static long clock_reads;
static uint64_t texture_hash;
static FILE *log_file;
static int hashing = -1;

static long long now_ns(void) {
    struct timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

static FILE *out(void) {
    if (!log_file) {
        const char *path = getenv("PRESENT_PROBE_LOG");
        log_file = path ? fopen(path, "a") : stderr;
        if (!log_file) log_file = stderr;
    }
    return log_file;
}

static int want_hash(void) {
    if (hashing < 0) hashing = getenv("PRESENT_PROBE_HASH") != NULL;
    return hashing;
}

/* Every eighth pixel of every eighth row: enough to tell a lit menu item from an unlit one. An
   all-black picture hashes to 0. */
static uint64_t hash_pixels(const void *pixels, int width, int height, int pitch) {
    uint64_t h = 1469598103934665603ULL;
    uint32_t any = 0;
    for (int y = 0; y < height; y += 8) {
        const uint32_t *row = (const uint32_t *)((const uint8_t *)pixels + (size_t)y * pitch);
        for (int x = 0; x < width; x += 8) {
            any |= row[x] & 0xFFFFFF;
            h = (h ^ (row[x] & 0xFFFFFF)) * 1099511628211ULL;
        }
    }
    return any ? h : 0;
}

static void note_frame(long long handed, uint64_t hash) {
    fprintf(out(), "frame %lld %lld %llu %ld\n", handed, now_ns(), (unsigned long long)hash,
            clock_reads);
    fflush(out());
    clock_reads = 0;
    if (getenv("PRESENT_PROBE_EXIT")) _exit(0);
}

static int on_main_thread(void) { return syscall(SYS_gettid) == getpid(); }

Uint32 SDL_GetTicks(void) {
    static Uint32 (*real)(void);
    if (!real) real = dlsym(RTLD_NEXT, "SDL_GetTicks");
    if (on_main_thread()) ++clock_reads;
    return real();
}

Uint64 SDL_GetTicks64(void) {
    static Uint64 (*real)(void);
    if (!real) real = dlsym(RTLD_NEXT, "SDL_GetTicks64");
    if (on_main_thread()) ++clock_reads;
    return real();
}

/* The game uploads only the rows that changed, and nothing when the picture repeats: the whole
   picture is kept here, and every present after the first upload is a frame. */
static uint32_t uploaded[800 * 600];

int SDL_UpdateTexture(SDL_Texture *texture, const SDL_Rect *rect, const void *pixels, int pitch) {
    static int (*real)(SDL_Texture *, const SDL_Rect *, const void *, int);
    if (!real) real = dlsym(RTLD_NEXT, "SDL_UpdateTexture");
    updated = 1;
    if (want_hash()) {
        const SDL_Rect whole = {0, 0, 800, 600};
        const SDL_Rect *r = rect ? rect : &whole;
        for (int y = 0; y < r->h && r->y + y < 600; ++y) {
            const uint32_t *row = (const uint32_t *)((const uint8_t *)pixels + (size_t)y * pitch);
            for (int x = 0; x < r->w && r->x + x < 800; ++x) uploaded[(r->y + y) * 800 + r->x + x] = row[x];
        }
        texture_hash = hash_pixels(uploaded, 800, 600, 800 * 4);
    }
    return real(texture, rect, pixels, pitch);
}

void SDL_RenderPresent(SDL_Renderer *renderer) {
    static void (*real)(SDL_Renderer *);
    if (!real) real = dlsym(RTLD_NEXT, "SDL_RenderPresent");
    const long long handed = now_ns();
    real(renderer);
    if (!updated) return;
    note_frame(handed, texture_hash);
}

static uint64_t framebuffer_hash(SDL_Window *window) {
    static SDL_Surface *(*get)(SDL_Window *);
    if (!want_hash()) return 0;
    if (!get) get = dlsym(RTLD_NEXT, "SDL_GetWindowSurface");
    SDL_Surface *s = get(window);
    return s ? hash_pixels(s->pixels, s->w, s->h, s->pitch) : 0;
}

int SDL_UpdateWindowSurface(SDL_Window *window) {
    static int (*real)(SDL_Window *);
    if (!real) real = dlsym(RTLD_NEXT, "SDL_UpdateWindowSurface");
    const long long handed = now_ns();
    const int result = real(window);
    note_frame(handed, framebuffer_hash(window));
    return result;
}

int SDL_UpdateWindowSurfaceRects(SDL_Window *window, const SDL_Rect *rects, int count) {
    static int (*real)(SDL_Window *, const SDL_Rect *, int);
    if (!real) real = dlsym(RTLD_NEXT, "SDL_UpdateWindowSurfaceRects");
    const long long handed = now_ns();
    const int result = real(window, rects, count);
    note_frame(handed, framebuffer_hash(window));
    return result;
}

/* On Wayland the game's pictures reach the compositor through no call of SDL's: its Wayland present
   asks the window's size in pixels once for every picture it is given, before it scales what
   changed (and attaches nothing for a picture that repeats). Each ask is a frame; no hash. */
void SDL_GetWindowSizeInPixels(SDL_Window *window, int *w, int *h) {
    static void (*real)(SDL_Window *, int *, int *);
    if (!real) real = dlsym(RTLD_NEXT, "SDL_GetWindowSizeInPixels");
    real(window, w, h);
    if (on_main_thread()) note_frame(now_ns(), 0);
}

int fluid_player_play(void *player) {
    static int (*real)(void *);
    static int noted;
    if (!real) real = dlsym(RTLD_NEXT, "fluid_player_play");
    if (!noted) {
        noted = 1;
        fprintf(out(), "music %lld\n", now_ns());
        fflush(out());
    }
    return real(player);
}
