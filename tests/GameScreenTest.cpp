#include <gtest/gtest.h>

#include <cwchar>
#include <type_traits>
#include <vector>

#include "app/Shell.h"
#include "game/GameScreen.h"
#include "game/Random.h"
#include "tests/support/GameHarness.h"

// The widths the countdown, camera and tempo arithmetic depend on.
static_assert(std::is_same_v<decltype(GameScreen::arrowPhase), int8_t>);
static_assert(std::is_same_v<decltype(GameScreen::spawnInterval), int8_t>);
static_assert(std::is_same_v<decltype(GameScreen::lastTick), uint32_t>);
static_assert(std::is_same_v<decltype(GameScreen::cameraX), int16_t>);
static_assert(std::is_same_v<decltype(GameScreen::level), int8_t>);
static_assert(std::is_same_v<decltype(GameScreen::tempo), int16_t>);
static_assert(std::is_same_v<decltype(GameScreen::secondsLeft), int8_t>);
static_assert(std::is_same_v<decltype(GameScreen::speedUpSecond), int8_t>);
static_assert(sizeof(GameScreen::musicPath) / sizeof(wchar_t) == 260);
static_assert(!std::is_copy_constructible_v<GameScreen>, "the screen owns its pictures");

TEST(GameScreenRecord, StartsWithNoGameAndDestroysWithoutOne) {
    auto* game = new GameScreen();
    EXPECT_EQ(0, game->arrowPhase);
    EXPECT_EQ(1, game->pendingEntry);
    EXPECT_EQ(1, game->strokeArmed);
    EXPECT_EQ(0, game->assetsLoaded);
    EXPECT_EQ(0, game->clockRunning);
    EXPECT_EQ(0, game->spawnInterval);
    EXPECT_EQ(0u, game->lastTick);
    EXPECT_EQ(nullptr, game->targetItem);
    EXPECT_EQ(nullptr, game->garbage);
    EXPECT_EQ(400, game->cameraX);
    EXPECT_EQ(1, game->level);
    EXPECT_EQ(nullptr, game->roomSurface);
    EXPECT_EQ(nullptr, game->bannerSound);
    EXPECT_EQ(100, game->tempo);
    EXPECT_EQ(nullptr, game->cleaner);
    EXPECT_EQ(0, game->secondsLeft);
    EXPECT_EQ(0, game->speedUpSecond);
    EXPECT_EQ(L'\0', game->musicPath[0]);
    // Releasing the stroke before any game only arms it.
    game->strokeArmed = 0;
    game->RearmStroke();
    EXPECT_EQ(1, game->strokeArmed);
    delete game;
}

class GameScreenTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(h.started); }

    GameHarness h;
};

TEST_F(GameScreenTest, NewGameSetsUpTheBathroomWithFifteenToSeventeenPiecesOnTheFloor) {
    // Seeds whose first draw gives each of the three possible counts.
    std::vector<uint32_t> seeds;
    for (int wanted = 0; wanted < 3; ++wanted) {
        for (uint32_t seed = 1;; ++seed) {
            SeedRandom(seed);
            if (Rand() % 3 == wanted) {
                seeds.push_back(seed);
                break;
            }
        }
    }
    for (const uint32_t seed : seeds) {
        SCOPED_TRACE(seed);
        const std::vector<DrawnPiece> expected = GarbageDrawnFrom(seed, 15);
        SeedRandom(seed);
        h.StartFromMenu();
        GameScreen& game = *h.game;
        EXPECT_TRUE(HoldsStartingGarbage(*game.garbage, expected));
        for (int i = 0; i < game.garbage->Count(); ++i) {
            EXPECT_GE(game.garbage->At(i)->X(), 100);
            EXPECT_LE(game.garbage->At(i)->X(), 1399);
        }
        EXPECT_EQ(1, game.level);
        EXPECT_EQ(110, game.tempo);
        EXPECT_EQ(20, game.secondsLeft);
        EXPECT_EQ(4, game.spawnInterval);
        EXPECT_EQ(5, game.speedUpSecond);
        EXPECT_EQ(400, game.cameraX);
        EXPECT_EQ(550, game.cleaner->X());
        EXPECT_EQ(0, game.clockRunning);
        EXPECT_EQ(nullptr, game.targetItem);
        EXPECT_EQ(1, game.assetsLoaded);
        EXPECT_EQ(0, game.pendingEntry);
        EXPECT_EQ(1, gameInProgress);
        EXPECT_STREQ(L"Music\\carribean.mid", game.musicPath);
        EXPECT_FALSE(h.backend.cursorVisible);
        ASSERT_NE(nullptr, game.roomSurface);
        EXPECT_EQ(1600, game.roomSurface->width);
        EXPECT_EQ(TestArt::Room(1, 1234), game.roomSurface->Pixel(1234, 300));
        ASSERT_NE(nullptr, game.garbageSurface);
        EXPECT_EQ(TestArt::Garbage(150, 60), game.garbageSurface->Pixel(150, 60));
        ASSERT_NE(nullptr, game.arrowsSurface);
        EXPECT_EQ(TestArt::LeftArrow, game.arrowsSurface->Pixel(10, 60));
        ASSERT_NE(nullptr, game.bannerSurface);
        EXPECT_EQ(TestArt::Banner(7), game.bannerSurface->Pixel(7, 50));
        ASSERT_NE(nullptr, game.cleanerSurface);
        EXPECT_EQ(TestArt::CleanerCell(1, 3), game.cleanerSurface->Pixel(700, 1000));
    }
}

