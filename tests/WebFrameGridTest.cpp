#include <gtest/gtest.h>

#include "platform/web/WebFrameGrid.h"

namespace {

// Pictures presented in one second of refreshes at the given rate, a picture always waiting.
int PicturesInASecond(double refreshHz) {
    WebFrameGrid grid;
    const double interval = 1000.0 / refreshHz;
    int presented = 0;
    // A second of warm-up first, so the grid has seen the screen's rate.
    for (int i = 0; i < static_cast<int>(2 * refreshHz); ++i) {
        const double moment = 1000.0 + i * interval;
        grid.NoteRefresh(moment);
        if (!grid.Takes(moment)) continue;
        grid.Presented(moment);
        if (i >= static_cast<int>(refreshHz)) ++presented;
    }
    return presented;
}

}  // namespace

TEST(WebFrameGrid, MakesSixtyFramesASecondAtEveryRefreshRate) {
    EXPECT_EQ(PicturesInASecond(60.0), 60);
    EXPECT_EQ(PicturesInASecond(120.0), 60);
    EXPECT_NEAR(PicturesInASecond(144.0), 60, 1);
    EXPECT_NEAR(PicturesInASecond(240.0), 60, 1);
    // A slower screen can't be caught up with: every refresh gets a picture.
    EXPECT_EQ(PicturesInASecond(50.0), 50);
}

TEST(WebFrameGrid, ALatePictureGoesOutAtOnceAndTheGridStartsFromIt) {
    WebFrameGrid grid;
    grid.NoteRefresh(0.0);
    grid.Presented(0.0);
    // Held up for three refreshes (a room loading): the next refresh takes it...
    grid.NoteRefresh(66.7);
    EXPECT_TRUE(grid.Takes(66.7));
    grid.Presented(66.7);
    // ...and the one after it is a whole frame later, not at once to make up for the lost ones.
    EXPECT_FALSE(grid.Takes(66.7 + 8.0));
    EXPECT_TRUE(grid.Takes(66.7 + WebFrameGrid::FrameMs));
}
