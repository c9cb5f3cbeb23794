#pragma once
#include <SDL.h>

#include "platform/FramePacer.h"
#include "platform/ScreenGeometry.h"

class Surface;

// The window and what is shown in it: one SDL window, full screen or an ordinary resizable window,
// with the game's picture letterboxed in it, drawn through an SDL renderer.
class SdlVideo {
public:
    SdlVideo();
    ~SdlVideo();
    SdlVideo(const SdlVideo&) = delete;
    SdlVideo& operator=(const SdlVideo&) = delete;

    void GetDesktopSize(int& width, int& height);
    bool CreateMainWindow(const char* title, int x, int y, int width, int height);
    // Full screen (or a window, when startWindowed), drawing a picture of width x height.
    bool TakeOverDisplay(int width, int height);
    // Shows the picture now (after the frame's wait, when one is pending).
    void ShowImage(const Surface& image);
    void ToggleFullscreen();
    // What the window system reports about the window and the renderer.
    void HandleEvent(const SDL_Event& event);
    // Where the picture lies in the window, in window coordinates (those of the mouse).
    PictureArea PictureInWindow() const;
    void CloseMainWindow();

    SDL_Window* window;
    SDL_Renderer* renderer;
    SDL_Texture* texture;
    // The picture doubled up to a whole multiple, for window sizes between multiples.
    SDL_Texture* prescaled;
    int prescaledFactor;
    // Only a graphics processor can afford the doubling-up pass every frame; a software
    // rasteriser scales with plain nearest pixels instead.
    bool prescaleAffordable;
    // The screen texture holds a picture that can be shown again.
    bool pictureShown;
    bool fullscreen;
    // Set before the program runs: the display is taken over as a window, as Alt+Return leaves it.
    bool startWindowed;
    // False until the window is first shown as a window; it then gets its starting size.
    bool windowedSizeChosen;
    int logicalWidth;
    int logicalHeight;
    bool vsyncAt60;
    bool framePending;  // a flip asked for pacing: its picture waits for its moment
    FramePacer pacer;

private:
    bool CreateScreenTexture();
    // After a device reset the renderer's textures are gone and must be made again.
    void RecreateTextures();
    SDL_Texture* PrescaledPicture(int factor);
    // Draws the screen texture into the window, scaled, and shows it.
    void Present();
};
