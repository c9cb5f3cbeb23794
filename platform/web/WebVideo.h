#pragma once
#include <SDL.h>

#include "platform/sdl/SdlWindowHost.h"
#include "platform/web/WebFrameGrid.h"
#include "platform/web/WebScreen.h"

class Surface;

// The page's canvas: an SDL window, which is what SDL reads the keys and the mouse through, with
// the picture put on it at the game's own size. The page fits the canvas to the browser's window
// or to the screen; SDL maps the pointer back to the canvas's pixels at every size.
class WebVideo : public SdlWindowHost {
public:
    WebVideo();
    ~WebVideo() override;
    WebVideo(const WebVideo&) = delete;
    WebVideo& operator=(const WebVideo&) = delete;

    bool CreateMainWindow(const char* title, int width, int height);
    bool TakeOverDisplay(int width, int height);
    // Shows the picture now, or on its refresh when it is a flipped frame (framePending).
    void ShowImage(const Surface& image);
    void CloseMainWindow();

    SDL_Window* Window() const override { return window; }
    PictureArea PictureInWindow() const override;
    int PictureWidth() const override { return logicalWidth; }
    int PictureHeight() const override { return logicalHeight; }
    void ToggleFullscreen() override;

    SDL_Window* window;
    int logicalWidth;
    int logicalHeight;
    bool framePending;  // a flip asked for pacing: its picture waits for its refresh
    WebScreen screen;
    WebFrameGrid grid;

private:
    // Waits for the refresh that the grid gives the picture; returns its moment.
    double AwaitFrameMoment();
};
