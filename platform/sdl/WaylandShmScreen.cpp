#include "platform/sdl/WaylandShmScreen.h"

#include <algorithm>
#include <cstring>

#include "platform/display/Surface.h"

#ifdef FLURBER_HAVE_WAYLAND
#include <SDL_syswm.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

namespace {

void BufferReleased(void* data, wl_buffer*) {
    static_cast<WaylandShmScreen::Buffer*>(data)->busy = false;
}
const wl_buffer_listener BufferListener = {BufferReleased};

void GlobalAdded(void* data, wl_registry* registry, uint32_t name, const char* interface,
                 uint32_t) {
    auto* shm = static_cast<wl_shm**>(data);
    if (*shm == nullptr && std::strcmp(interface, wl_shm_interface.name) == 0) {
        *shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    }
}
void GlobalRemoved(void*, wl_registry*, uint32_t) {}
const wl_registry_listener RegistryListener = {GlobalAdded, GlobalRemoved};

}  // namespace
#endif

WaylandShmScreen::WaylandShmScreen()
    : window(nullptr),
      display(nullptr),
      surface(nullptr),
      queue(nullptr),
      displayOnQueue(nullptr),
      registry(nullptr),
      shm(nullptr),
      damageInBufferPixels(false),
      prepared(nullptr),
      logicalWidth(0),
      logicalHeight(0),
      area{0, 0, 0, 0},
      wholeWindowDue(true) {}

#ifdef FLURBER_HAVE_WAYLAND

bool WaylandShmScreen::Start(SDL_Window* newWindow, int width, int height) {
    Close();
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(newWindow, &info) != SDL_TRUE || info.subsystem != SDL_SYSWM_WAYLAND ||
        info.info.wl.display == nullptr || info.info.wl.surface == nullptr) {
        return false;
    }
    window = newWindow;
    display = info.info.wl.display;
    surface = info.info.wl.surface;
    logicalWidth = width;
    logicalHeight = height;
    if (!BindSharedMemory()) {
        Close();
        return false;
    }
    damageInBufferPixels = wl_proxy_get_version(reinterpret_cast<wl_proxy*>(surface)) >=
                           WL_SURFACE_DAMAGE_BUFFER_SINCE_VERSION;
    // A black window at once, as the other ways of presenting start.
    wholeWindowDue = true;
    changes.Forget();
    const std::vector<uint32_t> black(static_cast<size_t>(width) * height, 0);
    Draw(black.data(), width, height, {{0, height}});
    Present();
    return true;
}

bool WaylandShmScreen::BindSharedMemory() {
    queue = wl_display_create_queue(display);
    displayOnQueue = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
    if (queue == nullptr || displayOnQueue == nullptr) return false;
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(displayOnQueue), queue);
    registry = wl_display_get_registry(displayOnQueue);
    if (registry == nullptr) return false;
    wl_registry_add_listener(registry, &RegistryListener, &shm);
    if (wl_display_roundtrip_queue(display, queue) < 0) return false;
    return shm != nullptr;
}

void WaylandShmScreen::Close() {
    prepared = nullptr;
    for (Buffer& slot : buffers) Release(slot);
    if (shm != nullptr) wl_shm_destroy(shm);
    shm = nullptr;
    if (registry != nullptr) wl_registry_destroy(registry);
    registry = nullptr;
    if (displayOnQueue != nullptr) wl_proxy_wrapper_destroy(displayOnQueue);
    displayOnQueue = nullptr;
    if (queue != nullptr) wl_event_queue_destroy(queue);
    queue = nullptr;
    // The surface stays SDL's; what was attached to it stays on show until the window goes.
    if (display != nullptr) wl_display_flush(display);
    display = nullptr;
    surface = nullptr;
    window = nullptr;
    changes.Forget();
}

