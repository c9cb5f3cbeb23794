#pragma once

// Where the game's picture goes in a window of any size. Pure arithmetic, shared by presenting and
// by the mouse, so that a click lands on the pixel that is drawn under it.

// The size the window opens at: the largest whole multiple of the picture's size that fits the
// usable part of the desktop, at least 1x; on a desktop too small even for that, the largest size
// of the picture's aspect that fits.
void WindowedSize(int usableWidth, int usableHeight, int logicalWidth, int logicalHeight,
                  int& width, int& height);

// The window's frame around what it draws, in window coordinates; known false where the window
// system can't tell (SDL 2 on Wayland, where the title bar is drawn beside the window's size and
// the desktop keeps its panels to itself).
struct WindowFrame {
    bool known;
    int top;
    int left;
    int bottom;
    int right;
};

// What a window's picture may take of the usable area: the area less the frame; for a frame not
// known, less room for a title bar and a panel as large as desktops draw them.
void RoomForPicture(int usableWidth, int usableHeight, const WindowFrame& frame, int& width,
                    int& height);

// How a logicalWidth x logicalHeight picture reaches a window of outputWidth x outputHeight pixels,
// aspect kept. At a whole multiple it is drawn with plain pixel doubling. Between multiples,
// nearest scaling would make some pixels a screen pixel wider than others, and smooth scaling
// blurs; instead the picture is first doubled up (nearest) to the next whole multiple and that is
// then scaled down smoothly, which keeps the pixels even and sharp, blending only at their
// edges. (The backend does that only on a graphics processor; a software rasteriser keeps plain
// nearest scaling, the extra pass would cost it the 60 frames a second.) Below 1x the picture is
// scaled down smoothly.
struct ScalePlan {
    int prescale;  // whole multiple of the intermediate picture; 1 for none
    bool smooth;   // the last step filters (linear) instead of taking the nearest pixel
};
ScalePlan PlanScaling(int outputWidth, int outputHeight, int logicalWidth, int logicalHeight);

// The part of a window that the picture covers, aspect kept and centred, with black bars on the
// two sides that are too long. In whatever unit the window size was given (pixels for drawing,
// window coordinates for the mouse).
struct PictureArea {
    int x;
    int y;
    int width;
    int height;
};
PictureArea FitPicture(int windowWidth, int windowHeight, int logicalWidth, int logicalHeight);

// The picture pixel under a point of the window; false for a point on a bar or outside the window.
bool WindowToPicture(const PictureArea& area, int logicalWidth, int logicalHeight, int windowX,
                     int windowY, int& x, int& y);
