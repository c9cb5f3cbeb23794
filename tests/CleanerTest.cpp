#include <gtest/gtest.h>

#include <type_traits>

#include "game/Cleaner.h"

static_assert(!std::is_copy_constructible_v<Cleaner>, "there is one cleaner per run");
static_assert(!std::is_copy_assignable_v<Cleaner>, "there is one cleaner per run");

namespace {

::testing::AssertionResult RectIs(const Rect& r, int32_t left, int32_t top, int32_t right,
                                  int32_t bottom) {
    if (r.left == left && r.top == top && r.right == right && r.bottom == bottom) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "rect is (" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom
           << "), expected (" << left << ", " << top << ", " << right << ", " << bottom << ")";
}

Rect BodyOf(const Cleaner& cleaner) {
    Rect r{-1, -1, -1, -1};
    cleaner.GetBodyFrame(&r);
    return r;
}

Rect ToolOf(const Cleaner& cleaner) {
    Rect r{-1, -1, -1, -1};
    cleaner.GetToolFrame(&r);
    return r;
}

}  // namespace

TEST(CleanerTest, StartsStandingFacingLeftAt620) {
    Cleaner cleaner;
    EXPECT_EQ(cleaner.X(), 620);
    EXPECT_EQ(cleaner.walkFrame, 0);
    EXPECT_EQ(cleaner.step, 10);
    EXPECT_TRUE(RectIs(BodyOf(cleaner), 0, 650, 500, 975));
    EXPECT_TRUE(RectIs(ToolOf(cleaner), 0, 0, 500, 325));
    EXPECT_EQ(CleanerSpriteWidth, 500);
    EXPECT_EQ(CleanerSpriteHeight, 325);
}

TEST(CleanerTest, MovingRightTurnsBothLayersAndAnimates) {
    Cleaner cleaner;
    cleaner.Move(1);
    EXPECT_EQ(cleaner.X(), 630);
    EXPECT_EQ(cleaner.walkFrame, 1);
    EXPECT_TRUE(RectIs(BodyOf(cleaner), 500, 650, 1000, 975));
    EXPECT_TRUE(RectIs(ToolOf(cleaner), 500, 0, 1000, 325));

    cleaner.Move(-1);
    EXPECT_EQ(cleaner.X(), 620);
    EXPECT_EQ(cleaner.walkFrame, 2);
    EXPECT_TRUE(RectIs(BodyOf(cleaner), 0, 650, 500, 975));
    EXPECT_TRUE(RectIs(ToolOf(cleaner), 0, 0, 500, 325));
}

TEST(CleanerTest, OnlyTheSignOfTheDirectionCounts) {
    Cleaner cleaner;
    cleaner.Move(7);
    EXPECT_EQ(cleaner.X(), 630);
    cleaner.Move(-300);
    EXPECT_EQ(cleaner.X(), 620);
    EXPECT_EQ(cleaner.walkFrame, 2);
}

TEST(CleanerTest, StopsAtTheEndsOfTheRoomButKeepsWalkingOnTheSpot) {
    Cleaner cleaner;
    cleaner.x = 1095;
    cleaner.Move(1);
    EXPECT_EQ(cleaner.X(), 1100);
    EXPECT_EQ(cleaner.walkFrame, 1);
    cleaner.Move(1);
    EXPECT_EQ(cleaner.X(), 1100);
    EXPECT_EQ(cleaner.walkFrame, 2);
    EXPECT_TRUE(RectIs(BodyOf(cleaner), 500, 650, 1000, 975));

    cleaner.x = 5;
    cleaner.Move(-1);
    EXPECT_EQ(cleaner.X(), 0);
    EXPECT_EQ(cleaner.walkFrame, 3);
    cleaner.Move(-1);
    EXPECT_EQ(cleaner.X(), 0);
    EXPECT_EQ(cleaner.walkFrame, 4);
    EXPECT_TRUE(RectIs(ToolOf(cleaner), 0, 0, 500, 325));
    EXPECT_TRUE(RectIs(BodyOf(cleaner), 0, 650, 500, 975));
}

TEST(CleanerTest, LongWalkStaysInsideTheRoom) {
    Cleaner cleaner;
    for (int i = 0; i < 200; ++i) {
        cleaner.Move(1);
        ASSERT_LE(cleaner.X() + CleanerSpriteWidth, 1600);
    }
    EXPECT_EQ(cleaner.X(), 1100);
    for (int i = 0; i < 200; ++i) {
        cleaner.Move(-1);
        ASSERT_GE(cleaner.X(), 0);
    }
    EXPECT_EQ(cleaner.X(), 0);
}

