#pragma once
#include <cstdint>

// Where the pointer is over the window, in window coordinates. SDL's own mouse state moves only
// with motion events: after the window changes size or place under a still pointer (its first
// switch to full screen, Alt+Enter) it still tells where the pointer was in the old window, and
// once the pointer has left the window it tells where it left. Until SDL reports motion in the
// window again, the real pointer is asked instead.
//
// It also counts the player's moves of the pointer. A window that changes under a still pointer
// makes the window system report motion too, the pointer's place in the window having changed.
// Until the first move after a change, motion that SDL reports as no move (it starts afresh when
// the pointer re-enters the window) or that leaves the pointer where it stood on the desktop is
// taken for the window's doing. SDL's own desktop place is no help: on X11 it can lag behind.
class PointerTracker {
public:
    PointerTracker()
        : stale(true), settling(false), lastX(0), lastY(0), stillX(0), stillY(0), moves(0) {}

    // The window changed size or place; (windowLeft, windowTop) is where it was on the desktop.
    // SDL's place is out of date until the next motion. Of several changes before the next motion
    // (a switch comes with a move and a resize), the first tells where the pointer stood; by a
    // later one it may have been moved, its motion still on the way.
    void WindowChanged(int windowLeft, int windowTop) {
        stale = true;
        if (settling) return;
        settling = true;
        stillX = windowLeft + lastX;
        stillY = windowTop + lastY;
    }
    // SDL reported motion by (relX, relY) to (x, y) of the window, which is at (windowLeft,
    // windowTop) of the desktop.
    void Moved(int x, int y, int relX, int relY, int windowLeft, int windowTop) {
        stale = false;
        lastX = x;
        lastY = y;
        const bool noMove = relX == 0 && relY == 0;
        const bool stoodStill = windowLeft + x == stillX && windowTop + y == stillY;
        if (settling && (noMove || stoodStill)) return;
        settling = false;
        ++moves;
    }

    // reported: SDL's last known place; inWindow: SDL has the pointer in the window; global and
    // windowLeft/Top: the real pointer on the desktop and the window's origin there.
    void Place(int reportedX, int reportedY, bool inWindow, int globalX, int globalY,
               int windowLeft, int windowTop, int& x, int& y) const {
        if (!stale && inWindow) {
            x = reportedX;
            y = reportedY;
        } else {
            x = globalX - windowLeft;
            y = globalY - windowTop;
        }
    }

    bool stale;
    // The window changed and the pointer has not been moved since.
    bool settling;
    // Where SDL last reported motion, in the window.
    int lastX;
    int lastY;
    // Where the pointer stood on the desktop when the window changed.
    int stillX;
    int stillY;
    uint32_t moves;
};
