#include <gtest/gtest.h>

#include <vector>

#include "app/Shell.h"
#include "game/GameScreen.h"
#include "game/Random.h"
#include "media/Display.h"
#include "platform/input/KeyCodes.h"
#include "tests/support/GameHarness.h"

namespace {

using TestArt::Room;

// Where the cleaner's layers show on the screen: the tool's rows and the body's rows under it.
constexpr int ToolRowY = 300;
constexpr int BodyRowY = 400;
// A row through garbage resting on the floor (y 530 to 580), below both layers.
constexpr int FloorRowY = 540;

class PlayFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(h.started);
        SeedRandom(7);
        h.StartFromMenu();
        h.Pass();  // the intro and the first play frame
        ASSERT_EQ(1, game.clockRunning);
    }

    std::vector<uint32_t> ScreenPixels() const { return h.Screen().pixels; }
    uint32_t ScreenPixel(int x, int y) const { return h.Screen().Pixel(x, y); }
    bool ShowsCountdown(const char* text) const {
        return RegionsEqual(h.Screen().pixels,
                            RoomViewWithCountdown(game.level, game.cameraX, text), CountdownRegion);
    }
    // A pass with S pressed, then the pass that delivers its release.
    void Stroke() {
        h.Tap(DIK_S);
        h.Pass();
    }

    GameHarness h;
    GameScreen& game = *h.game;
};

TEST_F(PlayFrameTest, CountdownStepsASecondAfterThePreviousStepAndNeverCatchesUp) {
    EXPECT_TRUE(ShowsCountdown("20"));
    uint32_t reference = game.lastTick;  // the end of the intro
    for (int expected = 19; expected >= 18; --expected) {
        uint32_t previousStart = 0;
        uint32_t start = h.Now();
        while (game.secondsLeft != expected) {
            ASSERT_LT(h.Now() - reference, 1100u);
            previousStart = start;
            start = h.Now();
            h.Pass();
        }
        EXPECT_GE(start - reference, 1000u);
        EXPECT_LT(previousStart - reference, 1000u);
        EXPECT_EQ(start, game.lastTick);
        EXPECT_TRUE(ShowsCountdown(expected == 19 ? "19" : "18"));
        reference = game.lastTick;
    }

    // Five seconds late: one step, measured afresh from that moment.
    h.backend.Advance(5000 * 1000);
    const uint32_t late = h.Now();
    h.Pass();
    EXPECT_EQ(17, game.secondsLeft);
    EXPECT_EQ(late, game.lastTick);
    h.Pass();
    EXPECT_EQ(17, game.secondsLeft);
    EXPECT_EQ(late, game.lastTick);
}

TEST_F(PlayFrameTest, DropChancesComeAtSixteenTwelveAndEightOnly) {
    const uint32_t dropSeed = SeedWithFirstDraw(true);
    const uint32_t noDropSeed = SeedWithFirstDraw(false);
    for (int seconds = 19; seconds >= 1; --seconds) {
        SCOPED_TRACE(seconds);
        // An odd first draw everywhere but at 8, where the even one must still be drawn.
        const uint32_t seed = seconds == 8 ? noDropSeed : dropSeed;
        const int before = game.garbage->Count();
        SeedRandom(seed);
        h.StepCountdown();
        ASSERT_EQ(seconds, game.secondsLeft);
        const int draws = DrawsSinceSeed(seed);
        if (seconds == 16 || seconds == 12) {
            EXPECT_EQ(3, draws);
            ASSERT_EQ(before + 1, game.garbage->Count());
            SeedRandom(seed);
            Rand();
            const int x = Rand() % 1300 + 100;
            const int type = Rand() % 5 + 1;
            const GarbageItem* dropped = game.garbage->head;
            EXPECT_EQ(x, dropped->X());
            EXPECT_EQ(type, dropped->Type());
            EXPECT_EQ(16, dropped->Y()) << "starts at 1 and falls once before it is drawn";
        } else if (seconds == 8) {
            EXPECT_EQ(1, draws);
            EXPECT_EQ(before, game.garbage->Count());
        } else {
            EXPECT_EQ(0, draws);
            EXPECT_EQ(before, game.garbage->Count());
        }
    }
}