bool WaylandShmScreen::Allocate(Buffer& slot, int width, int height) {
    Release(slot);
    const int stride = width * 4;
    const size_t bytes = static_cast<size_t>(stride) * height;
    const int fd = memfd_create("flurber-frame", MFD_CLOEXEC);
    if (fd < 0) return false;
    if (ftruncate(fd, static_cast<off_t>(bytes)) != 0) {
        close(fd);
        return false;
    }
    void* pixels = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels == MAP_FAILED) {
        close(fd);
        return false;
    }
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<int32_t>(bytes));
    slot.buffer = wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_XRGB8888);
    // The buffer keeps the memory; the pool and our descriptor are needed no longer.
    wl_shm_pool_destroy(pool);
    close(fd);
    slot.pixels = static_cast<uint32_t*>(pixels);
    slot.bytes = bytes;
    slot.width = width;
    slot.height = height;
    slot.busy = false;
    slot.complete = false;
    wl_buffer_add_listener(slot.buffer, &BufferListener, &slot);
    return true;
}

void WaylandShmScreen::Release(Buffer& slot) {
    // A buffer the compositor still holds may go: what it shows stays until the next commit.
    if (slot.buffer != nullptr) wl_buffer_destroy(slot.buffer);
    if (slot.pixels != nullptr) munmap(slot.pixels, slot.bytes);
    slot = Buffer();
}

void WaylandShmScreen::ReadEvents(int milliseconds) {
    wl_display_flush(display);
    while (wl_display_prepare_read_queue(display, queue) != 0) {
        wl_display_dispatch_queue_pending(display, queue);
    }
    pollfd descriptor{wl_display_get_fd(display), POLLIN, 0};
    if (poll(&descriptor, 1, milliseconds) > 0) {
        wl_display_read_events(display);
    } else {
        wl_display_cancel_read(display);
    }
    wl_display_dispatch_queue_pending(display, queue);
}

std::vector<RowBand> WaylandShmScreen::Bands(const std::vector<uint8_t>& rows) {
    std::vector<RowBand> found;
    const int height = static_cast<int>(rows.size());
    for (int row = 0; row < height; ++row) {
        if (rows[row] == 0) continue;
        if (!found.empty() && found.back().end == row) {
            found.back().end = row + 1;
        } else {
            found.push_back({row, row + 1});
        }
    }
    return found;
}

WaylandShmScreen::Buffer* WaylandShmScreen::IdleBuffer(int width, int height) {
    Buffer* other = nullptr;
    Buffer* unused = nullptr;
    for (Buffer& slot : buffers) {
        if (slot.buffer == nullptr) {
            if (unused == nullptr) unused = &slot;
        } else if (!slot.busy) {
            if (slot.width == width && slot.height == height) return &slot;
            other = &slot;
        }
    }
    Buffer* made = other != nullptr ? other : unused;
    if (made == nullptr || !Allocate(*made, width, height)) return nullptr;
    return made;
}

WaylandShmScreen::Buffer* WaylandShmScreen::FreeBuffer(int width, int height) {
    wl_display_dispatch_queue_pending(display, queue);
    if (Buffer* slot = IdleBuffer(width, height)) return slot;
    // All held: the compositor lets one go once it has taken the last picture, well within a frame.
    ReadEvents(0);
    if (Buffer* slot = IdleBuffer(width, height)) return slot;
    ReadEvents(16);
    return IdleBuffer(width, height);
}

void WaylandShmScreen::Prepare(const Surface& picture) {
    if (display == nullptr) return;
    if (wholeWindowDue) changes.Forget();
    const std::vector<RowBand>& bands =
        changes.Compare(picture.pixels.data(), picture.width, picture.height);
    Draw(picture.pixels.data(), picture.width, picture.height, bands);
}

void WaylandShmScreen::Redraw() {
    if (display == nullptr || !changes.known) return;
    wholeWindowDue = true;
    Draw(changes.last.data(), changes.width, changes.height, {{0, changes.height}});
    Present();
}

