#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/Program.h"
#include "app/Shell.h"
#include "game/Cleaner.h"
#include "game/GameScreen.h"
#include "game/Random.h"
#include "menu/MainMenu.h"
#include "platform/Backend.h"
#include "platform/display/Surface.h"
#include "platform/headless/HeadlessBackend.h"
#include "platform/input/KeyCodes.h"
#include "tests/support/HeadlessSession.h"
#include "tests/support/TestFiles.h"

// Long runs of the whole program on the headless platform with the real asset pack: ten minutes
// of game time under random keys, and a scripted game with each file of the pack missing or
// garbled in turn. Nothing may crash, hang or leak, and the timed sequences keep their lengths.
//
// FLURBER_SOAK_SCALE (0.05 to 1; default 1, or 0.25 in the sanitizer build) shortens the random
// run, leaves out the garbled pictures (they fail to load as missing ones do) and plays the lost
// room only where its picture or sound is damaged.

namespace fs = std::filesystem;

namespace {

constexpr uint32_t SoakSeed = 20261207;
constexpr uint64_t FrameMicroseconds = 1000000 / 60;
constexpr uint32_t OutcomeMs = 300 + 2000;
constexpr uint32_t VictoryMs = 300 + 4 * 600 + 200;
constexpr int IntroFlips = 100;

#if defined(__SANITIZE_ADDRESS__)
constexpr double DefaultScale = 0.25;  // the sanitizer build runs several times slower
#else
constexpr double DefaultScale = 1.0;
#endif

double SoakScale() {
    const char* text = std::getenv("FLURBER_SOAK_SCALE");
    if (text == nullptr || *text == '\0') return DefaultScale;
    const double scale = std::atof(text);
    return std::clamp(scale, 0.05, 1.0);
}

bool AssetPackPresent() {
    return fs::exists(fs::path(FLURBER_RUN_DIR) / "Graphics" / "MenuBG.bmp");
}

// Aborts the whole test program when a run takes longer than it ever should: a hang.
class Watchdog {
public:
    Watchdog(std::chrono::seconds limit, std::string what)
        : done(false), thread([this, limit, what] {
              std::unique_lock<std::mutex> lock(mutex);
              if (!wake.wait_for(lock, limit, [this] { return done; })) {
                  std::fprintf(stderr, "hang: %s did not end within %lld s\n", what.c_str(),
                               static_cast<long long>(limit.count()));
                  std::abort();
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            done = true;
        }
        wake.notify_all();
        thread.join();
    }

private:
    std::mutex mutex;
    std::condition_variable wake;
    bool done;
    std::thread thread;
};

// What the program showed at one flip, enough to tell two runs apart in time and in play.
struct FlipRecord {
    uint32_t ms;
    int8_t mode;
    int8_t level;
    int32_t clockRunning;
    int8_t secondsLeft;
    int16_t pieces;
    int16_t cleanerX;
    int16_t cameraX;