TEST_F(PlayFrameTest, TempoRisesByTwentyOnceOnReachingTheSpeedUpSecond) {
    struct Case {
        int level;
        int tempo;
        int speedUp;
    };
    for (const Case& room : {Case{1, 110, 5}, Case{4, 120, 15}}) {
        SCOPED_TRACE(room.level);
        game.SetupLevel(static_cast<int8_t>(room.level));
        h.Pass();
        while (game.secondsLeft > 1) {
            h.StepCountdown();
            EXPECT_EQ(game.secondsLeft > room.speedUp ? room.tempo : room.tempo + 20, game.tempo)
                << "at " << int{game.secondsLeft};
        }
    }
}

TEST_F(PlayFrameTest, ZeroWithGarbageLeftShowsAtOnceAndTheRoomIsPlayedAgain) {
    while (game.secondsLeft > 1) h.StepCountdown();
    ASSERT_EQ(130, game.tempo);
    const std::vector<uint32_t> lastFrame = ScreenPixels();
    const int flips = h.backend.framesFlipped;
    const int8_t phase = game.arrowPhase;
    const uint32_t zeroTime = game.lastTick + 1000;
    const std::vector<DrawnPiece> replay = GarbageDrawnFrom(99, 15);
    SeedRandom(99);
    h.backend.keepImages = true;

    h.StepCountdown();

    const auto images = h.TakeImages();
    ASSERT_EQ(2u, images.size());
    // The zero goes straight onto the frame on the screen.
    Surface zero(800, 600);
    zero.pixels = lastFrame;
    DrawText(&zero, 395, 20, "0");
    EXPECT_FALSE(images[0].flipped);
    EXPECT_EQ(zeroTime, images[0].time);
    EXPECT_TRUE(images[0].pixels == zero.pixels);
    EXPECT_EQ(0xFFFFFFu, PixelOf(images[0].pixels, 395, 20));
    // Then the outcome, 300 ms on, over it.
    EXPECT_FALSE(images[1].flipped);
    EXPECT_EQ(zeroTime + 300, images[1].time);
    EXPECT_EQ(TestArt::YouLose, PixelOf(images[1].pixels, 300, 100));
    // No flip, nothing drawn by the frame, and the same room again after the outcome's 2 s.
    EXPECT_EQ(flips, h.backend.framesFlipped);
    EXPECT_EQ(phase, game.arrowPhase);
    EXPECT_EQ(zeroTime + 2300, h.Now());
    EXPECT_EQ(1, game.level);
    EXPECT_EQ(20, game.secondsLeft);
    EXPECT_EQ(110, game.tempo);
    EXPECT_EQ(0, game.clockRunning);
    EXPECT_TRUE(HoldsStartingGarbage(*game.garbage, replay));

    h.Pass();
    EXPECT_EQ(flips + 101, h.backend.framesFlipped) << "the room's intro and its first frame";
}

TEST_F(PlayFrameTest, ZeroWithNothingLeftWinsTheRoomThroughTheCountdown) {
    while (game.secondsLeft > 1) h.StepCountdown();
    h.RemoveAllGarbage();
    h.backend.keepImages = true;
    h.StepCountdown();

    const auto images = h.TakeImages();
    ASSERT_EQ(2u, images.size());
    EXPECT_EQ(0xFFFFFFu, PixelOf(images[0].pixels, 395, 20)) << "the zero";
    EXPECT_EQ(TestArt::RoomClean, PixelOf(images[1].pixels, 499, 199));
    EXPECT_EQ(2, game.level);
    EXPECT_EQ(100, game.tempo);
    EXPECT_EQ(20, game.secondsLeft);
}

