#include "app/Program.h"

#include <malloc.h>

#include <cstdio>
#include <ctime>

#include "app/Devices.h"
#include "app/Shell.h"
#include "game/GameScreen.h"
#include "game/Random.h"
#include "media/Display.h"
#include "menu/MainMenu.h"
#include "platform/Backend.h"

namespace {
constexpr int WindowWidth = 400;
constexpr int WindowHeight = 300;
constexpr uintptr_t VirtualKeyS = 0x53;
}  // namespace

void WindowProc(const Message& message) {
    switch (message.message) {
        case WM_ACTIVATE:
            appActive = (message.wParam & 0xFFFF) != 0 ? 1 : 0;
            break;
        case WM_KEYUP:
            if (message.wParam == VirtualKeyS && theGame != nullptr) theGame->RearmStroke();
            break;
        case WM_LBUTTONDOWN:
            if (gameMode == ModeMenu && theMenu != nullptr) theMenu->HandlePress();
            break;
        case WM_LBUTTONUP:
            if (gameMode == ModeMenu && theMenu != nullptr) {
                const auto bits = static_cast<uint32_t>(message.lParam);
                theMenu->HandleClick(static_cast<int32_t>(bits & 0xFFFF),
                                     static_cast<int32_t>((bits >> 16) & 0xFFFF));
            }
            break;
        case WM_CLOSE:
            // The window is going away: end the way Quit does.
            PostQuitMessage(0);
            break;
        default:
            break;
    }
}

void UpdateFrame() {
    RestoreLostSurfaces();
    if (gameMode == ModeMenu) {
        theMenu->RunFrame();
    } else if (gameMode == ModePlaying) {
        theGame->RunFrame();
    }
}

int RunProgram() {
    // glibc raises its mmap threshold after the first large picture is freed; room pictures then
    // land on the heap and fragment it, and memory creeps up from game to game. A fixed threshold
    // keeps every large picture in its own mapping, returned whole when it is released.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    ResetShellValues();
    ResetSystemState();
    int desktopWidth = 0;
    int desktopHeight = 0;
    activeBackend->GetDesktopSize(desktopWidth, desktopHeight);
    if (!activeBackend->CreateMainWindow("The Flurber", desktopWidth / 2 - WindowWidth / 2,
                                         desktopHeight / 2 - WindowHeight / 2, WindowWidth,
                                         WindowHeight)) {
        std::fprintf(stderr, "The Flurber: cannot open its window\n");
        return 1;
    }
    if (!StartDevices()) {
        ShutdownDevices();
        activeBackend->CloseMainWindow();
        return 1;
    }
    theGame = new GameScreen();
    theMenu = new MainMenu();
    theMenu->LoadAssets();
    SeedRandom(static_cast<uint32_t>(std::time(nullptr)));

    Message message{};
    for (;;) {
        if (PeekMessage(&message)) WindowProc(message);
        if (message.message == WM_QUIT) break;
        if (appActive != 0) {
            UpdateFrame();
        } else {
            WaitMessage();
        }
    }
    ShutdownDevices();
    activeBackend->CloseMainWindow();
    return static_cast<int>(message.wParam);
}
