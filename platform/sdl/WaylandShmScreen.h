#pragma once
#include <SDL.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/sdl/ChangedRows.h"
#include "platform/sdl/PictureScaler.h"
#include "platform/sdl/SoftwareScreen.h"

class Surface;
struct wl_buffer;
struct wl_display;
struct wl_event_queue;
struct wl_registry;
struct wl_shm;
struct wl_surface;

// On a Wayland desktop SDL 2 gives a window no framebuffer of its own, and everything it offers
// instead draws through OpenGL. This does what the X server's shared image does there: the picture,
// scaled by the processor, goes into buffers of memory shared with the compositor, attached to the
// window's own surface with only the rows that changed marked as damaged. The buffers have the
// window's full pixel size; SDL sets the surface's scale to match.
class WaylandShmScreen : public SoftwareScreen {
public:
    WaylandShmScreen();
    ~WaylandShmScreen() override { Close(); }
    WaylandShmScreen(const WaylandShmScreen&) = delete;
    WaylandShmScreen& operator=(const WaylandShmScreen&) = delete;

    // False when the window is not on Wayland or the compositor shares no memory.
    bool Start(SDL_Window* newWindow, int width, int height) override;
    // Scales what changed of the picture into a free buffer, ready to be presented.
    void Prepare(const Surface& picture) override;
    // The window changed or was uncovered: the next present repaints all of it, bars included.
    void WindowChanged() override { wholeWindowDue = true; }
    // Shows the last picture again (the window was exposed while no frames run).
    void Redraw() override;
    // Hands the prepared buffer to the compositor (nothing, when the picture repeats the last one).
    void Present() override;
    void Close();

    // One buffer shared with the compositor. It is busy from the commit that hands it over until
    // the compositor releases it, and is drawn into only meanwhile not.
    struct Buffer {
        wl_buffer* buffer = nullptr;
        uint32_t* pixels = nullptr;
        size_t bytes = 0;
        int width = 0;
        int height = 0;
        bool busy = false;
        // False until the whole window, bars included, has been drawn into it at this size.
        bool complete = false;
        // The picture rows that changed since this buffer was last drawn.
        std::vector<uint8_t> staleRows;
    };
    // Weston was seen holding two, now and then three, while the game drew at 60 a second.
    static constexpr int BufferCount = 4;

    SDL_Window* window;
    wl_display* display;
    wl_surface* surface;
    // Our own queue, so that the releases of our buffers are never dispatched by SDL.
    wl_event_queue* queue;
    wl_display* displayOnQueue;
    wl_registry* registry;
    wl_shm* shm;
    // wl_surface_damage_buffer needs version 4 of the surface; before it damage is in window units.
    bool damageInBufferPixels;
    Buffer buffers[BufferCount];
    Buffer* prepared;
    PictureScaler scaler;
    int logicalWidth;
    int logicalHeight;
    PictureArea area;
    bool wholeWindowDue;
    ChangedRows changes;
    // The picture rows that changed since the last picture the compositor was sent.
    std::vector<uint8_t> unsentRows;
    // What the prepared buffer changed on the screen, in buffer pixels.
    std::vector<SDL_Rect> damage;

private:
    bool BindSharedMemory();
    // A buffer not held by the compositor at this size, waiting a little for one if need be; null
    // when none comes.
    Buffer* FreeBuffer(int width, int height);
    Buffer* IdleBuffer(int width, int height);
    bool Allocate(Buffer& slot, int width, int height);
    void Release(Buffer& slot);
    // Reads what the compositor sent, for at most this long if nothing came yet.
    void ReadEvents(int milliseconds);
    void Draw(const uint32_t* picture, int width, int height, const std::vector<RowBand>& bands);
    // The bands of marked rows.
    static std::vector<RowBand> Bands(const std::vector<uint8_t>& rows);
};