TEST(CleanerTest, WalkCycleShowsTheSecondPoseEverySixthMove) {
    Cleaner cleaner;
    const int expectedFrames[] = {1, 2, 3, 4, 5, 0, 1, 2, 3, 4, 5, 0, 1};
    int move = 0;
    for (int expected : expectedFrames) {
        ++move;
        cleaner.Move(-1);
        EXPECT_EQ(cleaner.walkFrame, expected) << "move " << move;
        Rect body = BodyOf(cleaner);
        if (move % 6 == 0) {
            EXPECT_TRUE(RectIs(body, 0, 975, 500, 1300)) << "move " << move;
        } else {
            EXPECT_TRUE(RectIs(body, 0, 650, 500, 975)) << "move " << move;
        }
    }
}

TEST(CleanerTest, StandingStillKeepsPositionPoseAndFacing) {
    Cleaner cleaner;
    for (int i = 0; i < 6; ++i) {
        cleaner.Move(1);
    }
    ASSERT_TRUE(RectIs(BodyOf(cleaner), 500, 975, 1000, 1300));
    cleaner.Move(0);
    cleaner.Move(0);
    EXPECT_EQ(cleaner.X(), 680);
    EXPECT_EQ(cleaner.walkFrame, 0);
    EXPECT_TRUE(RectIs(BodyOf(cleaner), 500, 975, 1000, 1300));
    EXPECT_TRUE(RectIs(ToolOf(cleaner), 500, 0, 1000, 325));

    Cleaner fresh;
    fresh.Move(0);
    EXPECT_EQ(fresh.X(), 620);
    EXPECT_EQ(fresh.walkFrame, 0);
    EXPECT_TRUE(RectIs(BodyOf(fresh), 0, 650, 500, 975));
}

TEST(CleanerTest, StrokePoseMovesOnlyTheToolRows) {
    Cleaner cleaner;
    cleaner.Move(1);
    cleaner.SetStrokePose(1);
    EXPECT_TRUE(RectIs(ToolOf(cleaner), 500, 325, 1000, 650));
    EXPECT_TRUE(RectIs(BodyOf(cleaner), 500, 650, 1000, 975));
    EXPECT_EQ(cleaner.X(), 630);
    EXPECT_EQ(cleaner.walkFrame, 1);

    // Turning while stroking keeps the stroke rows.
    cleaner.Move(-1);
    EXPECT_TRUE(RectIs(ToolOf(cleaner), 0, 325, 500, 650));
    EXPECT_TRUE(RectIs(BodyOf(cleaner), 0, 650, 500, 975));

    cleaner.SetStrokePose(0);
    EXPECT_TRUE(RectIs(ToolOf(cleaner), 0, 0, 500, 325));

    // Any non-zero flag means on.
    cleaner.SetStrokePose(-1);
    EXPECT_TRUE(RectIs(ToolOf(cleaner), 0, 325, 500, 650));
    cleaner.SetStrokePose(1);
    EXPECT_TRUE(RectIs(ToolOf(cleaner), 0, 325, 500, 650));
}

TEST(CleanerTest, ResetReturnsToTheMiddleKeepingFacingAndPoses) {
    Cleaner cleaner;
    for (int i = 0; i < 9; ++i) {
        cleaner.Move(1);
    }
    cleaner.SetStrokePose(1);
    Rect bodyBefore = BodyOf(cleaner);
    Rect toolBefore = ToolOf(cleaner);
    ASSERT_NE(cleaner.walkFrame, 0);

    cleaner.Reset();
    EXPECT_EQ(cleaner.X(), 550);
    EXPECT_EQ(cleaner.X() + CleanerSpriteWidth / 2, 800);
    EXPECT_EQ(cleaner.walkFrame, 0);
    EXPECT_EQ(cleaner.step, 10);
    EXPECT_TRUE(RectIs(BodyOf(cleaner), bodyBefore.left, bodyBefore.top, bodyBefore.right,
                       bodyBefore.bottom));
    EXPECT_TRUE(RectIs(ToolOf(cleaner), toolBefore.left, toolBefore.top, toolBefore.right,
                       toolBefore.bottom));

    // The walk cycle restarts from the reset.
    for (int i = 0; i < 5; ++i) {
        cleaner.Move(-1);
    }
    EXPECT_TRUE(RectIs(BodyOf(cleaner), 0, 650, 500, 975));
    cleaner.Move(-1);
    EXPECT_TRUE(RectIs(BodyOf(cleaner), 0, 975, 500, 1300));
    EXPECT_EQ(cleaner.X(), 490);
}