    bool operator==(const FlipRecord& o) const {
        return ms == o.ms && mode == o.mode && level == o.level && clockRunning == o.clockRunning &&
               secondsLeft == o.secondsLeft && pieces == o.pieces && cleanerX == o.cleanerX &&
               cameraX == o.cameraX;
    }
};

FlipRecord Record(HeadlessBackend& backend) {
    FlipRecord r{backend.Milliseconds(), gameMode, 0, 0, 0, 0, 0, 0};
    if (theGame != nullptr) {
        r.level = theGame->level;
        r.clockRunning = theGame->clockRunning;
        r.secondsLeft = theGame->secondsLeft;
        r.pieces = theGame->garbage != nullptr ? theGame->garbage->Count() : -1;
        r.cleanerX = theGame->cleaner != nullptr ? theGame->cleaner->X() : -1;
        r.cameraX = theGame->cameraX;
    }
    return r;
}

// What holds after every frame, whatever the keys did.
::testing::AssertionResult GameStateSane() {
    if (theGame == nullptr) return ::testing::AssertionSuccess();
    const GameScreen& g = *theGame;
    if (g.cameraX < 0 || g.cameraX > 800)
        return ::testing::AssertionFailure() << "cameraX " << g.cameraX;
    if (g.arrowPhase < 0 || g.arrowPhase > 8)
        return ::testing::AssertionFailure() << "arrowPhase " << int{g.arrowPhase};
    if (g.level < 1 || g.level > 5)
        return ::testing::AssertionFailure() << "level " << int{g.level};
    if (g.cleaner != nullptr && (g.cleaner->X() < 0 || g.cleaner->X() > 1100))
        return ::testing::AssertionFailure() << "cleaner x " << g.cleaner->X();
    if (g.targetItem != nullptr) {
        bool listed = false;
        for (int i = 0; g.garbage != nullptr && i < g.garbage->Count(); ++i)
            listed = listed || g.garbage->At(i) == g.targetItem;
        if (!listed) return ::testing::AssertionFailure() << "targetItem is not in the list";
    }
    return ::testing::AssertionSuccess();
}

// Runs the whole program in `folder` to its exit code, the script seeing every flip. The clock
// seed is replaced at the first flip so that the garbage is the same from run to run.
int RunWholeProgram(HeadlessBackend& backend, const std::string& folder,
                    const std::function<void(HeadlessBackend&)>& script) {
    WorkingDirectory here(folder);
    activeBackend = &backend;
    backend.onFlip = [&script](HeadlessBackend& b) {
        if (b.framesFlipped == 1) SeedRandom(SoakSeed);
        script(b);
    };
    const int code = RunProgram();
    activeBackend = nullptr;
    return code;
}

// ---------------------------------------------------------------------------------------------
// Ten minutes of random keys.

class RandomPlayer {
public:
    explicit RandomPlayer(uint64_t endMicroseconds) : random(SoakSeed), end(endMicroseconds) {}

    void OnFlip(HeadlessBackend& b) {
        const FlipRecord now = Record(b);
        CheckTimings(now);
        EXPECT_TRUE(GameStateSane()) << "at " << now.ms << " ms";
        previous = now;
        hadFlip = true;
        returnOrSpaceThisFrame = false;

        if (b.microseconds >= end) {
            Finish(b);
            return;
        }
        if (Chance(0.0005)) {
            // Another program takes the window for a while: frames stop until it comes back.
            PlatformEvent away;
            away.type = PlatformEvent::Deactivated;
            b.PushEvent(away);
            idleLeft = 5 + static_cast<int>(random() % 60);
            ++deactivations;
        }
        if (gameMode == ModePlaying) {
            PlayKeys(b);
        } else {
            MenuKeys(b);
        }
    }

    void OnIdle(HeadlessBackend& b) {
        inactiveSinceLastFlip = true;
        if (--idleLeft > 0) return;
        PlatformEvent back;
        back.type = PlatformEvent::Activated;
        b.PushEvent(back);
    }

    std::vector<int> introRuns;
    std::vector<uint32_t> outcomeGaps;
    int deactivations = 0;
    int roomsEnded = 0;

private:
    bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(random) < p; }

    void CheckTimings(const FlipRecord& now) {
        // An intro is a run of play flips with the clock stopped: 100, and one more when the run
        // began with the flip of a frame in which Return or Space set the room up anew.
        const bool introFlip = now.mode == ModePlaying && now.clockRunning == 0;
        if (introFlip) {
            if (run == 0) runStartedByKey = returnOrSpaceThisFrame;
            ++run;
        } else if (run > 0) {
            introRuns.push_back(run - (runStartedByKey ? 1 : 0));
            run = 0;
        }
        // A gap of more than a second between flips is the outcome of a room (or the victory),
        // unless the window was away meanwhile.
        if (hadFlip && !inactiveSinceLastFlip && now.ms - previous.ms > 1000) {
            outcomeGaps.push_back(now.ms - previous.ms);
            ++roomsEnded;
        }
        inactiveSinceLastFlip = false;
    }

    void Toggle(HeadlessBackend& b, int key) {
        if ((b.keys[key] & 0x80) != 0) {
            b.ReleaseKey(key);
        } else {
            b.SetKey(key, true);
        }
    }

