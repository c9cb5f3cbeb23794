// Memory figures, each one run: the resident set over 100,000 menu frames (the Credits button read
// from its file on each) and over 100 rooms played by a scripted player through the whole
// program. Run them with --benchmark_filter=Memory; scripts/bench.sh prints the counters.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>

#include "app/Devices.h"
#include "app/Program.h"
#include "app/Shell.h"
#include "bench/BenchSession.h"
#include "game/Cleaner.h"
#include "game/GameScreen.h"
#include "menu/MainMenu.h"
#include "platform/System.h"
#include "platform/display/Surface.h"
#include "platform/input/KeyCodes.h"

namespace {

constexpr int WarmUpFrames = 1000;
constexpr int MenuFrames = 100000;
constexpr int SampleEvery = 10000;
constexpr int Rooms = 100;
constexpr int WarmUpRooms = 10;

struct RssRange {
    long low = -1;
    long high = -1;
    void Add(long kilobytes) {
        low = low < 0 ? kilobytes : std::min(low, kilobytes);
        high = std::max(high, kilobytes);
    }
};

void Report(benchmark::State& state, long warm, long end, const RssRange& range) {
    state.counters["rss_warm_kB"] = static_cast<double>(warm);
    state.counters["rss_end_kB"] = static_cast<double>(end);
    state.counters["rss_growth_kB"] = static_cast<double>(end - warm);
    state.counters["rss_span_kB"] = static_cast<double>(range.high - range.low);
}

// The cursor visits the middle, the Start item, the Credits button (the lit picture is read then)
// and the Quit item, 100 frames each.
void PlaceCursor(HeadlessBackend& backend, int frame) {
    static const int places[4][2] = {{400, 300}, {100, 150}, {750, 575}, {100, 350}};
    const int* place = places[(frame / 100) % 4];
    backend.SetCursor(place[0], place[1]);
}

void BM_Memory_MenuFrames(benchmark::State& state) {
    if (!AssetPackPresent()) {
        state.SkipWithError("no asset pack in the run folder (build with -DFLURBER_ASSETS=ON)");
        return;
    }
    for (auto _ : state) {
        BenchSession session;
        if (!session.started) {
            state.SkipWithError("the devices did not start");
            return;
        }
        theGame = new GameScreen();
        theMenu = new MainMenu();
        theMenu->LoadAssets();
        for (int frame = 0; frame < WarmUpFrames; ++frame) {
            PlaceCursor(session.backend, frame);
            theMenu->RunFrame();
        }
        const long warm = ResidentKilobytes();
        const int surfaces = Surface::liveCount;
        RssRange range;
        range.Add(warm);
        for (int frame = 0; frame < MenuFrames; ++frame) {
            PlaceCursor(session.backend, frame);
            theMenu->RunFrame();
            if ((frame + 1) % SampleEvery == 0) range.Add(ResidentKilobytes());
        }
        Report(state, warm, ResidentKilobytes(), range);
        state.counters["frames"] = MenuFrames;
        state.counters["surfaces_growth"] = Surface::liveCount - surfaces;
    }
}
BENCHMARK(BM_Memory_MenuFrames)->Iterations(1)->Unit(benchmark::kSecond);

// A scripted player: walks to the piece nearest the cleaner and strikes it once it is in reach,
// one press of S per two frames. Every seventh room it stands idle and loses with the countdown.
class RoomPlayer {
public:
    void OnFlip(HeadlessBackend& backend) {
        if (gameMode == ModeMenu) {
            NoteRoomOver();
            if (gameInProgress == 0 && backend.events.empty() && rooms < Rooms)
                backend.Click(100, 150);  // Start
            return;
        }
        GameScreen& game = *theGame;
        if (game.clockRunning == 0 || gameInProgress == 0) {
            NoteRoomOver();
            return;
        }
        roomOn = true;
        if (rooms % 7 == 6) {
            backend.SetKey(DIK_LEFT, false);
            backend.SetKey(DIK_RIGHT, false);
            return;
        }
        Steer(backend, game);
    }

    int rooms = 0;
    long warm = 0;
    long last = 0;
    RssRange range;

private:
    void NoteRoomOver() {
        if (!roomOn) return;
        roomOn = false;
        ++rooms;
        const long resident = ResidentKilobytes();
        if (rooms == WarmUpRooms) warm = resident;
        if (rooms >= WarmUpRooms) range.Add(resident);
        last = resident;
        if (rooms >= Rooms) PostQuitMessage(0);
    }

    void Steer(HeadlessBackend& backend, GameScreen& game) {
        backend.SetKey(DIK_LEFT, false);
        backend.SetKey(DIK_RIGHT, false);
        const GarbageItem* target = game.targetItem;
        if (target == nullptr || game.cleaner == nullptr) return;
        const int cx = game.cleaner->X();
        const int centre = cx + CleanerSpriteWidth / 2;
        const int pieceCentre = target->X() + 50;
        const bool inReach = target->X() + 100 > cx && target->X() < cx + CleanerSpriteWidth;
        if (!inReach || (pieceCentre < centre - 150 || pieceCentre > centre + 150)) {
            backend.SetKey(pieceCentre < centre ? DIK_LEFT : DIK_RIGHT, true);
        }
        if (!inReach || target->Y() < 400) return;
        if (strokeDown) {
            backend.ReleaseKey(DIK_S);
        } else {
            backend.SetKey(DIK_S, true);
        }
        strokeDown = !strokeDown;
    }

    bool roomOn = false;
    bool strokeDown = false;
};

void BM_Memory_Rooms(benchmark::State& state) {
    if (!AssetPackPresent()) {
        state.SkipWithError("no asset pack in the run folder (build with -DFLURBER_ASSETS=ON)");
        return;
    }
    for (auto _ : state) {
        // RunProgram starts and stops the devices itself.
        BenchSession session(false);
        session.backend.audioAvailable = true;
        RoomPlayer player;
        session.backend.onFlip = [&player](HeadlessBackend& backend) { player.OnFlip(backend); };
        const int surfaces = Surface::liveCount;
        const int exitCode = RunProgram();
        if (exitCode != 0 || player.rooms < Rooms) {
            state.SkipWithError("the scripted run did not play its rooms to the end");
            return;
        }
        Report(state, player.warm, player.last, player.range);
        state.counters["rooms"] = player.rooms;
        state.counters["game_minutes"] = static_cast<double>(session.backend.microseconds) / 60e6;
        state.counters["surfaces_left"] = Surface::liveCount - surfaces;
    }
}
BENCHMARK(BM_Memory_Rooms)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
