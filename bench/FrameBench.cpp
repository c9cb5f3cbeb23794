// Whole frames as the game draws them, on the headless platform with the real asset pack: one play
// frame through GameScreen::RunFrame and one menu frame through MainMenu::RunFrame, each with its
// flip. scripts/bench.sh divides their times by the floor (BM_Floor_MemcpyFrame).
#include <benchmark/benchmark.h>

#include "app/Devices.h"
#include "app/Shell.h"
#include "bench/BenchSession.h"
#include "game/GameScreen.h"
#include "media/Display.h"
#include "menu/MainMenu.h"
#include "platform/System.h"

namespace {

constexpr int PlayPieces = 40;

// 40 pieces seen from the starting camera (world x 400 to 1200): most in view, some cut by the
// left or right edge, some wholly outside (only their arrow shows), and a few still falling.
void LayOutForty(GameScreen& game) {
    delete game.garbage;
    game.targetItem = nullptr;
    game.garbage = new GarbageList();
    const int16_t places[] = {
        100, 250, 1250, 1450,              // wholly outside: arrows only
        330, 360, 390,  1110, 1150, 1190,  // cut by an edge
    };
    int index = 0;
    for (int16_t x : places) {
        game.garbage->Add(static_cast<int8_t>(index % 5 + 1), x, 0);
        ++index;
    }
    for (; index < PlayPieces; ++index) {
        const auto x = static_cast<int16_t>(400 + (index * 37) % 700);
        // Every fifth piece starts in the air and falls through the frames.
        const auto y = static_cast<int16_t>(index % 5 == 0 ? 1 : 0);
        game.garbage->Add(static_cast<int8_t>(index % 5 + 1), x, y);
    }
}

// Frames need the asset pack and started devices; says why a benchmark is skipped otherwise.
bool ReadyToDraw(benchmark::State& state, const BenchSession& session) {
    if (!AssetPackPresent()) {
        state.SkipWithError("no asset pack in the run folder (build with -DFLURBER_ASSETS=ON)");
        return false;
    }
    if (!session.started) {
        state.SkipWithError("the devices did not start");
        return false;
    }
    return true;
}

// One play frame: steps 4 to 13 of RunFrame (clear, tempo, controls, room view, countdown, 40
// pieces with arrows and edge cuts, both layers of the cleaner, flip). "composed" leaves out the
// headless platform's copy of the flipped frame into its stand-in screen; "shown" keeps it.
void BM_PlayFrame(benchmark::State& state, bool shown) {
    BenchSession session;
    if (!ReadyToDraw(state, session)) return;
    session.backend.copyToScreen = shown;
    theGame = new GameScreen();
    gameMode = ModePlaying;
    gameInProgress = 1;
    theGame->StartGame();
    theGame->clockRunning = 1;
    LayOutForty(*theGame);
    // The countdown is kept from stepping, so that the room never ends under the benchmark.
    theGame->secondsLeft = 20;

    for (auto _ : state) {
        theGame->lastTick = timeGetTime();
        theGame->RunFrame();
    }
    state.counters["pieces"] = theGame->garbage->Count();
    state.counters["flips"] = session.backend.framesFlipped;
}
BENCHMARK_CAPTURE(BM_PlayFrame, composed, false);
BENCHMARK_CAPTURE(BM_PlayFrame, shown, true);

// One menu frame with the cursor in the middle of the screen: the Credits button is read from its
// file, then background, three items and the button are drawn and flipped; "composed" and "shown"
// as for the play frame.
void BM_MenuFrame(benchmark::State& state, int cursorX, int cursorY, bool shown) {
    BenchSession session;
    if (!ReadyToDraw(state, session)) return;
    session.backend.copyToScreen = shown;
    theGame = new GameScreen();
    theMenu = new MainMenu();
    theMenu->LoadAssets();
    session.backend.SetCursor(cursorX, cursorY);
    for (auto _ : state) theMenu->RunFrame();
    state.counters["flips"] = session.backend.framesFlipped;
}

BENCHMARK_CAPTURE(BM_MenuFrame, composed, 400, 300, false);
BENCHMARK_CAPTURE(BM_MenuFrame, shown, 400, 300, true);
// With the Start item lit under the cursor, and with the cursor on the lit Credits button.
BENCHMARK_CAPTURE(BM_MenuFrame, composed_start_lit, 100, 150, false);
BENCHMARK_CAPTURE(BM_MenuFrame, composed_credits_lit, 750, 575, false);

// The flip alone on the headless platform: the swap, and the copy of the frame that stands for the
// screen. Part of both frames above; the real platform uploads a texture instead.
void BM_PresentFrame(benchmark::State& state) {
    BenchSession session;
    if (!session.started) {
        state.SkipWithError("the devices did not start");
        return;
    }
    for (auto _ : state) PresentFrame();
}
BENCHMARK(BM_PresentFrame);

// Reading the Credits button from its file, alone: the one disk read of every menu frame.
void BM_LoadCreditsButton(benchmark::State& state) {
    if (!AssetPackPresent()) {
        state.SkipWithError("no asset pack in the run folder (build with -DFLURBER_ASSETS=ON)");
        return;
    }
    BenchSession session;
    Surface* slot = nullptr;
    for (auto _ : state) LoadBitmapSurface("Graphics\\Credits.bmp", slot);
    ReleaseSurface(slot);
}
BENCHMARK(BM_LoadCreditsButton);

}  // namespace
