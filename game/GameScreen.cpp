#include "game/GameScreen.h"

#include "app/Shell.h"
#include "game/Random.h"
#include "game/RoomTable.h"
#include "media/Display.h"
#include "media/Music.h"
#include "media/Sound.h"

namespace {
constexpr int16_t StartCameraX = 400;
constexpr int16_t StartTempo = 100;
constexpr int MusicPathCapacity = sizeof(GameScreen::musicPath) / sizeof(wchar_t);
// Starting pieces lie with their left edge between world 100 and 1399.
constexpr int32_t GarbageLeftmostX = 100;
constexpr int32_t GarbageXRange = 1300;
constexpr int32_t GarbageTypes = 5;
}  // namespace

GameScreen::GameScreen()
    : arrowPhase(0),
      pendingEntry(1),
      strokeArmed(1),
      assetsLoaded(0),
      clockRunning(0),
      spawnInterval(0),
      lastTick(0),
      targetItem(nullptr),
      garbage(nullptr),
      cameraX(StartCameraX),
      level(1),
      arrowsSurface(nullptr),
      roomSurface(nullptr),
      garbageSurface(nullptr),
      messageSurface(nullptr),
      bannerSurface(nullptr),
      cleanerSurface(nullptr),
      messageSound(nullptr),
      bannerSound(nullptr),
      tempo(StartTempo),
      cleaner(nullptr),
      secondsLeft(0),
      speedUpSecond(0),
      musicPath{} {}

GameScreen::~GameScreen() {
    delete garbage;
    garbage = nullptr;
    targetItem = nullptr;
    delete cleaner;
    cleaner = nullptr;
    ReleaseSound(bannerSound);
    ReleaseSound(messageSound);
    ReleaseSurface(cleanerSurface);
    ReleaseSurface(bannerSurface);
    ReleaseSurface(messageSurface);
    ReleaseSurface(garbageSurface);
    ReleaseSurface(roomSurface);
    ReleaseSurface(arrowsSurface);
}

void GameScreen::StartGame() {
    LoadBitmapSurface("Graphics\\Arrows.bmp", arrowsSurface);
    LoadBitmapSurface("Graphics\\Garbage.bmp", garbageSurface);
    LoadBitmapSurface("Graphics\\Flurb!.bmp", bannerSurface);
    LoadBitmapSurface("Graphics\\FlurberAnims.bmp", cleanerSurface);
    LoadWaveSound("Sounds\\flurb!_high.wav", bannerSound);
    level = 1;
    // One cleaner serves the whole run; it keeps its facing and poses from game to game.
    if (cleaner == nullptr) cleaner = new Cleaner();
    SetupLevel(level);
}

void GameScreen::SetupLevel(int8_t newLevel) {
    level = newLevel;
    cameraX = StartCameraX;
    assetsLoaded = 1;
    pendingEntry = 0;
    clockRunning = 0;
    SetCursorHidden(1);
    if (cleaner != nullptr) cleaner->Reset();
    delete garbage;
    garbage = nullptr;
    targetItem = nullptr;
    garbage = new GarbageList();

    // A level outside the table keeps the room as it was and starts with no garbage.
    int32_t pieces = 0;
    if (const RoomSetup* room = FindRoom(level)) {
        LoadBitmapSurface(room->backgroundPath, roomSurface);
        tempo = room->tempo;
        ConvertToWide(room->musicPath, musicPath, MusicPathCapacity);
        LoadMusicSegment(musicPath);
        pieces = room->baseGarbage + Rand() % 3;
        secondsLeft = room->seconds;
        spawnInterval = room->spawnInterval;
        speedUpSecond = room->speedUpSecond;
    }
    PlayMusicSegment();
    for (int32_t i = 0; i < pieces; ++i) {
        // The position is drawn before the type.
        const auto x = static_cast<int16_t>(Rand() % GarbageXRange + GarbageLeftmostX);
        const auto type = static_cast<int8_t>(Rand() % GarbageTypes + 1);
        garbage->Add(type, x, 0);
    }
}
