#include "platform/sdl/ScreenGeometry.h"

#include <algorithm>

void WindowedSize(int usableWidth, int usableHeight, int logicalWidth, int logicalHeight,
                  int& width, int& height) {
    const int scale =
        std::max(1, std::min(usableWidth / logicalWidth, usableHeight / logicalHeight));
    width = logicalWidth * scale;
    height = logicalHeight * scale;
    if (width <= usableWidth && height <= usableHeight) return;
    if (static_cast<long>(usableWidth) * logicalHeight <=
        static_cast<long>(usableHeight) * logicalWidth) {
        width = usableWidth;
        height = static_cast<int>(static_cast<long>(usableWidth) * logicalHeight / logicalWidth);
    } else {
        height = usableHeight;
        width = static_cast<int>(static_cast<long>(usableHeight) * logicalWidth / logicalHeight);
    }
}

namespace {
// GTK's title bars are 37 high, libdecor's own 24; GNOME's top bar 32, Plasma's panel 44.
constexpr int UnknownTitleBar = 40;
constexpr int UnknownPanels = 48;
}  // namespace

void RoomForPicture(int usableWidth, int usableHeight, const WindowFrame& frame, int& width,
                    int& height) {
    if (frame.known) {
        width = usableWidth - frame.left - frame.right;
        height = usableHeight - frame.top - frame.bottom;
    } else {
        width = usableWidth;
        height = usableHeight - UnknownTitleBar - UnknownPanels;
    }
    width = std::max(1, width);
    height = std::max(1, height);
}

ScalePlan PlanScaling(int outputWidth, int outputHeight, int logicalWidth, int logicalHeight) {
    // The picture scales by the smaller of the two ratios (the other side gets bars), kept as a
    // fraction so that whole multiples are recognised exactly.
    long numerator = outputWidth;
    long denominator = logicalWidth;
    if (static_cast<long>(outputHeight) * logicalWidth <
        static_cast<long>(outputWidth) * logicalHeight) {
        numerator = outputHeight;
        denominator = logicalHeight;
    }
    if (numerator <= 0 || denominator <= 0 || numerator % denominator == 0) return {1, false};
    if (numerator < denominator) return {1, true};
    return {static_cast<int>(numerator / denominator + 1), true};
}

PictureArea FitPicture(int windowWidth, int windowHeight, int logicalWidth, int logicalHeight) {
    if (windowWidth <= 0 || windowHeight <= 0 || logicalWidth <= 0 || logicalHeight <= 0)
        return {0, 0, 0, 0};
    const long wide = static_cast<long>(windowWidth) * logicalHeight;
    const long tall = static_cast<long>(windowHeight) * logicalWidth;
    if (wide > tall) {
        // Bars left and right.
        const int width = static_cast<int>(tall / logicalHeight);
        return {(windowWidth - width) / 2, 0, width, windowHeight};
    }
    const int height = static_cast<int>(wide / logicalWidth);
    return {0, (windowHeight - height) / 2, windowWidth, height};
}

bool WindowToPicture(const PictureArea& area, int logicalWidth, int logicalHeight, int windowX,
                     int windowY, int& x, int& y) {
    if (area.width <= 0 || area.height <= 0) return false;
    const long dx = windowX - area.x;
    const long dy = windowY - area.y;
    // Below zero the division would round towards the picture: a point on a bar is off it.
    if (dx < 0 || dy < 0 || dx >= area.width || dy >= area.height) return false;
    x = static_cast<int>(dx * logicalWidth / area.width);
    y = static_cast<int>(dy * logicalHeight / area.height);
    return true;
}
