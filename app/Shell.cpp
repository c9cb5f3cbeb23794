#include "app/Shell.h"

#include "game/GameScreen.h"
#include "platform/System.h"

int8_t gameMode = ModeMenu;
int32_t appActive = 1;
int32_t gameInProgress = 0;
GameScreen* theGame = nullptr;
MainMenu* theMenu = nullptr;
int32_t lastResult = 0;

void WaitMilliseconds(uint32_t milliseconds) {
    BeginTimedPause();
    const uint32_t start = timeGetTime();
    // Unsigned arithmetic: a wrap of the timer does not lengthen the wait.
    while (timeGetTime() - start < milliseconds) YieldTimeSlice();
    EndTimedPause();
}

void SetCursorHidden(int32_t hide) {
    if (hide != 0) {
        while (ShowCursor(false) >= 0) {
        }
    } else {
        while (ShowCursor(true) < 0) {
        }
    }
}

void StartNewGame() {
    gameInProgress = 1;
    theGame->StartGame();
}

void EndGameInProgress() {
    gameInProgress = 0;
}

void SetGameLastTick(uint32_t time) {
    theGame->SetLastTick(time);
}

void ResetShellValues() {
    gameMode = ModeMenu;
    appActive = 1;
    gameInProgress = 0;
    theGame = nullptr;
    theMenu = nullptr;
    lastResult = 0;
}