TEST_F(PlayFrameTest, EmptyRoomEndsAtTheNextFrameUnlessADropComesFirst) {
    while (game.secondsLeft > 17) h.StepCountdown();
    // The step to 16 drops a piece into the empty room: play goes on.
    h.RemoveAllGarbage();
    SeedRandom(SeedWithFirstDraw(true));
    int flips = h.backend.framesFlipped;
    h.StepCountdown();
    EXPECT_EQ(16, game.secondsLeft);
    EXPECT_EQ(1, game.garbage->Count());
    EXPECT_EQ(flips + 1, h.backend.framesFlipped);

    // Emptied again: the next frame ends the room as cleared, without the zero and without a flip.
    h.RemoveAllGarbage();
    h.backend.keepImages = true;
    flips = h.backend.framesFlipped;
    h.Pass();
    const auto images = h.TakeImages();
    ASSERT_EQ(1u, images.size());
    EXPECT_EQ(TestArt::RoomClean, PixelOf(images[0].pixels, 400, 150));
    EXPECT_EQ(flips, h.backend.framesFlipped);
    EXPECT_EQ(2, game.level);
}

TEST_F(PlayFrameTest, StrokesClearTheTargetAndTheLastOneEndsTheRoomAtTheNextFrame) {
    // A banana peel (three strokes) at the cleaner's feet: centre 750, the cleaner's 800.
    GarbageItem* peel = h.OnlyPiece(3, 700, 530);
    h.Pass();
    ASSERT_EQ(peel, game.targetItem);
    EXPECT_EQ(TestArt::Garbage(200 + 50, 10), ScreenPixel(350, FloorRowY));

    Stroke();
    Stroke();
    EXPECT_EQ(1, peel->hitsLeft);
    const int flips = h.backend.framesFlipped;
    h.Tap(DIK_S);
    EXPECT_TRUE(game.garbage->IsEmpty());
    EXPECT_EQ(nullptr, game.targetItem);
    EXPECT_EQ(flips + 1, h.backend.framesFlipped) << "that frame is still drawn";
    EXPECT_EQ(Room(1, 750), ScreenPixel(350, FloorRowY)) << "without the piece";

    h.backend.keepImages = true;
    h.Pass();
    EXPECT_EQ(flips + 1, h.backend.framesFlipped);
    const auto images = h.TakeImages();
    ASSERT_EQ(1u, images.size());
    EXPECT_EQ(TestArt::RoomClean, PixelOf(images[0].pixels, 300, 100));
    EXPECT_EQ(2, game.level);
}

TEST_F(PlayFrameTest, HoldingSStrikesOnceAndTheReleaseReArmsIt) {
    GarbageItem* bag = h.OnlyPiece(5, 700, 530);
    h.Pass();
    h.backend.SetKey(DIK_S, true);
    for (int i = 0; i < 5; ++i) h.Pass();
    EXPECT_EQ(5, bag->hitsLeft);
    EXPECT_EQ(0, game.strokeArmed);
    // Stroke pose over the body, facing left as the cleaner was made.
    EXPECT_EQ(TestArt::CleanerCell(0, 1), ScreenPixel(160, ToolRowY));
    EXPECT_EQ(TestArt::CleanerCell(0, 2), ScreenPixel(160, BodyRowY));

    h.backend.ReleaseKey(DIK_S);
    h.Pass();
    EXPECT_EQ(1, game.strokeArmed);
    EXPECT_EQ(TestArt::CleanerCell(0, 0), ScreenPixel(160, ToolRowY));

    h.backend.SetKey(DIK_S, true);
    for (int i = 0; i < 3; ++i) h.Pass();
    EXPECT_EQ(4, bag->hitsLeft);
}

