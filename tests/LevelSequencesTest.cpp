#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "app/Shell.h"
#include "game/GameScreen.h"
#include "game/Random.h"
#include "platform/System.h"
#include "platform/input/KeyCodes.h"
#include "tests/support/GameHarness.h"

namespace {

using TestArt::Room;
using Points = std::initializer_list<std::pair<int, int>>;

class LevelSequencesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(h.started);
        SeedRandom(11);
    }

    GameHarness h;
    GameScreen& game = *h.game;
};

TEST_F(LevelSequencesTest, IntroSlidesTheBannerAcrossTheRoomInAHundredFlips) {
    h.StartFromMenu();
    h.backend.keepImages = true;
    const int flips = h.backend.framesFlipped;
    h.Pass();
    EXPECT_EQ(flips + 101, h.backend.framesFlipped) << "100 intro passes and the first play frame";
    const auto images = h.TakeImages();
    ASSERT_EQ(102u, images.size());

    // The room at cameraX 400 goes straight onto the screen first.
    EXPECT_FALSE(images[0].flipped);
    EXPECT_EQ(Room(1, 400), PixelOf(images[0].pixels, 0, 0));
    EXPECT_EQ(Room(1, 1199), PixelOf(images[0].pixels, 799, 599));

    const std::vector<uint32_t> countdown = RoomViewWithCountdown(1, 400, "20");
    for (int pass = 0; pass < 100; ++pass) {
        SCOPED_TRACE(testing::Message() << "pass " << pass);
        const std::vector<uint32_t>& image = images[1 + pass].pixels;
        ASSERT_TRUE(images[1 + pass].flipped);
        const int p = -200 + 10 * pass;
        // The banner's columns that show, and where.
        int sourceLeft = 0;
        int left = p;
        int right = p + 200;
        if (p <= 0) {
            sourceLeft = -p;
            left = 0;
            right = p + 200;
        } else if (p > 600) {
            right = 800;
        }
        for (const int y : {100, 150, 199}) {
            for (int x = left; x < right; ++x) {
                ASSERT_EQ(TestArt::Banner(sourceLeft + x - left), PixelOf(image, x, y)) << x;
            }
        }
        // The band is repainted from 10 pixels left of the banner; above and below it the room
        // drawn before the loop stays.
        for (int x = std::max(0, left - 10); x < left; ++x) {
            ASSERT_EQ(Room(1, 400 + x), PixelOf(image, x, 150)) << x;
        }
        for (int x = 0; x < 800; x += 7) {
            ASSERT_EQ(Room(1, 400 + x), PixelOf(image, x, 99));
            ASSERT_EQ(Room(1, 400 + x), PixelOf(image, x, 200));
        }
        EXPECT_TRUE(RegionsEqual(image, countdown, CountdownRegion)) << "countdown stays at 20";
    }
    // The first pass shows nothing of the banner; the last its leftmost 10 columns at 790-799.
    for (int x = 0; x < 800; ++x) {
        ASSERT_EQ(Room(1, 400 + x), PixelOf(images[1].pixels, x, 150)) << x;
    }
    EXPECT_EQ(TestArt::Banner(0), PixelOf(images[100].pixels, 790, 150));
    EXPECT_EQ(TestArt::Banner(9), PixelOf(images[100].pixels, 799, 150));
    EXPECT_EQ(Room(1, 400 + 789), PixelOf(images[100].pixels, 789, 150));

    // The clock starts as the last pass ends.
    EXPECT_EQ(1, game.clockRunning);
    EXPECT_EQ(images[100].time, game.lastTick);
}

