#include <gtest/gtest.h>

#include "platform/Surface.h"

namespace {

constexpr uint32_t Red = 0xFF0000;
constexpr uint32_t Blue = 0x0000FF;
constexpr uint32_t NearGreen = 0x00FE00;

// A picture whose pixel at (x, y) has its own value, so every copied pixel can be traced back.
void FillWithCoordinates(Surface& s) {
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x)
            s.SetPixel(x, y, static_cast<uint32_t>((y << 12) | x | 0x100000));
}

uint32_t CoordinateValue(int x, int y) {
    return static_cast<uint32_t>((y << 12) | x | 0x100000);
}

TEST(SurfaceBlt, KeyedBlitLeavesOutExactlyPureGreen) {
    Surface target(4, 1);
    target.ColorFill(Blue);
    Surface picture(4, 1);
    picture.SetPixel(0, 0, TransparentColor);
    picture.SetPixel(1, 0, NearGreen);
    picture.SetPixel(2, 0, Red);
    picture.SetPixel(3, 0, TransparentColor | 0x010000);

    ASSERT_EQ(BltOk, target.Blt(nullptr, &picture, nullptr, BltKeySrc));
    EXPECT_EQ(Blue, target.Pixel(0, 0));
    EXPECT_EQ(NearGreen, target.Pixel(1, 0));
    EXPECT_EQ(Red, target.Pixel(2, 0));
    EXPECT_EQ(TransparentColor | 0x010000, target.Pixel(3, 0));

    // The same pixels with the waiting form, and without the key: green is then copied as green.
    target.ColorFill(Blue);
    target.Blt(nullptr, &picture, nullptr, BltWait | BltKeySrc);
    EXPECT_EQ(Blue, target.Pixel(0, 0));
    target.Blt(nullptr, &picture, nullptr, 0);
    EXPECT_EQ(TransparentColor, target.Pixel(0, 0));
}

TEST(SurfaceBlt, KeyedBlitOfLongRowsMatchesPixelByPixel) {
    // Long rows go through the block-wise copy: transparent runs, opaque runs and lone pixels at
    // every offset, against the rule applied one pixel at a time.
    constexpr int Width = 203;
    constexpr int Height = 7;
    Surface picture(Width, Height);
    uint32_t seed = 12345;
    for (uint32_t& p : picture.pixels) {
        seed = seed * 1103515245u + 12345u;
        const uint32_t roll = (seed >> 16) % 4;
        p = roll < 2 ? TransparentColor : (roll == 2 ? NearGreen : (seed & 0xFFFFFF));
    }
    for (int x = 40; x < 90; ++x) picture.SetPixel(x, 3, TransparentColor);
    Surface target(Width + 10, Height);
    target.ColorFill(Blue);
    const Rect dest{7, 0, 7 + Width, Height};
    ASSERT_EQ(BltOk, target.Blt(&dest, &picture, nullptr, BltKeySrc));
    for (int y = 0; y < Height; ++y) {
        for (int x = 0; x < Width; ++x) {
            const uint32_t source = picture.Pixel(x, y);
            ASSERT_EQ(source == TransparentColor ? Blue : source, target.Pixel(x + 7, y))
                << x << "," << y;
        }
        EXPECT_EQ(Blue, target.Pixel(6, y));
        EXPECT_EQ(Blue, target.Pixel(Width + 7, y));
    }
}

TEST(SurfaceBlt, RectangleReachingOutsideFailsWholeAndCutOneDrawsTheVisiblePart) {
    Surface target(100, 10);
    target.ColorFill(Blue);
    Surface picture(100, 10);
    FillWithCoordinates(picture);

    const Rect outside{-20, 0, 80, 10};
    const Rect whole{0, 0, 100, 10};
    EXPECT_NE(BltOk, target.Blt(&outside, &picture, &whole, BltKeySrc));
    for (int x = 0; x < 100; ++x) ASSERT_EQ(Blue, target.Pixel(x, 5)) << x;

    const Rect cutDest{0, 0, 80, 10};
    const Rect cutSource{20, 0, 100, 10};
    EXPECT_EQ(BltOk, target.Blt(&cutDest, &picture, &cutSource, BltKeySrc));
    EXPECT_EQ(CoordinateValue(20, 5), target.Pixel(0, 5));
    EXPECT_EQ(CoordinateValue(99, 5), target.Pixel(79, 5));
    EXPECT_EQ(Blue, target.Pixel(80, 5));

    // A source rectangle outside its picture, an inverted one, or one past the bottom fail too.
    const Rect badSource{50, 0, 150, 10};
    const Rect dest{0, 0, 100, 10};
    EXPECT_NE(BltOk, target.Blt(&dest, &picture, &badSource, 0));
    const Rect inverted{10, 0, 5, 10};
    EXPECT_NE(BltOk, target.Blt(&inverted, &picture, nullptr, 0));
    EXPECT_NE(BltOk, target.BltFast(0, 1, &picture, nullptr, BltFastNoColorKey));
    EXPECT_EQ(Blue, target.Pixel(80, 5));
}

