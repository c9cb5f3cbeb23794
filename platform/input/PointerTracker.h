#pragma once

// Where the pointer is over the window, in window coordinates. SDL's own mouse state moves only
// with motion events: after the window changes size or place under a still pointer (its first
// switch to full screen, Alt+Enter) it still tells where the pointer was in the old window, and
// once the pointer has left the window it tells where it left. Until SDL reports motion in the
// window again, the real pointer is asked instead.
class PointerTracker {
public:
    PointerTracker() : stale(true) {}

    // The window changed size or place: SDL's place is out of date until the next motion.
    void WindowChanged() { stale = true; }
    void Moved() { stale = false; }

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
};