TEST_F(LevelSequencesTest, OutcomeShowsItsPictureThenSetsUpTheSameOrTheNextRoom) {
    h.StartFromMenu();
    h.Pass();
    h.backend.keepImages = true;

    // Lost: the 100 x 50 picture stretched over (300, 100)-(500, 200), 300 ms after the room ended.
    uint32_t start = h.Now();
    game.EndLevel(0);
    auto images = h.TakeImages();
    ASSERT_EQ(1u, images.size());
    EXPECT_EQ(start + 300, images[0].time);
    const std::vector<uint32_t>& lost = images[0].pixels;
    for (const auto& [x, y] : Points{{300, 100}, {499, 100}, {300, 199}, {499, 199}, {400, 150}}) {
        EXPECT_EQ(TestArt::YouLose, PixelOf(lost, x, y)) << x << ", " << y;
    }
    for (const auto& [x, y] : Points{{299, 150}, {500, 150}, {400, 99}, {400, 200}}) {
        EXPECT_NE(TestArt::YouLose, PixelOf(lost, x, y)) << x << ", " << y;
    }
    EXPECT_EQ(start + 2300, h.Now());
    EXPECT_EQ(1, game.level);
    EXPECT_EQ(0, game.clockRunning);
    EXPECT_EQ(20, game.secondsLeft);

    // Won, in rooms 1 to 4: the next room, with its intro at the next frame.
    const int tempos[] = {100, 120, 120, 120};
    const int seconds[] = {20, 20, 30, 40};
    for (int room = 1; room <= 4; ++room) {
        SCOPED_TRACE(room);
        const int flips = h.backend.framesFlipped;
        h.Pass();
        ASSERT_EQ(flips + 101, h.backend.framesFlipped);
        h.TakeImages();
        start = h.Now();
        game.EndLevel(1);
        images = h.TakeImages();
        ASSERT_EQ(1u, images.size());
        EXPECT_EQ(start + 300, images[0].time);
        EXPECT_EQ(TestArt::RoomClean, PixelOf(images[0].pixels, 300, 100));
        EXPECT_EQ(TestArt::RoomClean, PixelOf(images[0].pixels, 499, 199));
        EXPECT_NE(TestArt::RoomClean, PixelOf(images[0].pixels, 500, 199));
        EXPECT_EQ(start + 2300, h.Now());
        EXPECT_EQ(room + 1, game.level);
        EXPECT_EQ(tempos[room - 1], game.tempo);
        EXPECT_EQ(seconds[room - 1], game.secondsLeft);
        EXPECT_EQ(Room(room + 1, 0), game.roomSurface->Pixel(0, 0));
    }
}

TEST_F(LevelSequencesTest, EscapeThenResumeGoesOnWhereTheRoomStoodWithoutTheIntro) {
    h.StartFromMenu();
    h.Pass();
    for (int i = 0; i < 3; ++i) h.StepCountdown();
    h.backend.SetKey(DIK_RIGHT, true);
    for (int i = 0; i < 12; ++i) h.Pass();
    h.backend.SetKey(DIK_RIGHT, false);
    const int8_t seconds = game.secondsLeft;
    const int16_t camera = game.cameraX;
    const int16_t cleanerX = game.cleaner->X();
    const GarbageList* garbage = game.garbage;
    const int pieces = garbage->Count();

    h.Tap(DIK_ESCAPE);
    EXPECT_EQ(ModeMenu, gameMode);
    EXPECT_EQ(1, game.pendingEntry);

    // Five seconds on the menu, with the cursor shown, then Escape there hands the game back.
    SetCursorHidden(0);
    h.backend.Advance(5000 * 1000);
    h.Pass();
    h.ResumeFromMenu();
    const uint32_t handOver = game.lastTick;
    const int flips = h.backend.framesFlipped;
    h.Pass();
    EXPECT_EQ(flips + 1, h.backend.framesFlipped) << "no intro";
    EXPECT_EQ(0, game.pendingEntry);
    EXPECT_FALSE(h.backend.cursorVisible);
    EXPECT_GE(h.Now() - handOver, 100u);
    EXPECT_EQ(seconds, game.secondsLeft);
    EXPECT_EQ(camera, game.cameraX);
    EXPECT_EQ(cleanerX, game.cleaner->X());
    EXPECT_EQ(garbage, game.garbage);
    EXPECT_EQ(pieces, game.garbage->Count());
    EXPECT_STREQ(L"Music\\carribean.mid", game.musicPath);

    // The next step comes a second after the hand-over, not at once for the time spent away.
    uint32_t stepStart = h.Now();
    while (game.secondsLeft == seconds) {
        ASSERT_LT(h.Now() - handOver, 1100u);
        stepStart = h.Now();
        h.Pass();
    }
    EXPECT_EQ(seconds - 1, game.secondsLeft);
    EXPECT_GE(stepStart - handOver, 1000u);
}

