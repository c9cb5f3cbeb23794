#include "app/Devices.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "app/Shell.h"
#include "game/GameScreen.h"
#include "media/Music.h"
#include "menu/MainMenu.h"
#include "platform/display/TextRenderer.h"

InputSystem* inputSystem = nullptr;
KeyboardDevice* keyboardDevice = nullptr;
SoundDevice* soundDevice = nullptr;
MusicPerformance* musicPerformance = nullptr;
MusicLoader* musicLoader = nullptr;
MusicSegment* currentSegment = nullptr;
DisplayDevice* displayDevice = nullptr;
Surface* primarySurface = nullptr;
Surface* backBuffer = nullptr;
std::string workingDirectory;

namespace {
constexpr int ScreenWidth = 800;
constexpr int ScreenHeight = 600;
constexpr int ScreenBitsPerPixel = 32;
}  // namespace

bool StartDevices() {
    inputSystem = new InputSystem();
    keyboardDevice = inputSystem->CreateKeyboardDevice();
    lastResult = keyboardDevice->Acquire();

    soundDevice = new SoundDevice();
    lastResult = soundDevice->Open() ? 0 : -1;

    musicPerformance = new MusicPerformance();
    lastResult = musicPerformance->Init(soundDevice) ? 0 : -1;
    lastResult = musicPerformance->AddPort() ? 0 : -1;
    musicLoader = new MusicLoader();

    char directory[PATH_MAX];
    if (getcwd(directory, sizeof directory) == nullptr) {
        std::fprintf(stderr, "The Flurber: cannot read the working directory: %s\n",
                     std::strerror(errno));
        return false;
    }
    workingDirectory = directory;
    musicLoader->SetSearchDirectory(workingDirectory);

    displayDevice = new DisplayDevice();
    if (!displayDevice->SetDisplayMode(ScreenWidth, ScreenHeight, ScreenBitsPerPixel)) {
        std::fprintf(stderr, "The Flurber: cannot take over the display at %dx%d\n", ScreenWidth,
                     ScreenHeight);
        return false;
    }
    primarySurface = displayDevice->CreatePrimarySurface();
    backBuffer = displayDevice->GetAttachedSurface();
    return true;
}

void ShutdownDevices() {
    // The music and any sound still playing fade out rather than stop mid-note with a click.
    if (soundDevice != nullptr) soundDevice->FadeOut();

    delete theGame;
    theGame = nullptr;
    delete theMenu;
    theMenu = nullptr;

    if (keyboardDevice != nullptr) keyboardDevice->Unacquire();
    delete keyboardDevice;
    keyboardDevice = nullptr;
    delete inputSystem;
    inputSystem = nullptr;

    if (musicPerformance != nullptr) musicPerformance->Stop();
    ReleaseCurrentSegment();
    if (musicPerformance != nullptr) musicPerformance->CloseDown();
    delete musicPerformance;
    musicPerformance = nullptr;
    delete musicLoader;
    musicLoader = nullptr;

    delete soundDevice;
    soundDevice = nullptr;

    backBuffer = nullptr;
    if (displayDevice != nullptr) displayDevice->ReleaseChain();
    primarySurface = nullptr;
    delete displayDevice;
    displayDevice = nullptr;
    CloseTextRenderer();
}
