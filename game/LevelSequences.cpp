#include <cstdio>

#include "app/Devices.h"
#include "app/Shell.h"
#include "game/GameScreen.h"
#include "game/RoomTable.h"
#include "media/Display.h"
#include "media/Music.h"
#include "media/Sound.h"
#include "platform/System.h"

namespace {

constexpr int16_t BannerWidth = 200;
constexpr int16_t BannerStep = 10;
constexpr int16_t ScreenRight = 800;
// The room as the camera shows it when a room starts (cameraX 400).
constexpr Rect StartView{400, 0, 1200, 600};
constexpr int32_t StartViewX = 400;
constexpr int32_t BandTop = 100;
constexpr int32_t BandBottom = 200;
constexpr int CountdownX = 395;
constexpr int CountdownY = 20;

constexpr Rect OutcomePlace{300, 100, 500, 200};
constexpr uint32_t MusicStopPauseMs = 300;
constexpr uint32_t OutcomePauseMs = 2000;

constexpr int32_t VictoryStrips = 4;
constexpr int32_t StripHeight = 60;
constexpr int32_t StripWidth = 225;
constexpr int32_t StripAdvance = 175;
constexpr uint32_t ShotPauseMs = 600;

constexpr uint32_t MenuPauseMs = 200;
constexpr uint32_t ResumePauseMs = 100;

}  // namespace

void GameScreen::PlayIntro() {
    // The room goes onto both images of the flip chain; only the banner's band changes below.
    primarySurface->BltFast(0, 0, roomSurface, &StartView, BltFastNoColorKey);
    backBuffer->BltFast(0, 0, roomSurface, &StartView, BltFastNoColorKey);
    PlaySoundFromStart(bannerSound);

    int16_t p = -BannerWidth;  // screen x of the banner's left edge
    int16_t w = 0;             // visible width while it enters
    while (p < ScreenRight) {
        SetMusicTempo(static_cast<double>(tempo));

        Rect bannerSource{0, 0, BannerWidth, BandBottom - BandTop};
        Rect bannerDest{p, BandTop, p + BannerWidth, BandBottom};
        // The band is repainted from 10 pixels left of the banner's new place. The image being
        // drawn on held the banner two passes ago, so its leftmost 10 columns stay behind unless
        // the picture keeps them transparent.
        Rect strip{p + StartViewX - BannerStep, BandTop, p + StartViewX + BannerWidth, BandBottom};
        if (p <= 0) {
            // Entering: the banner's right-hand part grows in from the left edge.
            bannerSource.left = -p;
            bannerDest = {0, BandTop, w, BandBottom};
            strip = {StartViewX, BandTop, StartViewX + w, BandBottom};
        } else if (p > ScreenRight - BannerWidth) {
            // Leaving: its left part shrinks against the right edge.
            bannerSource.right = ScreenRight - p;
            bannerDest.right = ScreenRight;
            strip.right = StartView.right;
        }

        p = static_cast<int16_t>(p + BannerStep);
        if (w < BannerWidth) w = static_cast<int16_t>(w + BannerStep);

        backBuffer->BltFast(strip.left - StartViewX, BandTop, roomSurface, &strip, BltFastWait);
        backBuffer->Blt(&bannerDest, bannerSurface, &bannerSource, BltWait | BltKeySrc);
        char countdown[8];
        std::snprintf(countdown, sizeof countdown, "%d", secondsLeft);
        DrawText(backBuffer, CountdownX, CountdownY, countdown);
        PresentFrame();
    }

    clockRunning = 1;
    lastTick = timeGetTime();
}

void GameScreen::EndLevel(int32_t won) {
    StopMusic();
    WaitMilliseconds(MusicStopPauseMs);
    if (won != 0) {
        LoadBitmapSurface("Graphics\\RoomClean!.bmp", messageSurface);
        LoadWaveSound("Sounds\\room_clean.wav", messageSound);
        level = static_cast<int8_t>(level + 1);
        if (level == RoomCount + 1) {
            level = 1;
            PlayVictory();
            EndGameInProgress();
            ReturnToMenu();
            return;
        }
    } else {
        LoadBitmapSurface("Graphics\\YouLose!.bmp", messageSurface);
        LoadWaveSound("Sounds\\you_lose.wav", messageSound);
    }
    // Straight onto the screen, over the frame shown there.
    primarySurface->Blt(&OutcomePlace, messageSurface, nullptr, BltKeySrc);
    PlaySoundFromStart(messageSound);
    WaitMilliseconds(OutcomePauseMs);
    SetupLevel(level);
}

void GameScreen::PlayVictory() {
    Surface* winnerSurface = nullptr;
    SoundBuffer* shotSound = nullptr;
    LoadBitmapSurface("Graphics\\Winner.bmp", winnerSurface);
    LoadWaveSound("Sounds\\gun_shot.wav", shotSound);

    Rect source{0, 0, StripWidth, StripHeight};
    Rect dest{20, 295, 20 + StripWidth, 295 + StripHeight};
    for (int32_t shot = 0; shot < VictoryStrips; ++shot) {
        // A shot still sounding from the one before is not started again.
        PlaySoundFromStart(shotSound);
        primarySurface->Blt(&dest, winnerSurface, &source, BltKeySrc);
        source.top += StripHeight;
        source.bottom += StripHeight;
        dest.left += StripAdvance;
        dest.right = dest.left + StripWidth;
        WaitMilliseconds(ShotPauseMs);
    }

    ReleaseSound(shotSound);
    ReleaseSurface(winnerSurface);
}

void GameScreen::ReturnToMenu() {
    // The room, its garbage and its clock stay as they are for a later resume.
    pendingEntry = 1;
    gameMode = ModeMenu;
    WaitMilliseconds(MenuPauseMs);
}

void GameScreen::ResumeGame() {
    SetCursorHidden(1);
    pendingEntry = 0;
    LoadMusicSegment(musicPath);
    PlayMusicSegment();
    WaitMilliseconds(ResumePauseMs);
}