TEST(SurfaceBlt, BltStretchesAndBltFastNever) {
    Surface picture(2, 2);
    picture.SetPixel(0, 0, 0x000001);
    picture.SetPixel(1, 0, 0x000002);
    picture.SetPixel(0, 1, 0x000003);
    picture.SetPixel(1, 1, 0x000004);

    Surface target(8, 6);
    target.ColorFill(Blue);
    const Rect dest{2, 2, 6, 6};  // twice the size
    ASSERT_EQ(BltOk, target.Blt(&dest, &picture, nullptr, 0));
    EXPECT_EQ(0x000001u, target.Pixel(2, 2));
    EXPECT_EQ(0x000001u, target.Pixel(3, 3));
    EXPECT_EQ(0x000002u, target.Pixel(4, 2));
    EXPECT_EQ(0x000002u, target.Pixel(5, 3));
    EXPECT_EQ(0x000003u, target.Pixel(2, 4));
    EXPECT_EQ(0x000004u, target.Pixel(5, 5));
    EXPECT_EQ(Blue, target.Pixel(1, 2));

    // Shrinking keeps one pixel of every pair.
    Surface big(4, 4);
    FillWithCoordinates(big);
    Surface small(2, 2);
    small.Blt(nullptr, &big, nullptr, 0);
    EXPECT_EQ(CoordinateValue(1, 1), small.Pixel(0, 0));
    EXPECT_EQ(CoordinateValue(3, 3), small.Pixel(1, 1));

    // BltFast copies at the source's own size from (x, y), with no key.
    target.ColorFill(Blue);
    const Rect part{1, 0, 2, 2};
    ASSERT_EQ(BltOk, target.BltFast(7, 4, &picture, &part, BltFastWait));
    EXPECT_EQ(0x000002u, target.Pixel(7, 4));
    EXPECT_EQ(0x000004u, target.Pixel(7, 5));
    EXPECT_EQ(Blue, target.Pixel(6, 4));
    picture.SetPixel(0, 0, TransparentColor);
    target.BltFast(0, 0, &picture, nullptr, BltFastNoColorKey);
    EXPECT_EQ(TransparentColor, target.Pixel(0, 0));
}

TEST(SurfaceBlt, EmptySourceOrEmptyRectangleDrawsNothing) {
    Surface target(10, 10);
    target.ColorFill(Blue);
    EXPECT_NE(BltOk, target.Blt(nullptr, nullptr, nullptr, BltKeySrc));
    Surface picture(10, 10);
    picture.ColorFill(Red);
    const Rect empty{0, 0, 0, 10};
    target.Blt(&empty, &picture, nullptr, 0);
    target.BltFast(0, 0, &picture, &empty, 0);
    for (uint32_t p : target.pixels) ASSERT_EQ(Blue, p);
}

TEST(SurfaceBlt, LostSurfaceRefusesDrawingUntilRestored) {
    Surface target(2, 2);
    Surface picture(2, 2);
    picture.ColorFill(Red);
    target.lost = true;
    EXPECT_EQ(BltSurfaceLost, target.Blt(nullptr, &picture, nullptr, 0));
    EXPECT_EQ(BltSurfaceLost, target.ColorFill(Blue));
    target.Restore();
    EXPECT_FALSE(target.IsLost());
    EXPECT_EQ(BltOk, target.Blt(nullptr, &picture, nullptr, 0));
    EXPECT_EQ(Red, target.Pixel(1, 1));
}

TEST(SurfaceBlt, CopyWithinOneSurfaceReadsTheOriginalPixels) {
    Surface s(4, 1);
    FillWithCoordinates(s);
    const Rect from{0, 0, 3, 1};
    s.BltFast(1, 0, &s, &from, 0);
    EXPECT_EQ(CoordinateValue(0, 0), s.Pixel(1, 0));
    EXPECT_EQ(CoordinateValue(1, 0), s.Pixel(2, 0));
    EXPECT_EQ(CoordinateValue(2, 0), s.Pixel(3, 0));
}

}  // namespace
