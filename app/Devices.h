#pragma once
#include <string>

#include "platform/display/DisplayDevice.h"
#include "platform/display/Surface.h"
#include "platform/input/InputDevice.h"
#include "platform/sound/MusicPerformance.h"
#include "platform/sound/SoundDevice.h"

extern InputSystem* inputSystem;
extern KeyboardDevice* keyboardDevice;
extern SoundDevice* soundDevice;
extern MusicPerformance* musicPerformance;
extern MusicLoader* musicLoader;
extern MusicSegment* currentSegment;
extern DisplayDevice* displayDevice;
extern Surface* primarySurface;
extern Surface* backBuffer;
extern std::string workingDirectory;

// Makes every device in a fixed order: keyboard, sound, music, then the display with its flip
// chain. False when the display can't be had; the program can't run then.
bool StartDevices();
// Deletes the two screens, then releases every device in a fixed order.
void ShutdownDevices();
