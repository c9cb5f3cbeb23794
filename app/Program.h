#pragma once
#include "platform/System.h"

// The whole program on the active backend: window, devices, screens, the main loop until the quit
// message, shutdown. Returns the exit code.
int RunProgram();

// Turns one window message into a game event.
void WindowProc(const Message& message);

// One frame of whichever screen is on show.
void UpdateFrame();
