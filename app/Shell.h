#pragma once
#include <cstdint>

class GameScreen;
class MainMenu;

// Which screen the per-frame update runs.
constexpr int8_t ModeMenu = 1;
constexpr int8_t ModePlaying = 2;

extern int8_t gameMode;
extern int32_t appActive;
extern int32_t gameInProgress;
extern GameScreen* theGame;
extern MainMenu* theMenu;
// Receives the result codes of device calls; nothing reads it.
extern int32_t lastResult;

// Busy wait on the multimedia timer: handles no message and draws nothing.
void WaitMilliseconds(uint32_t milliseconds);
// Nonzero hides the mouse cursor, zero shows it, over the system's display counter.
void SetCursorHidden(int32_t hide);

// The three ways the menu reaches the game.
void StartNewGame();
void EndGameInProgress();
void SetGameLastTick(uint32_t time);

// Puts the shell values back to their values at load (a fresh run of the program in one process).
void ResetShellValues();