void WaylandShmScreen::Draw(const uint32_t* picture, int width, int height,
                            const std::vector<RowBand>& bands) {
    prepared = nullptr;
    damage.clear();
    int pixelWidth = 0;
    int pixelHeight = 0;
    SDL_GetWindowSizeInPixels(window, &pixelWidth, &pixelHeight);
    if (pixelWidth <= 0 || pixelHeight <= 0) return;
    if (wholeWindowDue) {
        for (Buffer& slot : buffers) slot.complete = false;
    }
    for (Buffer& slot : buffers) {
        if (slot.buffer == nullptr) continue;
        slot.staleRows.resize(static_cast<size_t>(height), 1);
        for (const RowBand& band : bands) {
            std::fill(slot.staleRows.begin() + band.first, slot.staleRows.begin() + band.end, 1);
        }
    }
    unsentRows.resize(static_cast<size_t>(height), 0);
    for (const RowBand& band : bands) {
        std::fill(unsentRows.begin() + band.first, unsentRows.begin() + band.end, 1);
    }
    // The picture repeats the last one: the compositor goes on showing it.
    if (bands.empty() && !wholeWindowDue) return;
    Buffer* target = FreeBuffer(pixelWidth, pixelHeight);
    if (target == nullptr) return;
    area = FitPicture(pixelWidth, pixelHeight, logicalWidth, logicalHeight);
    const int pitch = target->width * 4;
    if (!target->complete) {
        scaler.Scale(picture, width, height, target->pixels, pitch, target->width, target->height,
                     area, true);
        target->complete = true;
        damage.push_back({0, 0, target->width, target->height});
    } else if (area.width > 0 && area.height > 0) {
        // This buffer last showed an older picture: it catches up on every row changed since.
        for (const RowBand& band : Bands(target->staleRows)) {
            const int first = PictureScaler::FirstAreaRowShowing(band.first, height, area.height);
            const int last = PictureScaler::FirstAreaRowShowing(band.end, height, area.height);
            if (first < last) {
                scaler.ScaleRows(picture, width, height, target->pixels, pitch, area, first, last);
            }
        }
        // The compositor is told only what differs from the picture it was sent last (a frame
        // that found no free buffer sent nothing).
        for (const RowBand& band : Bands(unsentRows)) {
            const int first = PictureScaler::FirstAreaRowShowing(band.first, height, area.height);
            const int end = PictureScaler::FirstAreaRowShowing(band.end, height, area.height);
            if (first < end) damage.push_back({area.x, area.y + first, area.width, end - first});
        }
    }
    target->staleRows.assign(static_cast<size_t>(height), 0);
    prepared = target;
}

void WaylandShmScreen::Present() {
    if (prepared == nullptr) return;
    wl_surface_attach(surface, prepared->buffer, 0, 0);
    int windowWidth = 0;
    int windowHeight = 0;
    SDL_GetWindowSize(window, &windowWidth, &windowHeight);
    for (const SDL_Rect& rect : damage) {
        if (damageInBufferPixels) {
            wl_surface_damage_buffer(surface, rect.x, rect.y, rect.w, rect.h);
        } else {
            // In window units, rounded outwards.
            const int scale = std::max(1, prepared->width / std::max(1, windowWidth));
            wl_surface_damage(surface, rect.x / scale, rect.y / scale, rect.w / scale + 2,
                              rect.h / scale + 2);
        }
    }
    wl_surface_commit(surface);
    std::fill(unsentRows.begin(), unsentRows.end(), 0);
    prepared->busy = true;
    prepared = nullptr;
    wholeWindowDue = false;
    wl_display_flush(display);
}

#else

bool WaylandShmScreen::Start(SDL_Window*, int, int) {
    return false;
}
void WaylandShmScreen::Prepare(const Surface&) {}
void WaylandShmScreen::Redraw() {}
void WaylandShmScreen::Present() {}
void WaylandShmScreen::Close() {}

#endif
