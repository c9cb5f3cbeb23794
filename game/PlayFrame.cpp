#include <cstdio>

#include "app/Devices.h"
#include "game/GameScreen.h"
#include "game/GarbageSourceRects.h"
#include "game/Random.h"
#include "media/Display.h"
#include "media/Keyboard.h"
#include "media/Music.h"
#include "platform/System.h"

namespace {

constexpr int32_t ScreenWidth = 800;
constexpr int32_t ScreenHeight = 600;
constexpr int32_t CameraMaxX = 800;
constexpr uint32_t CountdownStepMs = 1000;
constexpr int CountdownX = 395;
constexpr int CountdownY = 20;
constexpr int8_t CameraStep = 10;
// Walking left scrolls once the cleaner stands this close to the screen's left edge...
constexpr int32_t FollowLeftMargin = 100;
// ...and walking right once its right edge reaches this far into the screen.
constexpr int32_t FollowRightEdge = 700;
constexpr int8_t LastArrowPhase = 8;
// Dropped pieces fall in only while this many seconds or more are left.
constexpr int8_t LastDropSecond = 8;
constexpr int16_t TempoRise = 20;
constexpr int16_t DropStartY = 1;
// A piece can be struck once it has fallen this far.
constexpr int16_t StrokeReachY = 400;
// The cleaner's frame stands 10 pixels above the bottom of the screen.
constexpr int32_t CleanerTop = ScreenHeight - CleanerSpriteHeight - 10;

constexpr Rect LeftArrowSource{0, 50, 75, 100};
constexpr Rect RightArrowSource{0, 0, 75, 50};
// Indexed by arrowPhase / 3: the arrows step in by 5, then out by 5.
constexpr Rect LeftArrowPlaces[3] = {{20, 100, 95, 150}, {25, 100, 100, 150}, {15, 100, 90, 150}};
constexpr Rect RightArrowPlaces[3] = {
    {705, 100, 780, 150}, {700, 100, 775, 150}, {710, 100, 785, 150}};

void DrawCountdown(Surface* target, int8_t secondsLeft) {
    char text[8];
    std::snprintf(text, sizeof text, "%d", secondsLeft);
    DrawText(target, CountdownX, CountdownY, text);
}

}  // namespace

