#pragma once
#include <SDL.h>

#include "platform/sdl/ChangedRows.h"

class Surface;

// Presents through an SDL renderer on a graphics processor: the picture is a streaming texture,
// scaled sharply by the processor (see PlanScaling).
class SdlRendererScreen {
public:
    SdlRendererScreen();
    ~SdlRendererScreen() { Close(); }
    SdlRendererScreen(const SdlRendererScreen&) = delete;
    SdlRendererScreen& operator=(const SdlRendererScreen&) = delete;

    // Makes a renderer with these SDL_RendererFlags for the window; false when there is none.
    bool Start(SDL_Window* newWindow, int width, int height, Uint32 flags);
    // Whether a graphics processor draws. SDL counts Mesa's software rasterisers (llvmpipe,
    // softpipe) as accelerated OpenGL, which they are not.
    bool DrawsOnGraphicsProcessor();
    // Uploads the picture and draws it into the window, ready to be presented.
    void Prepare(const Surface& picture);
    // Draws the last picture again (the window was exposed or resized while no frames run).
    void Redraw();
    void Present();
    // Shows a black window at once (the start, and the test of whether presents wait).
    void PresentBlack();
    // After a device reset the renderer's textures are gone: they are made again and given the
    // last picture. False when they can't be.
    bool RecreateTextures();
    void Close();

    SDL_Window* window;
    SDL_Renderer* renderer;
    SDL_Texture* texture;
    // The picture doubled up to a whole multiple, for window sizes between multiples.
    SDL_Texture* prescaled;
    int prescaledFactor;
    // Only a graphics processor can afford the doubling-up pass every frame.
    bool prescaleAffordable;
    // The texture holds a picture that can be drawn again.
    bool pictureShown;
    // The picture in the texture: only the rows that change are uploaded.
    ChangedRows changes;
    int logicalWidth;
    int logicalHeight;

private:
    bool CreateScreenTexture();
    SDL_Texture* PrescaledPicture(int factor);
    void Draw();
};