enum class FinalWin { ByClearing, BySpace, ByCountdown };

class VictoryTest : public ::testing::TestWithParam<FinalWin> {
protected:
    void SetUp() override { ASSERT_TRUE(h.started); }

    // Ends room 5, which is playing, the chosen way, keeping the images shown from then on; returns
    // the moment the room ended.
    uint32_t WinLastRoom(FinalWin how) {
        if (how == FinalWin::ByCountdown) {
            while (game.secondsLeft > 1) h.StepCountdown();
            h.RemoveAllGarbage();
        }
        h.backend.keepImages = true;
        h.TakeImages();
        const uint32_t end = how == FinalWin::ByCountdown ? game.lastTick + 1000 : h.Now();
        flipsBeforeEnd = h.backend.framesFlipped;
        switch (how) {
            case FinalWin::ByClearing:
                h.RemoveAllGarbage();
                h.Pass();
                break;
            case FinalWin::BySpace:
                h.Tap(DIK_SPACE);
                break;
            case FinalWin::ByCountdown:
                h.StepCountdown();
                break;
        }
        return end;
    }

    GameHarness h;
    GameScreen& game = *h.game;
    int flipsBeforeEnd = 0;
};

TEST_P(VictoryTest, WinningAllFiveRoomsPlaysTheVictoryAndHandsTheScreenToTheMenu) {
    SeedRandom(3);
    h.StartFromMenu();

    // Room 1 cleared with strokes: one piece left, three strokes.
    h.Pass();
    GarbageItem* peel = h.OnlyPiece(3, 700, 530);
    h.Pass();
    ASSERT_EQ(peel, game.targetItem);
    for (int i = 0; i < 3; ++i) {
        h.Tap(DIK_S);
        h.Pass();
    }
    ASSERT_EQ(2, game.level);
    // Room 2 by Space.
    h.Pass();
    h.Tap(DIK_SPACE);
    ASSERT_EQ(3, game.level);
    // Room 3 by the countdown reaching 0 with nothing left.
    h.Pass();
    while (game.secondsLeft > 1) h.StepCountdown();
    h.RemoveAllGarbage();
    h.StepCountdown();
    ASSERT_EQ(4, game.level);
    // Room 4 cleared.
    h.Pass();
    h.RemoveAllGarbage();
    h.Pass();
    ASSERT_EQ(5, game.level);
    h.Pass();
    ASSERT_EQ(1, game.clockRunning);
    ASSERT_EQ(40, game.secondsLeft);

    const FinalWin how = GetParam();
    const uint32_t end = WinLastRoom(how);
    auto images = h.TakeImages();
    if (how == FinalWin::ByCountdown) {
        ASSERT_FALSE(images.empty());
        EXPECT_EQ(0xFFFFFFu, PixelOf(images[0].pixels, 395, 20)) << "the zero";
        images.erase(images.begin());
    }
    // Four strips 600 ms apart, each over the one before, and no room-clean picture.
    ASSERT_EQ(how == FinalWin::BySpace ? 5u : 4u, images.size());
    EXPECT_EQ(end + 300, images[0].time);
    for (int strip = 0; strip < 4; ++strip) {
        SCOPED_TRACE(strip);
        const std::vector<uint32_t>& image = images[strip].pixels;
        EXPECT_FALSE(images[strip].flipped);
        if (strip > 0) {
            EXPECT_EQ(600u, images[strip].time - images[strip - 1].time);
        }
        const int left = 20 + 175 * strip;
        for (const auto& [x, y] :
             Points{{left, 295}, {left + 224, 295}, {left, 354}, {left + 224, 354}}) {
            EXPECT_EQ(TestArt::WinnerStrip(strip), PixelOf(image, x, y)) << x << ", " << y;
        }
        EXPECT_NE(TestArt::WinnerStrip(strip), PixelOf(image, left + 225, 320));
        EXPECT_NE(TestArt::WinnerStrip(strip), PixelOf(image, left, 355));
        EXPECT_NE(TestArt::RoomClean, PixelOf(image, 400, 150));
        for (int earlier = 0; earlier < strip; ++earlier) {
            EXPECT_EQ(TestArt::WinnerStrip(earlier), PixelOf(image, 20 + 175 * earlier, 320));
        }
    }
    EXPECT_EQ(images[0].time + 2400 + 200, h.Now());
    // Space came from the controls: that frame is still drawn and flipped.
    EXPECT_EQ(flipsBeforeEnd + (how == FinalWin::BySpace ? 1 : 0), h.backend.framesFlipped);
    EXPECT_EQ(1, game.level);
    EXPECT_EQ(0, gameInProgress);
    EXPECT_EQ(ModeMenu, gameMode);
    EXPECT_EQ(1, game.pendingEntry);
}

