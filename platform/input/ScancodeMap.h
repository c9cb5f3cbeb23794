#pragma once
#include <SDL_scancode.h>

// The keyboard-snapshot position (KeyCodes.h) of an SDL scancode; 0 for keys without one.
int KeyCodeFromScancode(SDL_Scancode scancode);