    void PlayKeys(HeadlessBackend& b) {
        // Return and Space are pressed for one frame at a time, and nothing is pressed while an
        // intro runs: the intro reads no keys, and its count stays exact.
        if ((b.keys[DIK_RETURN] & 0x80) != 0) b.ReleaseKey(DIK_RETURN);
        if ((b.keys[DIK_SPACE] & 0x80) != 0) b.ReleaseKey(DIK_SPACE);
        if (theGame->clockRunning == 0) return;
        for (int key : {DIK_LEFT, DIK_RIGHT, DIK_S}) {
            if (Chance(0.08)) Toggle(b, key);
        }
        // Return and Space only when the next frame surely reads the keys: no countdown step due
        // (it could end the room first) and garbage left; never together with Escape.
        const bool keysRead =
            b.Milliseconds() - theGame->lastTick < 900 && !theGame->garbage->IsEmpty();
        b.SetKey(DIK_ESCAPE, false);
        if (keysRead && Chance(0.002)) {
            b.SetKey(DIK_RETURN, true);
            returnOrSpaceThisFrame = true;
        } else if (keysRead && Chance(0.003)) {
            b.SetKey(DIK_SPACE, true);
            returnOrSpaceThisFrame = true;
        } else if (Chance(0.002)) {
            b.SetKey(DIK_ESCAPE, true);
        }
    }

    void MenuKeys(HeadlessBackend& b) {
        for (int key : {DIK_LEFT, DIK_RIGHT, DIK_S, DIK_RETURN, DIK_SPACE}) {
            if ((b.keys[key] & 0x80) != 0) b.ReleaseKey(key);
        }
        // Escape with no game in progress would quit: only while a game waits.
        b.SetKey(DIK_ESCAPE, gameInProgress != 0 && Chance(0.01));
        if (Chance(0.05))
            b.SetCursor(static_cast<int>(random() % 800), static_cast<int>(random() % 600));
        if (!b.events.empty() || !Chance(0.03)) return;
        int x = static_cast<int>(random() % 800);
        int y = static_cast<int>(random() % 600);
        // Quit answers from y 290 to 400 in the item column: keep clear of it.
        if (x <= 200 && y >= 290 && y <= 400) y = 150;
        b.Click(x, y);
    }

    void Finish(HeadlessBackend& b) {
        for (int key : {DIK_LEFT, DIK_RIGHT, DIK_S, DIK_RETURN, DIK_SPACE}) b.SetKey(key, false);
        if (gameMode == ModePlaying) {
            b.SetKey(DIK_ESCAPE, true);
            return;
        }
        b.SetKey(DIK_ESCAPE, false);
        if (b.events.empty()) b.Click(100, 350);  // Quit (or, first, close the credits page)
    }

