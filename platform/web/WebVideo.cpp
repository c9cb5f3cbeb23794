#include "platform/web/WebVideo.h"

#include <cstdio>

#include "platform/web/WebPage.h"

WebVideo::WebVideo()
    : window(nullptr), logicalWidth(800), logicalHeight(600), framePending(false) {}

WebVideo::~WebVideo() {
    CloseMainWindow();
}

bool WebVideo::CreateMainWindow(const char* title, int width, int height) {
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0 && SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "The Flurber: no canvas: %s\n", SDL_GetError());
        return false;
    }
    // Neither resizable nor high-DPI: the canvas keeps the size asked for, whatever the page
    // shows it at.
    window = SDL_CreateWindow(title, 0, 0, width, height, SDL_WINDOW_SHOWN);
    if (window == nullptr) {
        std::fprintf(stderr, "The Flurber: cannot use the canvas: %s\n", SDL_GetError());
        return false;
    }
    return true;
}

bool WebVideo::TakeOverDisplay(int width, int height) {
    if (window == nullptr) return false;
    logicalWidth = width;
    logicalHeight = height;
    SDL_SetWindowSize(window, width, height);
    screen.Start(width, height);
    return true;
}

double WebVideo::AwaitFrameMoment() {
    for (;;) {
        const double moment = WebPage::AwaitRefresh();
        grid.NoteRefresh(moment);
        if (grid.Takes(moment)) return moment;
    }
}

void WebVideo::ShowImage(const Surface& image) {
    screen.Prepare(image);
    if (!framePending) {
        screen.Present();
        return;
    }
    framePending = false;
    const double moment = AwaitFrameMoment();
    grid.Presented(moment);
    screen.Present();
    WebPage::FramePresented(moment);
}

PictureArea WebVideo::PictureInWindow() const {
    int width = 0;
    int height = 0;
    if (window != nullptr) SDL_GetWindowSize(window, &width, &height);
    return FitPicture(width, height, logicalWidth, logicalHeight);
}

void WebVideo::ToggleFullscreen() {
    // The page has switched already, in the key's own handler: browsers allow full screen only
    // from there (Firefox strictly).
}

void WebVideo::CloseMainWindow() {
    if (window != nullptr) SDL_DestroyWindow(window);
    window = nullptr;
}