TEST_F(PlayFrameTest, StrokeReachesOnlyTheTargetOverlappingTheFrameFromY400) {
    // The cleaner's frame spans world 550 to 1050.
    struct Case {
        int16_t x;
        int16_t y;
        bool hit;
    };
    const Case cases[] = {{450, 530, false},  {451, 530, true},  {1049, 530, true},
                          {1050, 530, false}, {700, 399, false}, {700, 400, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "piece at (" << c.x << ", " << c.y << ")");
        GarbageItem* bag = h.OnlyPiece(5, c.x, 530);
        h.Pass();
        ASSERT_EQ(bag, game.targetItem);
        bag->y = c.y;
        h.Tap(DIK_S);
        EXPECT_EQ(c.hit ? 5 : 6, bag->hitsLeft);
        EXPECT_EQ(0, game.strokeArmed) << "a stroke is spent whether it hits or not";
        h.Pass();
    }

    // The nearest piece is still falling; another one in reach on the floor is not struck either.
    GarbageItem* falling = h.OnlyPiece(5, 700, 100);
    game.garbage->Add(5, 1000, 0);
    GarbageItem* resting = game.garbage->head;
    h.Pass();
    ASSERT_EQ(falling, game.targetItem);
    h.Tap(DIK_S);
    EXPECT_EQ(6, falling->hitsLeft);
    EXPECT_EQ(6, resting->hitsLeft);
    h.Pass();

    // A piece dropped from the top is first struck by the first press once it has reached 400.
    GarbageItem* dropped = h.OnlyPiece(5, 700, 1);
    h.Pass();
    int16_t yAtPress = 0;
    while (dropped->hitsLeft == 6) {
        ASSERT_LT(dropped->Y(), 530);
        yAtPress = dropped->Y();
        Stroke();
        if (dropped->hitsLeft == 6) {
            EXPECT_LT(yAtPress, 400);
        }
    }
    EXPECT_GE(yAtPress, 400);
    EXPECT_LT(yAtPress, 430);
}

TEST_F(PlayFrameTest, LeftWinsOverRightAndTheCameraFollowsWithinTheRoom) {
    h.backend.SetKey(DIK_LEFT, true);
    h.backend.SetKey(DIK_RIGHT, true);
    h.Pass();
    EXPECT_EQ(540, game.cleaner->X());
    h.backend.SetKey(DIK_LEFT, false);

    // Walking right: the camera starts once the frame stands 200 pixels into the screen, then
    // keeps it there until the camera reaches 800; the cleaner walks on alone to 1100.
    int firstScroll = -1;
    for (int frame = 0; game.cleaner->X() < 1100 || frame < 100; ++frame) {
        ASSERT_LT(frame, 200);
        const int cx = game.cleaner->X();
        const int camera = game.cameraX;
        h.Pass();
        ASSERT_GE(game.cameraX, 0);
        ASSERT_LE(game.cameraX, 800);
        if (firstScroll < 0 && game.cameraX != camera) {
            firstScroll = frame;
            EXPECT_EQ(200, cx - camera);
        }
        if (firstScroll >= 0 && game.cameraX < 800) {
            EXPECT_EQ(200, game.cleaner->X() - game.cameraX);
        }
    }
    EXPECT_EQ(1100, game.cleaner->X());
    EXPECT_EQ(800, game.cameraX);
    EXPECT_EQ(Room(1, 800), ScreenPixel(0, 50));
    EXPECT_EQ(Room(1, 1599), ScreenPixel(799, 50));
    EXPECT_EQ(TestArt::CleanerCell(1, 0), ScreenPixel(300, ToolRowY)) << "facing right at 1100";
    EXPECT_EQ(Room(1, 1099), ScreenPixel(299, ToolRowY));

    // Walking left: the camera starts once the frame is 100 pixels from the left edge.
    h.backend.SetKey(DIK_RIGHT, false);
    h.backend.SetKey(DIK_LEFT, true);
    firstScroll = -1;
    for (int frame = 0; game.cleaner->X() > 0 || frame < 100; ++frame) {
        ASSERT_LT(frame, 200);
        const int cx = game.cleaner->X();
        const int camera = game.cameraX;
        h.Pass();
        ASSERT_GE(game.cameraX, 0);
        ASSERT_LE(game.cameraX, 800);
        if (firstScroll < 0 && game.cameraX != camera) {
            firstScroll = frame;
            EXPECT_EQ(100, cx - camera);
        }
    }
    EXPECT_EQ(0, game.cameraX);
    EXPECT_EQ(0, game.cleaner->X());
    EXPECT_EQ(Room(1, 0), ScreenPixel(0, 50));
    EXPECT_EQ(TestArt::CleanerCell(0, 0), ScreenPixel(0, ToolRowY)) << "facing left at 0";

    game.cameraX = 5;
    game.ScrollCamera(-10);
    EXPECT_EQ(0, game.cameraX);
    game.cameraX = 795;
    game.ScrollCamera(10);
    EXPECT_EQ(800, game.cameraX);
}

