#include "platform/sdl/SdlFramebufferScreen.h"

#include "platform/display/Surface.h"

namespace {
// Our pictures are 0x00RRGGBB; the server ignores the top byte.
bool SameLayoutAsPictures(const SDL_Surface* surface) {
    return surface != nullptr && (surface->format->format == SDL_PIXELFORMAT_RGB888 ||
                                  surface->format->format == SDL_PIXELFORMAT_ARGB8888);
}
}  // namespace

SdlFramebufferScreen::SdlFramebufferScreen()
    : window(nullptr),
      logicalWidth(0),
      logicalHeight(0),
      framebuffer(nullptr),
      framebufferWidth(0),
      framebufferHeight(0),
      area{0, 0, 0, 0},
      wholeWindowDue(true),
      pictureShown(false) {}

bool SdlFramebufferScreen::Start(SDL_Window* newWindow, int width, int height) {
    window = newWindow;
    logicalWidth = width;
    logicalHeight = height;
    SDL_Surface* surface = CurrentFramebuffer();
    if (surface == nullptr) return false;
    SDL_FillRect(surface, nullptr, 0);
    SDL_UpdateWindowSurface(window);
    return true;
}

SDL_Surface* SdlFramebufferScreen::CurrentFramebuffer() {
    SDL_Surface* surface = SDL_GetWindowSurface(window);
    return SameLayoutAsPictures(surface) ? surface : nullptr;
}

bool SdlFramebufferScreen::IsLastFramebuffer(const SDL_Surface* surface) const {
    return surface == framebuffer && surface->w == framebufferWidth &&
           surface->h == framebufferHeight;
}

void SdlFramebufferScreen::Prepare(const Surface& picture) {
    // SDL makes a new framebuffer after the window changed size.
    SDL_Surface* current = CurrentFramebuffer();
    if (current == nullptr) {
        framebuffer = nullptr;
        return;
    }
    if (!IsLastFramebuffer(current)) wholeWindowDue = true;
    framebuffer = current;
    framebufferWidth = current->w;
    framebufferHeight = current->h;
    area = FitPicture(current->w, current->h, logicalWidth, logicalHeight);
    if (wholeWindowDue) changes.Forget();
    const std::vector<RowBand>& bands =
        changes.Compare(picture.pixels.data(), picture.width, picture.height);
    changedRects.clear();
    if (SDL_MUSTLOCK(current)) SDL_LockSurface(current);
    if (wholeWindowDue) {
        scaler.Scale(picture.pixels.data(), picture.width, picture.height,
                     static_cast<uint32_t*>(current->pixels), current->pitch, current->w,
                     current->h, area, true);
    } else if (area.width > 0 && area.height > 0) {
        for (const RowBand& band : bands) {
            const int first =
                PictureScaler::FirstAreaRowShowing(band.first, picture.height, area.height);
            const int end =
                PictureScaler::FirstAreaRowShowing(band.end, picture.height, area.height);
            if (first >= end) continue;
            scaler.ScaleRows(picture.pixels.data(), picture.width, picture.height,
                             static_cast<uint32_t*>(current->pixels), current->pitch, area, first,
                             end);
            changedRects.push_back({area.x, area.y + first, area.width, end - first});
        }
    }
    if (SDL_MUSTLOCK(current)) SDL_UnlockSurface(current);
    pictureShown = true;
}

void SdlFramebufferScreen::Redraw() {
    // A framebuffer of another size holds no picture yet: it waits for the next frame.
    SDL_Surface* current = CurrentFramebuffer();
    if (!pictureShown || current == nullptr || !IsLastFramebuffer(current)) return;
    wholeWindowDue = true;
    Present();
}

void SdlFramebufferScreen::Present() {
    if (framebuffer == nullptr) return;
    if (wholeWindowDue) {
        SDL_UpdateWindowSurface(window);
        wholeWindowDue = false;
        return;
    }
    // The bars are already black on the screen and the rest of the picture is as it was: only
    // the changed rows go to the server. With none the call only waits for the server.
    const SDL_Rect none{0, 0, 0, 0};
    SDL_UpdateWindowSurfaceRects(window, changedRects.empty() ? &none : changedRects.data(),
                                 static_cast<int>(changedRects.size()));
}
