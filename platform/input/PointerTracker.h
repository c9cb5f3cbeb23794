#pragma once
#include <cstdint>

// Where the pointer is over the window, in window coordinates. SDL's own mouse state moves only
// with motion events: after the window changes size or place under a still pointer (its first
// switch to full screen, Alt+Enter) it still tells where the pointer was in the old window, and
// once the pointer has left the window it tells where it left. Until SDL reports motion in the
// window again, the real pointer is asked instead.
//
// It also counts the player's moves of the pointer. A window that changes under a still pointer
// makes the window system report motion too: SDL's first motion after the pointer comes back into
// the window tells no move, and a window that moved under the pointer moves it in the window but
// not on the desktop, even when SDL tells it long after the change (SDL 3 on X11 does, at the next
// X event it reads). Neither is counted. While the window is still changing, X11 also reports
// places that are not the pointer's at all (SDL 2.26 clamps them to the window of the moment), so
// motion in the first moments after a change is let pass.
class PointerTracker {
public:
    // How long after a change of the window its own motion may still come (ms).
    static constexpr uint32_t SettleMs = 500;

    PointerTracker()
        : stale(true), settling(false), changedAt(0), lastDesktopX(0), lastDesktopY(0), moves(0) {}

    // The window changed size or place at `now` (ms): SDL's place is out of date until the next
    // motion after the change has settled.
    void WindowChanged(uint32_t now) {
        stale = true;
        settling = true;
        changedAt = now;
    }
    // SDL reported motion by (relX, relY) at `now` (ms); the pointer is at (desktopX, desktopY)
    // of the desktop (where the window system can't tell, its place in the window).
    void Moved(int relX, int relY, int desktopX, int desktopY, uint32_t now) {
        if (settling && now - changedAt < SettleMs) return;
        settling = false;
        stale = false;
        // Motion that tells no move is SDL's own (entering the window, or a window change that
        // SDL 2.32 follows with a motion to the window's corner): its place is not the pointer's.
        if (relX == 0 && relY == 0) return;
        if (desktopX != lastDesktopX || desktopY != lastDesktopY) ++moves;
        lastDesktopX = desktopX;
        lastDesktopY = desktopY;
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
    bool settling;
    uint32_t changedAt;
    // Where SDL last reported motion to, on the desktop.
    int lastDesktopX;
    int lastDesktopY;
    uint32_t moves;
};