TEST_F(PlayFrameTest, PiecesAtTheSidesAreCutAndMarkedByTheirArrow) {
    struct Case {
        int screenLeft;
        int8_t type;
    };
    const Case cases[] = {{-1, 1},  {0, 1},   {700, 1},  {701, 1}, {-1, 5},
                          {701, 4}, {-99, 2}, {-100, 1}, {800, 1}, {-350, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "screen x " << c.screenLeft << ", type " << int{c.type});
        h.OnlyPiece(c.type, static_cast<int16_t>(game.cameraX + c.screenLeft), 530);
        game.arrowPhase = 0;
        h.Pass();
        const int sourceLeft = 100 * ((c.type - 1) % 3);
        const int sourceTop = c.type > 3 ? 50 : 0;
        // The piece's row 10: each screen column shows its own source column, never stretched.
        for (int x = 0; x < 800; ++x) {
            const bool covered = x >= c.screenLeft && x < c.screenLeft + 100;
            const uint32_t expected =
                covered ? TestArt::Garbage(sourceLeft + x - c.screenLeft, sourceTop + 10)
                        : Room(1, game.cameraX + x);
            ASSERT_EQ(expected, ScreenPixel(x, FloorRowY)) << "at screen x " << x;
        }
        EXPECT_EQ(c.screenLeft < 0, ScreenPixel(20, 125) == TestArt::LeftArrow);
        EXPECT_EQ(c.screenLeft > 700, ScreenPixel(705, 125) == TestArt::RightArrow);
    }
}

TEST_F(PlayFrameTest, ArrowsStepInAndOutEveryThreeFramesAndPiecesOnOneSideShareOneArrow) {
    h.OnlyPiece(1, 100, 530);       // screen x -300
    game.garbage->Add(2, 200, 0);   // -200
    game.garbage->Add(3, 1300, 0);  // 900
    struct Place {
        int left;
        int right;
    };
    const Place leftPlaces[3] = {{20, 95}, {25, 100}, {15, 90}};
    const Place rightPlaces[3] = {{705, 780}, {700, 775}, {710, 785}};
    game.arrowPhase = 0;
    for (int frame = 0; frame < 12; ++frame) {
        const int phase = game.arrowPhase;
        SCOPED_TRACE(phase);
        ASSERT_EQ(frame % 9, phase);
        h.Pass();
        for (const auto& [places, colour] : {std::make_pair(leftPlaces, TestArt::LeftArrow),
                                             std::make_pair(rightPlaces, TestArt::RightArrow)}) {
            const Place place = places[phase / 3];
            for (const int y : {99, 100, 149, 150}) {
                const bool inside = y >= 100 && y < 150;
                EXPECT_EQ(inside, ScreenPixel(place.left, y) == colour) << "y " << y;
                EXPECT_EQ(inside, ScreenPixel(place.right - 1, y) == colour) << "y " << y;
            }
            EXPECT_NE(colour, ScreenPixel(place.left - 1, 125));
            EXPECT_NE(colour, ScreenPixel(place.right, 125));
        }
    }
}

