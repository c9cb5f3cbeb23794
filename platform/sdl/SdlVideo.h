#pragma once
#include <SDL.h>

#include "platform/Backend.h"
#include "platform/sdl/FramePacer.h"
#include "platform/sdl/ScreenGeometry.h"
#include "platform/sdl/SdlFramebufferScreen.h"
#include "platform/sdl/SdlRendererScreen.h"
#include "platform/sdl/SdlWindowHost.h"
#include "platform/sdl/WaylandShmScreen.h"

class Surface;

// The machine's monotonic clock, for the frame pacing.
class SdlPacingClock : public PacingClock {
public:
    uint64_t Nanoseconds() override;
    void Sleep(uint64_t nanoseconds) override;
};

// The window and what is shown in it: one SDL window, full screen or an ordinary resizable window,
// with the game's picture letterboxed in it. A graphics processor presents it through an SDL
// renderer; without one, the processor scales it straight into the window's own pixels: the
// window's framebuffer, or on Wayland, which gives SDL 2 windows none, buffers shared with the
// compositor. When one way fails, the other shows the picture.
class SdlVideo : public SdlWindowHost {
public:
    SdlVideo();
    ~SdlVideo() override;
    SdlVideo(const SdlVideo&) = delete;
    SdlVideo& operator=(const SdlVideo&) = delete;

    void GetDesktopSize(int& width, int& height);
    bool CreateMainWindow(const char* title, int x, int y, int width, int height);
    // Full screen (or a window, when startWindowed), drawing a picture of width x height.
    bool TakeOverDisplay(int width, int height);
    // Shows the picture now, or at its moment when it is a flipped frame (framePending).
    void ShowImage(const Surface& image);
    // After a flipped frame: waits until the next frame should start.
    void WaitForNextFrame();
    void ToggleFullscreen() override;
    // What the window system reports about the window and the renderer.
    void HandleEvent(const SDL_Event& event);
    PictureArea PictureInWindow() const override;
    SDL_Window* Window() const override { return window; }
    int PictureWidth() const override { return logicalWidth; }
    int PictureHeight() const override { return logicalHeight; }
    void CloseMainWindow();

    SDL_Window* window;
    SdlRendererScreen rendererScreen;
    SdlFramebufferScreen framebufferScreen;
    WaylandShmScreen waylandScreen;
    // False: the renderer presents; true: the processor scales into the window (windowScreen).
    bool usingFramebuffer;
    SoftwareScreen* windowScreen;
    bool fullscreen;
    bool onWayland;  // natively, not through XWayland
    // Set before the program runs: the display is taken over as a window, as Alt+Return leaves it.
    bool startWindowed;
    // Set before the program runs: how the picture reaches the screen.
    RendererChoice rendererChoice;
    // False until the window is first shown as a window; it then gets its starting size.
    bool windowedSizeChosen;
    int logicalWidth;
    int logicalHeight;
    bool framePending;  // a flip asked for pacing: its picture waits for its moment
    FramePacer pacer;
    SdlPacingClock clock;

private:
    // Full screen on the window's display; false when SDL can't.
    bool EnterFullscreen();
    // Makes the renderer; with onlyGraphicsProcessor, keeps it only where one draws.
    bool StartRenderer(bool onlyGraphicsProcessor);
    bool StartFramebuffer();
    // The renderer's device was reset: the picture is shown again at once, through the
    // framebuffer if the renderer can't be made to.
    void RecoverRenderer(bool deviceReset);
    // Shows the last picture again while no frames run.
    void Redraw();
};
