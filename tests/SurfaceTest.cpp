#include <gtest/gtest.h>

#include <algorithm>

#include "platform/display/Surface.h"

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
    // Stretches this short are tested pixel by pixel rather than copied one by one, and none of
    // them is kept.
    EXPECT_FALSE(picture.opaqueSpans.worthUsing);
    EXPECT_TRUE(picture.opaqueSpans.spans.empty());
}

// A sprite-like picture: every row alternates transparent and opaque stretches of 1 to 40 pixels.
void FillLikeASprite(Surface& picture, uint32_t seed) {
    for (int y = 0; y < picture.height; ++y) {
        bool opaque = (seed & 1) != 0;
        int x = 0;
        while (x < picture.width) {
            seed = seed * 1103515245u + 12345u;
            const int length = 1 + static_cast<int>((seed >> 16) % 40);
            for (int end = std::min(picture.width, x + length); x < end; ++x)
                picture.SetPixel(x, y, opaque ? CoordinateValue(x, y) : TransparentColor);
            opaque = !opaque;
        }
    }
}

TEST(SurfaceBlt, KeyedBlitOfSpritePartsMatchesPixelByPixel) {
    // Parts of a sprite sheet cut anywhere (through opaque stretches, at their ends, one column
    // wide) and placed anywhere, against the rule applied one pixel at a time.
    Surface picture(150, 30);
    FillLikeASprite(picture, 777);
    Surface target(160, 40);
    uint32_t seed = 99;
    auto next = [&seed](int bound) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int>((seed >> 16) % static_cast<uint32_t>(bound));
    };
    for (int round = 0; round < 300; ++round) {
        const int left = next(picture.width);
        const int top = next(picture.height);
        const Rect from{left, top, left + 1 + next(picture.width - left),
                        top + 1 + next(picture.height - top)};
        const int x = next(target.width - (from.right - from.left) + 1);
        const int y = next(target.height - (from.bottom - from.top) + 1);
        const Rect dest{x, y, x + from.right - from.left, y + from.bottom - from.top};
        target.ColorFill(Blue);
        ASSERT_EQ(BltOk, target.Blt(&dest, &picture, &from, BltKeySrc));
        for (int ty = 0; ty < target.height; ++ty) {
            for (int tx = 0; tx < target.width; ++tx) {
                const bool inside =
                    tx >= dest.left && tx < dest.right && ty >= dest.top && ty < dest.bottom;
                const uint32_t source = inside
                                            ? picture.Pixel(tx - x + from.left, ty - y + from.top)
                                            : TransparentColor;
                ASSERT_EQ(source == TransparentColor ? Blue : source, target.Pixel(tx, ty))
                    << "round " << round << " at " << tx << "," << ty;
            }
        }
    }
    // The stretches were long enough for the copy to go by them rather than pixel by pixel.
    EXPECT_TRUE(picture.opaqueSpans.known && picture.opaqueSpans.worthUsing);
}

TEST(SurfaceBlt, KeyedBlitSeesEveryChangeToItsSource) {
    // Each change comes after a keyed copy, so whatever that copy worked out from the picture
    // must not outlive it.
    Surface picture(40, 2);
    picture.ColorFill(Red);
    Surface target(40, 2);
    auto copiedAt = [&](int x, int y) {
        target.ColorFill(Blue);
        EXPECT_EQ(BltOk, target.Blt(nullptr, &picture, nullptr, BltKeySrc));
        return target.Pixel(x, y);
    };
    ASSERT_EQ(Red, copiedAt(5, 0));

    picture.SetPixel(5, 0, TransparentColor);
    EXPECT_EQ(Blue, copiedAt(5, 0));

    picture.Row(1)[3] = TransparentColor;
    EXPECT_EQ(Blue, copiedAt(3, 1));

    Surface green(4, 2);
    green.ColorFill(TransparentColor);
    picture.BltFast(20, 0, &green, nullptr, BltFastNoColorKey);
    EXPECT_EQ(Blue, copiedAt(21, 1));
    EXPECT_EQ(Red, copiedAt(24, 1));

    picture.pixels[10] = TransparentColor;
    picture.PixelsChanged();
    EXPECT_EQ(Blue, copiedAt(10, 0));

    picture.ColorFill(TransparentColor);
    EXPECT_EQ(Blue, copiedAt(30, 1));
    picture.ColorFill(Red);
    EXPECT_EQ(Red, copiedAt(30, 1));
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