TEST_F(PlayFrameTest, EscapeLeavesAtOnceButTheFrameIsStillDrawnAndFlipped) {
    GarbageItem* bag = h.OnlyPiece(5, 700, 530);
    h.Pass();
    h.backend.SetKey(DIK_ESCAPE, true);
    h.backend.SetKey(DIK_LEFT, true);
    h.backend.SetKey(DIK_S, true);
    const int flips = h.backend.framesFlipped;
    const uint32_t start = h.Now();
    h.Pass();
    EXPECT_EQ(ModeMenu, gameMode);
    EXPECT_EQ(1, game.pendingEntry);
    EXPECT_EQ(550, game.cleaner->X());
    EXPECT_EQ(6, bag->hitsLeft);
    EXPECT_EQ(1, game.strokeArmed);
    EXPECT_GE(h.Now() - start, 200u);
    EXPECT_EQ(flips + 1, h.backend.framesFlipped);
    EXPECT_EQ(TestArt::CleanerCell(0, 0), ScreenPixel(160, ToolRowY));
}

TEST_F(PlayFrameTest, ReturnSetsTheRoomUpAgainAndWithSpaceTheRoomEndsInTheSameFrame) {
    h.StepCountdown();
    h.backend.SetKey(DIK_RIGHT, true);
    for (int i = 0; i < 20; ++i) h.Pass();
    h.backend.SetKey(DIK_RIGHT, false);
    ASSERT_NE(400, game.cameraX);

    const std::vector<DrawnPiece> fresh = GarbageDrawnFrom(31, 15);
    SeedRandom(31);
    int flips = h.backend.framesFlipped;
    h.Tap(DIK_RETURN);
    EXPECT_TRUE(HoldsStartingGarbage(*game.garbage, fresh));
    EXPECT_EQ(20, game.secondsLeft);
    EXPECT_EQ(0, game.clockRunning);
    EXPECT_EQ(flips + 1, h.backend.framesFlipped);
    EXPECT_EQ(Room(1, 400), ScreenPixel(0, 50)) << "the frame shows the room as set up again";
    EXPECT_TRUE(ShowsCountdown("20"));
    h.Pass();
    EXPECT_EQ(flips + 1 + 101, h.backend.framesFlipped) << "its intro plays";

    // Both keys: set up again, then ended as cleared; the frame still flips.
    const size_t firstRoomDraws = 1 + 2 * GarbageDrawnFrom(32, 15).size();
    SeedRandom(32);
    h.backend.keepImages = true;
    flips = h.backend.framesFlipped;
    h.backend.SetKey(DIK_RETURN, true);
    h.backend.SetKey(DIK_SPACE, true);
    h.Pass();
    const size_t secondRoomDraws = 1 + 2 * static_cast<size_t>(game.garbage->Count());
    EXPECT_EQ(static_cast<int>(firstRoomDraws + secondRoomDraws), DrawsSinceSeed(32));
    EXPECT_EQ(2, game.level);
    EXPECT_EQ(flips + 1, h.backend.framesFlipped);
    const auto images = h.TakeImages();
    ASSERT_EQ(2u, images.size());
    EXPECT_EQ(TestArt::RoomClean, PixelOf(images[0].pixels, 300, 100));
    EXPECT_TRUE(images[1].flipped);
    EXPECT_EQ(Room(2, 400), PixelOf(images[1].pixels, 0, 50));
}

}  // namespace

namespace {

// Without a room picture the frame behind the pieces and the cleaner is black, not whatever the
// back buffer held from two flips before.
TEST(PlayFrameWithoutRoom, BackgroundIsBlack) {
    GameHarness h;
    ASSERT_TRUE(h.started);
    h.StartFromMenu();
    h.Pass();
    ReleaseSurface(h.game->roomSurface);
    h.OnlyPiece(1, 1000, 530);
    for (int i = 0; i < 3; ++i) h.Pass();
    EXPECT_EQ(0u, h.Screen().Pixel(5, 300));
    EXPECT_EQ(0u, h.Screen().Pixel(795, 580));
}

}  // namespace
