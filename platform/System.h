#pragma once
#include <cstdint>

// The few window-system services the game uses, in the shape the game expects them: a message
// queue, the multimedia timer, the cursor and message boxes. They run on whichever backend is
// active.

constexpr uint32_t WM_ACTIVATE = 0x0006;
constexpr uint32_t WM_CLOSE = 0x0010;
constexpr uint32_t WM_QUIT = 0x0012;
constexpr uint32_t WM_KEYUP = 0x0101;
constexpr uint32_t WM_LBUTTONDOWN = 0x0201;
constexpr uint32_t WM_LBUTTONUP = 0x0202;
constexpr uint32_t WA_INACTIVE = 0;
constexpr uint32_t WA_ACTIVE = 1;

struct Message {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
};

struct Point {
    int32_t x;
    int32_t y;
};

// Removes the next message, if any: posted ones first, then what the window system reported.
bool PeekMessage(Message* message);
// Blocks until a message is waiting.
void WaitMessage();
void PostQuitMessage(int exitCode);

// Milliseconds of the multimedia timer; wraps at 2^32.
uint32_t timeGetTime();
// Gives the processor away for at most a millisecond between two timer reads of a busy wait.
void YieldTimeSlice();
// Around a timed pause: the frame pacing leaves it out of the frame's drawing time.
void BeginTimedPause();
void EndTimedPause();

// The cursor display counter: each call moves it one step and returns the new value; the cursor is
// shown while the counter is 0 or more.
int ShowCursor(bool show);
bool GetCursorPos(Point* point);
// Changes whenever the player moves the pointer, and only then.
uint32_t PointerMoveCount();

// An information box with an OK button, owned by the game window; returns when it is closed.
void ShowInformationBox(const char* caption, const char* text);

// Called when the window system took the display away, so that the display surfaces report lost.
extern void (*displayLostHandler)();

// Forgets posted messages and the cursor counter (a new run of the program in the same process).
void ResetSystemState();