    std::mt19937 random;
    uint64_t end;
    FlipRecord previous{};
    bool hadFlip = false;
    bool inactiveSinceLastFlip = false;
    int idleLeft = 0;
    int run = 0;
    bool runStartedByKey = false;
    bool returnOrSpaceThisFrame = false;
};

TEST(Soak, TenMinutesOfRandomKeysEndWithoutCrashHangOrLeakAndKeepEveryTiming) {
    if (!AssetPackPresent()) GTEST_SKIP() << "no asset pack in " << FLURBER_RUN_DIR;
    const double scale = SoakScale();
    const uint64_t gameMicroseconds = static_cast<uint64_t>(10 * 60 * 1e6 * scale);
    Watchdog watchdog(std::chrono::seconds(1200), "the ten-minute soak");

    HeadlessBackend backend;
    backend.audioAvailable = true;  // music and sounds are rendered all along
    RandomPlayer player(gameMicroseconds);
    backend.onIdle = [&player](HeadlessBackend& b) { player.OnIdle(b); };
    const int surfacesBefore = Surface::liveCount;
    const int code = RunWholeProgram(backend, FLURBER_RUN_DIR,
                                     [&player](HeadlessBackend& b) { player.OnFlip(b); });

    EXPECT_EQ(0, code);
    EXPECT_FALSE(backend.windowOpen);
    // It ran its whole time and then quit soon, at 60 frames a second while active.
    EXPECT_GE(backend.microseconds, gameMicroseconds);
    EXPECT_LT(backend.microseconds, gameMicroseconds + 30 * 1000000ull);
    EXPECT_GT(backend.framesFlipped, static_cast<int>(gameMicroseconds / FrameMicroseconds / 3));
    EXPECT_EQ(surfacesBefore, Surface::liveCount);
    EXPECT_TRUE(backend.messageBoxes.empty());
    EXPECT_GT(player.deactivations, 0);

    // Rooms were played, set up again and ended, and every intro and outcome kept its length.
    ASSERT_FALSE(player.introRuns.empty());
    for (int flips : player.introRuns) EXPECT_EQ(IntroFlips, flips);
    EXPECT_GT(player.roomsEnded, 0);
    for (uint32_t gap : player.outcomeGaps) {
        const bool outcome = gap >= OutcomeMs && gap <= OutcomeMs + 1;
        const bool victory = gap >= VictoryMs && gap <= VictoryMs + 1;
        EXPECT_TRUE(outcome || victory) << gap << " ms between two flips";
    }
    std::printf("soak: %.1f game minutes, %d flips, %zu intros, %d outcomes, %d times away\n",
                static_cast<double>(backend.microseconds) / 60e6, backend.framesFlipped,
                player.introRuns.size(), player.roomsEnded, player.deactivations);
}

// ---------------------------------------------------------------------------------------------
// One scripted game with each file of the pack missing or garbled.

// Hover and open the credits, toggle the configuration picture, start; room 1: leave for the menu
// and come back, then Space; room 2: lost with the countdown, then Space; rooms 3 to 5: Space, the
// victory; Escape on the menu quits. Every picture, sound and song of the pack is loaded on the
// way.
class ScriptedGame {
public:
    // Without the lost room 2 the game is 1,200 frames shorter (the short run's form).
    explicit ScriptedGame(bool loseRoomTwo) : loseRoomTwo(loseRoomTwo) {}

    void OnFlip(HeadlessBackend& b) {
        const FlipRecord now = Record(b);
        trace.push_back(now);
        const uint32_t gap = trace.size() > 1 ? now.ms - trace[trace.size() - 2].ms : 0;
        const bool intro = now.mode == ModePlaying && now.clockRunning == 0 && !spaceFrame;
        if (intro) ++introRun;
        if (!intro && introRun > 0) {
            introRuns.push_back(introRun);
            introRun = 0;
        }
        if (spaceFrame) {
            // The flip of the frame in which Space ended the room: its outcome came first.
            outcomeGaps.push_back(gap);
            spaceFrame = false;
            b.SetKey(DIK_SPACE, false);
        } else if (intro && gap > 1000 && now.level == 2 && !lostSeen) {
            // The first intro flip after the countdown ran out in room 2.
            outcomeGaps.push_back(gap);
            lostSeen = true;
        }
        Act(b, now);
    }

    std::vector<FlipRecord> trace;
    std::vector<int> introRuns;
    std::vector<uint32_t> outcomeGaps;

private:
    void PressSpace(HeadlessBackend& b) {
        b.SetKey(DIK_SPACE, true);
        spaceFrame = true;
    }

    void Next() {
        ++phase;
        step = 0;
    }