void GameScreen::RunFrame() {
    if (assetsLoaded == 0 && pendingEntry != 0) {
        StartGame();
    } else if (assetsLoaded != 0 && pendingEntry != 0) {
        ResumeGame();
    }

    if (clockRunning == 0) {
        PlayIntro();
    } else if (timeGetTime() - lastTick >= CountdownStepMs) {
        secondsLeft = static_cast<int8_t>(secondsLeft - 1);
        if (secondsLeft == 0) {
            // The zero shows at once, over the frame on the screen, for the outcome to follow.
            DrawCountdown(primarySurface, secondsLeft);
            EndLevel(garbage->IsEmpty() ? 1 : 0);
            return;
        }
        if (secondsLeft % spawnInterval == 0 && secondsLeft >= LastDropSecond) {
            if (Rand() % 2 != 0) {
                const auto x = static_cast<int16_t>(Rand() % 1300 + 100);
                const auto type = static_cast<int8_t>(Rand() % 5 + 1);
                garbage->Add(type, x, DropStartY);
            }
        }
        if (secondsLeft == speedUpSecond) tempo = static_cast<int16_t>(tempo + TempoRise);
        lastTick = timeGetTime();
    }

    if (garbage->IsEmpty()) {
        EndLevel(1);
        return;
    }

    SetMusicTempo(static_cast<double>(tempo));
    HandleInput();
    // Whatever the controls did (menu, restart, room ended), this frame is drawn from the state as
    // it now stands.

    const Rect view{cameraX, 0, cameraX + ScreenWidth, ScreenHeight};
    // The room view covers the whole back buffer; only when it can't be drawn (no room picture)
    // would anything of the cleared black show, so the clear is made only then.
    if (backBuffer->BltFast(0, 0, roomSurface, &view, BltFastNoColorKey) != BltOk)
        ClearSurface(backBuffer);
    DrawCountdown(backBuffer, secondsLeft);

    targetItem = garbage->Nearest(static_cast<int16_t>(cleaner->X() + CleanerSpriteWidth / 2));

    const int32_t phaseSlot = arrowPhase / 3;
    for (int32_t index = 0; index < garbage->Count(); ++index) {
        GarbageItem* item = garbage->At(index);
        Rect source = GarbageSourceRects[item->Type() - 1];
        item->Fall();
        Rect dest{item->X() - cameraX, item->Y(), 0, item->Y() + GarbageHeight};
        dest.right = dest.left + GarbageWidth;

        // Every piece beyond a side draws that side's arrow at the same place.
        if (dest.left < 0) {
            backBuffer->Blt(&LeftArrowPlaces[phaseSlot], arrowsSurface, &LeftArrowSource,
                            BltKeySrc);
        }
        if (dest.left > ScreenWidth - GarbageWidth) {
            backBuffer->Blt(&RightArrowPlaces[phaseSlot], arrowsSurface, &RightArrowSource,
                            BltKeySrc);
        }

        // No clipper: cut source and destination alike so that the piece is not stretched. A
        // piece wholly outside keeps its rectangle, which the blit refuses.
        if (dest.left < 0 && dest.right > 0) {
            source.left -= dest.left;
            dest.left = 0;
        } else if (dest.left < ScreenWidth && dest.right > ScreenWidth) {
            source.right -= dest.right - ScreenWidth;
            dest.right = ScreenWidth;
        }
        backBuffer->Blt(&dest, garbageSurface, &source, BltKeySrc);
    }

    arrowPhase = static_cast<int8_t>(arrowPhase + 1);
    if (arrowPhase > LastArrowPhase) arrowPhase = 0;

    const int32_t cleanerLeft = cleaner->X() - cameraX;
    const Rect cleanerDest{cleanerLeft, CleanerTop, cleanerLeft + CleanerSpriteWidth,
                           CleanerTop + CleanerSpriteHeight};
    Rect frame;
    cleaner->GetBodyFrame(&frame);
    backBuffer->Blt(&cleanerDest, cleanerSurface, &frame, BltKeySrc);
    cleaner->GetToolFrame(&frame);
    backBuffer->Blt(&cleanerDest, cleanerSurface, &frame, BltKeySrc);

    PresentFrame();
}

void GameScreen::HandleInput() {
    KeyboardSnapshot keyboard;
    ReadKeyboard(keyboard);

    // A controller's Start goes to the menu as Escape does.
    if (keyboard.IsDown(DIK_ESCAPE) || keyboard.IsDown(PadStartKey)) {
        ReturnToMenu();
        return;
    }

    // Every test below uses the cleaner's place before this frame's move.
    const int32_t cx = cleaner->X();
    if (keyboard.IsDown(DIK_LEFT)) {
        cleaner->Move(-1);
        if (cx <= cameraX + FollowLeftMargin) ScrollCamera(-CameraStep);
    } else if (keyboard.IsDown(DIK_RIGHT)) {
        cleaner->Move(1);
        if (cx + CleanerSpriteWidth >= cameraX + FollowRightEdge) ScrollCamera(CameraStep);
    } else {
        cleaner->Move(0);
    }

    if (keyboard.IsDown(DIK_S) && strokeArmed != 0) {
        // One stroke per press, spent even when nothing is in reach.
        strokeArmed = 0;
        cleaner->SetStrokePose(1);
        if (targetItem != nullptr) {
            const int32_t ix = targetItem->X();
            if (ix + GarbageWidth > cx && ix < cx + CleanerSpriteWidth &&
                targetItem->Y() >= StrokeReachY) {
                if (targetItem->TakeHit() == 0) {
                    garbage->Remove(targetItem);
                    targetItem = nullptr;
                }
            }
        }
    }

    // Both may act in one frame: the room is set up again and then ended as cleared.
    if (keyboard.IsDown(DIK_RETURN)) SetupLevel(level);
    if (keyboard.IsDown(DIK_SPACE)) EndLevel(1);
}

void GameScreen::RearmStroke() {
    strokeArmed = 1;
    if (cleaner != nullptr) cleaner->SetStrokePose(0);
}

void GameScreen::ScrollCamera(int8_t delta) {
    int32_t x = cameraX + delta;
    if (x < 0) x = 0;
    if (x > CameraMaxX) x = CameraMaxX;
    cameraX = static_cast<int16_t>(x);
}
