#pragma once
#include <cstdint>

#include "game/Cleaner.h"
#include "game/GarbageItem.h"
#include "game/GarbageList.h"

class Surface;
class SoundBuffer;

// Room of the game run, the camera and the countdown, the play screen's pictures and sounds, the
// room's garbage and the cleaner. One object, theGame, lives for the whole run.
class GameScreen {
public:
    GameScreen();
    ~GameScreen();
    GameScreen(const GameScreen&) = delete;
    GameScreen& operator=(const GameScreen&) = delete;

    // Loads the shared pictures and the banner sound and begins at room 1.
    void StartGame();
    // Sets up room `level` (1 to 5) afresh: picture, music, tempo, countdown and new garbage.
    void SetupLevel(int8_t level);
    void SetLastTick(uint32_t ms) { lastTick = ms; }

    // One frame of play (entry, countdown, controls, drawing, flip).
    void RunFrame();
    void HandleInput();
    // The S key was released: the next press may strike.
    void RearmStroke();
    void ScrollCamera(int8_t delta);

    // Timed sequences; each runs to its end inside the frame that starts it.
    void PlayIntro();
    void EndLevel(int32_t won);
    void PlayVictory();
    void ReturnToMenu();
    void ResumeGame();

    int8_t arrowPhase;        // 0..8, advanced once per drawn frame
    int32_t pendingEntry;     // play mode is being entered from the menu
    int32_t strokeArmed;      // the next press of S strikes
    int32_t assetsLoaded;     // a game was started: pictures loaded, a room set up
    int32_t clockRunning;     // the intro is over and the countdown runs
    int8_t spawnInterval;     // seconds between chances of dropping garbage
    uint32_t lastTick;        // timeGetTime of the last countdown step
    GarbageItem* targetItem;  // piece nearest the cleaner; not owned
    GarbageList* garbage;
    int16_t cameraX;  // world x at the screen's left edge, 0..800
    int8_t level;     // 1..5
    Surface* arrowsSurface;
    Surface* roomSurface;
    Surface* garbageSurface;
    Surface* messageSurface;
    Surface* bannerSurface;
    Surface* cleanerSurface;
    SoundBuffer* messageSound;
    SoundBuffer* bannerSound;
    int16_t tempo;  // beats per minute
    Cleaner* cleaner;
    int8_t secondsLeft;
    int8_t speedUpSecond;  // secondsLeft at which the tempo rises
    wchar_t musicPath[260];
};