    // Each phase counts only the flips in which it acts.
    void Act(HeadlessBackend& b, const FlipRecord& now) {
        const bool playing = now.mode == ModePlaying && now.clockRunning != 0;
        switch (phase) {
            case 0:  // menu: the lit Credits button, its page, the configuration picture, Start
                ++step;
                if (step == 2) b.SetCursor(750, 575);
                if (step == 4) b.SetCursor(400, 300);
                if (step == 6) b.Click(750, 575);   // opens the credits page
                if (step == 9) b.Click(400, 300);   // closes it
                if (step == 11) b.Click(100, 250);  // configuration picture on
                if (step == 13) b.Click(100, 250);  // and off
                if (step == 15) {
                    b.Click(100, 150);  // Start
                    Next();
                }
                break;
            case 1:  // room 1: walk right a little, then Escape to the menu
                if (!playing) break;
                ++step;
                b.SetKey(DIK_RIGHT, step < 20);
                if (step == 30) {
                    b.SetKey(DIK_ESCAPE, true);
                    Next();
                }
                break;
            case 2:  // on the menu: let Escape go, then press it again to resume
                if (now.mode != ModeMenu) break;
                ++step;
                if (step == 1) b.ReleaseKey(DIK_ESCAPE);
                if (step == 5) {
                    b.SetKey(DIK_ESCAPE, true);
                    Next();
                }
                break;
            case 3:  // back in room 1: Space
                if (now.mode != ModePlaying) break;
                b.SetKey(DIK_ESCAPE, false);
                if (++step == 20) {
                    PressSpace(b);
                    Next();
                }
                break;
            case 4:  // room 2: no keys until the countdown has run out and the room starts again
                if (!loseRoomTwo || (lostSeen && playing)) Next();
                break;
            case 5:  // rooms 2, 3, 4 and 5: Space once each has begun
            case 6:
            case 7:
            case 8:
                if (playing && ++step == 10) {
                    PressSpace(b);
                    Next();
                }
                break;
            case 9:  // the victory has handed back to the menu: Escape quits
                if (now.mode == ModeMenu && ++step > 5) b.SetKey(DIK_ESCAPE, true);
                break;
            default:
                break;
        }
    }