INSTANTIATE_TEST_SUITE_P(LastRoom, VictoryTest,
                         ::testing::Values(FinalWin::ByClearing, FinalWin::BySpace,
                                           FinalWin::ByCountdown),
                         [](const ::testing::TestParamInfo<FinalWin>& info) {
                             switch (info.param) {
                                 case FinalWin::ByClearing:
                                     return std::string("ByClearing");
                                 case FinalWin::BySpace:
                                     return std::string("BySpace");
                                 case FinalWin::ByCountdown:
                                     return std::string("ByCountdown");
                             }
                             return std::string();
                         });

// A game from the menu through a lost room, a won one and the victory; the times of every pass.
std::vector<uint32_t> PlayScriptedGame(GameHarness& h) {
    GameScreen& game = *h.game;
    std::vector<uint32_t> times;
    SeedRandom(5);
    h.StartFromMenu();
    times.push_back(h.Now());
    h.Pass();
    times.push_back(h.Now());
    while (game.secondsLeft > 0 && game.clockRunning != 0) {
        h.StepCountdown();
        times.push_back(h.Now());
    }
    h.Pass();
    times.push_back(h.Now());
    h.Tap(DIK_SPACE);
    times.push_back(h.Now());
    h.Pass();
    times.push_back(h.Now());
    h.backend.SetKey(DIK_RIGHT, true);
    for (int i = 0; i < 30; ++i) h.Pass();
    h.backend.SetKey(DIK_RIGHT, false);
    times.push_back(h.Now());
    game.SetupLevel(5);
    h.Pass();
    times.push_back(h.Now());
    h.RemoveAllGarbage();
    h.Pass();
    times.push_back(h.Now());
    EXPECT_EQ(ModeMenu, gameMode);
    EXPECT_EQ(0, gameInProgress);
    return times;
}

TEST(MissingAssets, GameRunsWithTheSameTimingsWhenEveryPictureAndSoundIsMissing) {
    std::vector<uint32_t> withAssets;
    {
        GameHarness h(TestArt::FullFolder(), true);
        ASSERT_TRUE(h.started);
        withAssets = PlayScriptedGame(h);
        EXPECT_TRUE(h.backend.messageBoxes.empty()) << h.backend.messageBoxes.front().text;
    }
    GameHarness h(TestArt::BareFolder(), true);
    ASSERT_TRUE(h.started);
    const std::vector<uint32_t> withNone = PlayScriptedGame(h);
    EXPECT_EQ(withAssets, withNone);
    EXPECT_EQ(nullptr, h.game->roomSurface);
    EXPECT_EQ(nullptr, h.game->cleanerSurface);
    EXPECT_EQ(nullptr, h.game->messageSurface);
    // Only the wave loader tells of a missing file.
    for (const auto& box : h.backend.messageBoxes) EXPECT_EQ("Error", box.caption);
}

}  // namespace
