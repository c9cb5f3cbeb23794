// Checks the pictures of the default asset pack as the game loads them: sizes and layouts that the
// game's rectangles rely on, and the transparent green used exactly where it should be.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "media/Display.h"
#include "platform/display/Surface.h"
#include "tests/support/HeadlessSession.h"

namespace {

constexpr uint32_t Key = 0x00FF00;

struct PictureSize {
    const char* path;
    int width;
    int height;
};

const PictureSize Rooms[] = {
    {"Graphics\\flurberbathroom.bmp", 1600, 600}, {"Graphics\\flurberbedroom2.bmp", 1600, 600},
    {"Graphics\\flurberliving2.bmp", 1600, 600},  {"Graphics\\flurberhall.bmp", 1600, 600},
    {"Graphics\\flurberkitchen2.bmp", 1600, 600},
};

// Pictures copied with a plain blit: every pixel shows, green or not.
const PictureSize OpaquePictures[] = {
    {"Graphics\\MenuBG.bmp", 800, 600},
    {"Graphics\\CreditsDescription.bmp", 800, 600},
    {"Graphics\\ConfigurationPopup2.bmp", 200, 300},
};

const PictureSize KeyedPictures[] = {
    {"Graphics\\Garbage.bmp", 300, 100},    {"Graphics\\FlurberAnims.bmp", 1000, 1300},
    {"Graphics\\Arrows.bmp", 75, 100},      {"Graphics\\Flurb!.bmp", 200, 100},
    {"Graphics\\RoomClean!.bmp", 200, 100}, {"Graphics\\YouLose!.bmp", 200, 100},
    {"Graphics\\Winner.bmp", 225, 240},     {"Graphics\\Menus.bmp", 200, 300},
    {"Graphics\\MenusLit.bmp", 200, 300},   {"Graphics\\Credits.bmp", 100, 50},
    {"Graphics\\CreditsLit.bmp", 100, 50},  {"Graphics\\FlurberIcon.bmp", 64, 64},
};

// A picture loaded through the game's own loader, released at the end of the scope.
struct Picture {
    explicit Picture(const char* path) { LoadBitmapSurface(path, surface); }
    ~Picture() { ReleaseSurface(surface); }
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    bool Opaque(int x, int y) const { return surface->Pixel(x, y) != Key; }

    int CountOpaque(int left, int top, int right, int bottom) const {
        int count = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x) count += Opaque(x, y);
        return count;
    }

    // First and last rows of the rectangle that hold an opaque pixel; -1 when there is none.
    int TopOpaqueRow(int left, int top, int right, int bottom) const {
        for (int y = top; y < bottom; ++y)
            if (CountOpaque(left, y, right, y + 1) > 0) return y;
        return -1;
    }
    int BottomOpaqueRow(int left, int top, int right, int bottom) const {
        for (int y = bottom - 1; y >= top; --y)
            if (CountOpaque(left, y, right, y + 1) > 0) return y;
        return -1;
    }

    // Mean brightness (sum of the three channels) of the opaque pixels of a rectangle.
    double MeanBrightness(int left, int top, int right, int bottom) const {
        double sum = 0;
        int count = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x) {
                const uint32_t p = surface->Pixel(x, y);
                if (p == Key) continue;
                sum += ((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF);
                ++count;
            }
        return count ? sum / count : 0;
    }

    Surface* surface = nullptr;
};

// Antialiased edges blended with the key would show as a green fringe around sprites.
bool NearlyKey(uint32_t p) {
    const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    return p != Key && g > 200 && r < 60 && b < 60;
}

class AssetPicturesTest : public ::testing::Test {
protected:
    HeadlessSession session;
};

TEST_F(AssetPicturesTest, EveryPictureLoadsAtItsSizeWithoutGreenFringe) {
    std::vector<PictureSize> all(std::begin(Rooms), std::end(Rooms));
    all.insert(all.end(), std::begin(OpaquePictures), std::end(OpaquePictures));
    all.insert(all.end(), std::begin(KeyedPictures), std::end(KeyedPictures));
    for (const PictureSize& expected : all) {
        SCOPED_TRACE(expected.path);
        Picture picture(expected.path);
        ASSERT_NE(nullptr, picture.surface);
        EXPECT_EQ(expected.width, picture.surface->width);
        EXPECT_EQ(expected.height, picture.surface->height);
        int fringe = 0;
        for (uint32_t p : picture.surface->pixels) fringe += NearlyKey(p);
        EXPECT_EQ(0, fringe);
    }
}

TEST_F(AssetPicturesTest, RoomsAndPlainCopiedPicturesHaveNoTransparentGreen) {
    std::vector<PictureSize> opaque(std::begin(Rooms), std::end(Rooms));
    opaque.insert(opaque.end(), std::begin(OpaquePictures), std::end(OpaquePictures));
    for (const PictureSize& expected : opaque) {
        SCOPED_TRACE(expected.path);
        Picture picture(expected.path);
        ASSERT_NE(nullptr, picture.surface);
        EXPECT_EQ(expected.width * expected.height,
                  picture.CountOpaque(0, 0, expected.width, expected.height));
    }
}