TEST_F(GameScreenTest, EveryRoomComesFromItsRowAndRestartsAfresh) {
    struct Row {
        int level;
        const wchar_t* music;
        int tempo;
        int base;
        int seconds;
        int interval;
        int speedUp;
    };
    const Row rows[] = {
        {1, L"Music\\carribean.mid", 110, 15, 20, 4, 5},
        {2, L"Music\\stepitup.mid", 100, 16, 20, 4, 5},
        {3, L"Music\\hectic.mid", 120, 20, 20, 3, 8},
        {4, L"Music\\snazzyjazzy.mid", 120, 24, 30, 2, 15},
        {5, L"Music\\doublebass.mid", 120, 30, 40, 1, 15},
    };
    h.StartFromMenu();
    GameScreen& game = *h.game;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.level);
        // Leave the room in the middle of play: camera moved, tempo risen, clock running.
        h.Pass();
        game.cameraX = 730;
        game.cleaner->Move(1);
        game.tempo = static_cast<int16_t>(game.tempo + 20);
        game.secondsLeft = 3;
        game.targetItem = game.garbage->head;
        ASSERT_EQ(1, game.clockRunning);

        const uint32_t seed = 1000u + static_cast<uint32_t>(row.level);
        const std::vector<DrawnPiece> expected = GarbageDrawnFrom(seed, row.base);
        SeedRandom(seed);
        game.SetupLevel(static_cast<int8_t>(row.level));

        EXPECT_TRUE(HoldsStartingGarbage(*game.garbage, expected));
        EXPECT_EQ(row.level, game.level);
        EXPECT_STREQ(row.music, game.musicPath);
        EXPECT_EQ(row.tempo, game.tempo);
        EXPECT_EQ(row.seconds, game.secondsLeft);
        EXPECT_EQ(row.interval, game.spawnInterval);
        EXPECT_EQ(row.speedUp, game.speedUpSecond);
        EXPECT_EQ(TestArt::Room(row.level, 1599), game.roomSurface->Pixel(1599, 0));
        EXPECT_EQ(400, game.cameraX);
        EXPECT_EQ(550, game.cleaner->X());
        EXPECT_EQ(0, game.cleaner->walkFrame);
        EXPECT_EQ(0, game.clockRunning);
        EXPECT_EQ(nullptr, game.targetItem);
    }
}

TEST_F(GameScreenTest, SecondGameBeginsAtRoomOneWithTheSameCleanerFacingAsItLastWas) {
    h.StartFromMenu();
    GameScreen& game = *h.game;
    Cleaner* const cleaner = game.cleaner;
    game.SetupLevel(3);
    cleaner->Move(1);
    cleaner->SetStrokePose(1);

    game.StartGame();
    EXPECT_EQ(cleaner, game.cleaner);
    EXPECT_EQ(1, game.level);
    EXPECT_EQ(110, game.tempo);
    EXPECT_EQ(550, cleaner->X());
    Rect tool{};
    cleaner->GetToolFrame(&tool);
    EXPECT_EQ(500, tool.left);
    EXPECT_EQ(325, tool.top);
}