    bool loseRoomTwo;
    int phase = 0;
    int step = 0;
    int introRun = 0;
    bool spaceFrame = false;
    bool lostSeen = false;
};

struct ScriptedResult {
    int code = -1;
    std::vector<FlipRecord> trace;
    std::vector<int> introRuns;
    std::vector<uint32_t> outcomeGaps;
    std::vector<HeadlessBackend::MessageBoxRecord> messageBoxes;
    int surfacesLeft = 0;
};

ScriptedResult PlayScriptedGame(const std::string& folder, bool withAudio, bool loseRoomTwo) {
    Watchdog watchdog(std::chrono::seconds(300), "a scripted game in " + folder);
    HeadlessBackend backend;
    backend.audioAvailable = withAudio;
    ScriptedGame game(loseRoomTwo);
    const int surfacesBefore = Surface::liveCount;
    ScriptedResult result;
    result.code = RunWholeProgram(backend, folder, [&game](HeadlessBackend& b) {
        game.OnFlip(b);
        // A script that lost its way ends the run rather than spin: the trace then differs.
        if (b.framesFlipped > 20000) b.CloseWindow();
    });
    result.trace = game.trace;
    result.introRuns = game.introRuns;
    result.outcomeGaps = game.outcomeGaps;
    result.messageBoxes = backend.messageBoxes;
    result.surfacesLeft = Surface::liveCount - surfacesBefore;
    return result;
}

std::vector<std::string> PackFiles() {
    std::vector<std::string> files;
    for (const char* folder : {"Graphics", "Sounds", "Music"}) {
        const fs::path dir = fs::path(FLURBER_RUN_DIR) / folder;
        if (!fs::is_directory(dir)) continue;
        for (const auto& entry : fs::directory_iterator(dir)) {
            if (entry.is_regular_file())
                files.push_back(std::string(folder) + "/" + entry.path().filename().string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

void CopyPack(const std::string& to) {
    for (const char* folder : {"Graphics", "Sounds", "Music"}) {
        const fs::path from = fs::path(FLURBER_RUN_DIR) / folder;
        if (fs::is_directory(from))
            fs::copy(from, fs::path(to) / folder, fs::copy_options::recursive);
    }
}

bool IsWave(const std::string& file) {
    return file.size() > 4 && file.compare(file.size() - 4, 4, ".wav") == 0;
}

// The sequences of the reference run keep their lengths: `rooms` intros of 100 flips, the outcome
// of each room 2.3 s, and the victory 2.9 s ending on the menu.
void ExpectScriptedTimings(const ScriptedResult& run, size_t rooms) {
    ASSERT_EQ(0, run.code);
    EXPECT_TRUE(run.messageBoxes.empty());
    EXPECT_EQ(0, run.surfacesLeft);
    ASSERT_EQ(rooms, run.introRuns.size());
    for (int flips : run.introRuns) EXPECT_EQ(IntroFlips, flips);
    ASSERT_EQ(rooms, run.outcomeGaps.size());
    for (size_t i = 0; i + 1 < run.outcomeGaps.size(); ++i) {
        EXPECT_GE(run.outcomeGaps[i], OutcomeMs) << i;
        EXPECT_LE(run.outcomeGaps[i], OutcomeMs + 1) << i;
    }
    EXPECT_GE(run.outcomeGaps.back(), VictoryMs);
    EXPECT_LE(run.outcomeGaps.back(), VictoryMs + 1);
    EXPECT_EQ(ModeMenu, run.trace.back().mode);
}

// The scripted game once with the whole pack, music and sounds rendered: the run that
// scripts/bench.sh also plays under Valgrind.
TEST(Soak, ScriptedWholeGameWithSoundKeepsEveryTiming) {
    if (!AssetPackPresent()) GTEST_SKIP() << "no asset pack in " << FLURBER_RUN_DIR;
    const bool loseRoomTwo = SoakScale() >= 1.0;
    const ScriptedResult run = PlayScriptedGame(FLURBER_RUN_DIR, true, loseRoomTwo);
    ExpectScriptedTimings(run, loseRoomTwo ? 6 : 5);
}

TEST(Soak, EveryFileOfThePackMissingOrGarbledChangesNothingButTheWaveFileBoxes) {
    if (!AssetPackPresent()) GTEST_SKIP() << "no asset pack in " << FLURBER_RUN_DIR;
    const double scale = SoakScale();
    const std::vector<std::string> files = PackFiles();
    ASSERT_GE(files.size(), 25u) << "the pack is incomplete";

    // The runs with the whole pack are the references: rooms 1, 2, 2 again (lost), 3, 4, 5; and,
    // for a short run, the same without the lost room.
    TemporaryFolder intact;
    CopyPack(intact.path);
    const ScriptedResult reference = PlayScriptedGame(intact.path, false, true);
    ExpectScriptedTimings(reference, 6);
    ScriptedResult shortReference;
    if (scale < 1.0) {
        shortReference = PlayScriptedGame(intact.path, false, false);
        ExpectScriptedTimings(shortReference, 5);
    }

    std::mt19937 random(SoakSeed);
    int cases = 0;
    for (const std::string& file : files) {
        for (const bool garbled : {false, true}) {
            // Garbled pictures fail to load just as missing ones do; a short run leaves them out,
            // and plays the lost room only where its picture or sound is damaged.
            const bool picture = file.rfind("Graphics/", 0) == 0;
            if (garbled && picture && scale < 1.0) continue;
            const bool full = scale >= 1.0 || file.find("YouLose!") != std::string::npos ||
                              file.find("you_lose") != std::string::npos;
            SCOPED_TRACE((garbled ? "garbled " : "missing ") + file);
            TemporaryFolder folder;
            CopyPack(folder.path);
            const fs::path target = fs::path(folder.path) / file;
            if (garbled) {
                std::vector<uint8_t> bytes(static_cast<size_t>(fs::file_size(target)));
                for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
                WriteBytes(target.string(), bytes);
            } else {
                fs::remove(target);
            }
            // Sound and music files are played for real.
            const ScriptedResult result = PlayScriptedGame(folder.path, !picture, full);
            const ScriptedResult& expected = full ? reference : shortReference;
            ++cases;

            EXPECT_EQ(0, result.code);
            EXPECT_EQ(0, result.surfacesLeft);
            EXPECT_EQ(expected.introRuns, result.introRuns);
            EXPECT_EQ(expected.outcomeGaps, result.outcomeGaps);
            EXPECT_TRUE(expected.trace == result.trace)
                << "flips " << result.trace.size() << " against " << expected.trace.size();
            if (IsWave(file)) {
                ASSERT_FALSE(result.messageBoxes.empty());
                for (const auto& box : result.messageBoxes) EXPECT_EQ("Error", box.caption);
            } else {
                EXPECT_TRUE(result.messageBoxes.empty());
            }
        }
    }
    std::printf("soak: %zu files, %d damaged packs played\n", files.size(), cases);
}

}  // namespace