TEST_F(AssetPicturesTest, RoomsLookDifferentFromEachOther) {
    // Mean colour of each room's wall; two rooms sharing a palette would read as the same room.
    std::vector<double> red, green, blue;
    for (const PictureSize& room : Rooms) {
        Picture picture(room.path);
        ASSERT_NE(nullptr, picture.surface);
        double r = 0, g = 0, b = 0;
        int count = 0;
        for (int y = 0; y < 500; y += 2)
            for (int x = 0; x < 1600; x += 2) {
                const uint32_t p = picture.surface->Pixel(x, y);
                r += (p >> 16) & 0xFF;
                g += (p >> 8) & 0xFF;
                b += p & 0xFF;
                ++count;
            }
        red.push_back(r / count);
        green.push_back(g / count);
        blue.push_back(b / count);
    }
    for (size_t i = 0; i < red.size(); ++i)
        for (size_t j = i + 1; j < red.size(); ++j) {
            const double distance = std::abs(red[i] - red[j]) + std::abs(green[i] - green[j]) +
                                    std::abs(blue[i] - blue[j]);
            EXPECT_GT(distance, 30.0) << Rooms[i].path << " and " << Rooms[j].path;
        }
}

TEST_F(AssetPicturesTest, GarbageCellsHoldOnePieceEachOnTheirBottomEdge) {
    Picture garbage("Graphics\\Garbage.bmp");
    ASSERT_NE(nullptr, garbage.surface);
    const int cells[5][2] = {{0, 0}, {100, 0}, {200, 0}, {0, 50}, {100, 50}};
    int bagArea = 0, smallestOtherArea = 100 * 50;
    for (int type = 1; type <= 5; ++type) {
        SCOPED_TRACE("type " + std::to_string(type));
        const int left = cells[type - 1][0], top = cells[type - 1][1];
        const int area = garbage.CountOpaque(left, top, left + 100, top + 50);
        EXPECT_GT(area, 500);
        // The piece lies on the floor line: its lowest pixels are on the cell's last row.
        EXPECT_EQ(top + 49, garbage.BottomOpaqueRow(left, top, left + 100, top + 50));
        if (type == 5)
            bagArea = area;
        else if (area < smallestOtherArea)
            smallestOtherArea = area;
    }
    // The bag takes the most strokes, so it looks the biggest.
    EXPECT_GT(bagArea, smallestOtherArea);
    EXPECT_EQ(0, garbage.CountOpaque(200, 50, 300, 100));
}

TEST_F(AssetPicturesTest, CleanerFramesLineUpAndColumnsAreMirrors) {
    Picture sheet("Graphics\\FlurberAnims.bmp");
    ASSERT_NE(nullptr, sheet.surface);
    for (int column = 0; column < 2; ++column) {
        const int left = column * 500;
        SCOPED_TRACE("column " + std::to_string(column));
        for (int row = 0; row < 4; ++row) {
            const int top = row * 325;
            SCOPED_TRACE("row " + std::to_string(row));
            EXPECT_GT(sheet.CountOpaque(left, top, left + 500, top + 325), 1000);
            // Feet and broom head stand on the same floor line in every frame.
            const int bottom = sheet.BottomOpaqueRow(left, top, left + 500, top + 325) - top;
            EXPECT_GE(bottom, 315);
            EXPECT_LE(bottom, 322);
        }
        // The second walking pose bobs the body 4 px lower.
        const int standingTop = sheet.TopOpaqueRow(left, 650, left + 500, 975) - 650;
        const int crossedTop = sheet.TopOpaqueRow(left, 975, left + 500, 1300) - 975;
        EXPECT_EQ(standingTop + 4, crossedTop);
        // The tool layer is only arms and broom: far less of it is opaque than of the body.
        EXPECT_LT(sheet.CountOpaque(left, 0, left + 500, 325) * 3,
                  sheet.CountOpaque(left, 650, left + 500, 975));
    }
    // The stroke sweeps the broom head along the floor far in front: the front fifth of the frame
    // (left in column 0, right in column 1) near the floor. At rest the broom stands by the body.
    EXPECT_GT(sheet.CountOpaque(0, 325 + 290, 100, 650), 200);
    EXPECT_GT(sheet.CountOpaque(900, 325 + 290, 1000, 650), 200);
    EXPECT_EQ(0, sheet.CountOpaque(0, 290, 60, 325));
    // Column 1 is column 0 mirrored: the same pixels are transparent, up to antialiasing.
    for (int y = 0; y < 1300; y += 325) {
        int opaque = 0, mismatched = 0;
        for (int yy = y; yy < y + 325; ++yy)
            for (int x = 0; x < 500; ++x) {
                opaque += sheet.Opaque(x, yy);
                mismatched += sheet.Opaque(x, yy) != sheet.Opaque(999 - x, yy);
            }
        EXPECT_LT(mismatched * 100, opaque) << "frame row at y " << y;
    }
}

TEST_F(AssetPicturesTest, ArrowsPointOutwardsFromTheirCells) {
    Picture arrows("Graphics\\Arrows.bmp");
    ASSERT_NE(nullptr, arrows.surface);
    // The arrowhead's broad back is the tallest column: right of the middle for the right arrow
    // in the top cell, left of it for the left arrow below.
    auto tallestColumn = [&](int top) {
        int best = 0, bestHeight = -1;
        for (int x = 0; x < 75; ++x) {
            const int height = arrows.CountOpaque(x, top, x + 1, top + 50);
            if (height > bestHeight) bestHeight = height, best = x;
        }
        return best;
    };
    EXPECT_GT(arrows.CountOpaque(0, 0, 75, 50), 600);
    EXPECT_GT(arrows.CountOpaque(0, 50, 75, 100), 600);
    EXPECT_GT(tallestColumn(0), 37);
    EXPECT_LT(tallestColumn(50), 37);
}

TEST_F(AssetPicturesTest, ButtonsAndWordsStandOnTransparentGreen) {
    struct Corners {
        const char* path;
        int left, top, right, bottom;
    };
    const Corners shapes[] = {
        {"Graphics\\Flurb!.bmp", 0, 0, 200, 100},     {"Graphics\\RoomClean!.bmp", 0, 0, 200, 100},
        {"Graphics\\YouLose!.bmp", 0, 0, 200, 100},   {"Graphics\\Winner.bmp", 0, 0, 225, 60},
        {"Graphics\\Winner.bmp", 0, 180, 225, 240},   {"Graphics\\Menus.bmp", 0, 0, 200, 100},
        {"Graphics\\Menus.bmp", 0, 100, 200, 200},    {"Graphics\\Menus.bmp", 0, 200, 200, 300},
        {"Graphics\\MenusLit.bmp", 0, 0, 200, 100},   {"Graphics\\MenusLit.bmp", 0, 100, 200, 200},
        {"Graphics\\MenusLit.bmp", 0, 200, 200, 300}, {"Graphics\\Credits.bmp", 0, 0, 100, 50},
        {"Graphics\\CreditsLit.bmp", 0, 0, 100, 50},  {"Graphics\\FlurberIcon.bmp", 0, 0, 64, 64},
    };
    for (const Corners& shape : shapes) {
        SCOPED_TRACE(std::string(shape.path) + " at y " + std::to_string(shape.top));
        Picture picture(shape.path);
        ASSERT_NE(nullptr, picture.surface);
        EXPECT_FALSE(picture.Opaque(shape.left, shape.top));
        EXPECT_FALSE(picture.Opaque(shape.right - 1, shape.top));
        EXPECT_FALSE(picture.Opaque(shape.right - 1, shape.bottom - 1) &&
                     picture.Opaque(shape.left, shape.bottom - 1));
        const int area = (shape.right - shape.left) * (shape.bottom - shape.top);
        EXPECT_GT(picture.CountOpaque(shape.left, shape.top, shape.right, shape.bottom), area / 8);
    }
}

// The intro repaints the band from 10 pixels left of the sliding banner, so anything in the
// banner's first 10 columns would be left behind on the screen as a trail.
TEST_F(AssetPicturesTest, BannerLeavesItsFirstTenColumnsTransparent) {
    Picture banner("Graphics\\Flurb!.bmp");
    ASSERT_NE(nullptr, banner.surface);
    EXPECT_EQ(0, banner.CountOpaque(0, 0, 10, 100));
    EXPECT_GT(banner.CountOpaque(10, 0, 200, 100), 200 * 100 / 8);
}

TEST_F(AssetPicturesTest, LitButtonsAreBrighterThanPlainOnes) {
    Picture items("Graphics\\Menus.bmp");
    Picture lit("Graphics\\MenusLit.bmp");
    ASSERT_NE(nullptr, items.surface);
    ASSERT_NE(nullptr, lit.surface);
    for (int top = 0; top < 300; top += 100) {
        SCOPED_TRACE("item at y " + std::to_string(top));
        EXPECT_GT(lit.MeanBrightness(0, top, 200, top + 100),
                  items.MeanBrightness(0, top, 200, top + 100) + 20);
    }
    Picture credits("Graphics\\Credits.bmp");
    Picture creditsLit("Graphics\\CreditsLit.bmp");
    ASSERT_NE(nullptr, credits.surface);
    ASSERT_NE(nullptr, creditsLit.surface);
    EXPECT_GT(creditsLit.MeanBrightness(0, 0, 100, 50), credits.MeanBrightness(0, 0, 100, 50) + 20);
}

}  // namespace
