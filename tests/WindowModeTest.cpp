#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/display/Surface.h"
#include "platform/input/KeyCodes.h"
#include "platform/input/PointerTracker.h"
#include "platform/input/WindowModeChord.h"
#include "platform/sdl/PictureScaler.h"
#include "platform/sdl/ScreenGeometry.h"
#include "platform/sdl/SdlBackend.h"

namespace {

// A keyboard snapshot with the given keys down, passed through the chord's filter.
std::vector<int> Filtered(const WindowModeChord& chord, std::vector<int> down) {
    uint8_t keys[256] = {};
    for (int code : down) keys[code] = 0x80;
    chord.Filter(keys);
    std::vector<int> left;
    for (int code = 0; code < 256; ++code) {
        if (keys[code] != 0) left.push_back(code);
    }
    return left;
}

using Keys = std::vector<int>;

TEST(WindowModeChord, AltReturnSwitchesAndItsReturnNeverReachesTheGame) {
    WindowModeChord chord;
    EXPECT_TRUE(chord.KeyDown(DIK_RETURN, true, false));
    // Held with Alt, then held alone after Alt is let go: never in the snapshot.
    EXPECT_EQ((Keys{DIK_LMENU}), Filtered(chord, {DIK_LMENU, DIK_RETURN}));
    EXPECT_EQ((Keys{DIK_S}), Filtered(chord, {DIK_RETURN, DIK_S}));
    EXPECT_FALSE(chord.KeyDown(DIK_RETURN, true, true)) << "a repeat switches nothing";
    EXPECT_FALSE(chord.KeyDown(DIK_RETURN, false, false)) << "nor a press with no release between";
    EXPECT_FALSE(chord.KeyUp(DIK_RETURN)) << "its release sends no key-up";
    EXPECT_EQ((Keys{DIK_RETURN}), Filtered(chord, {DIK_RETURN})) << "a new Return counts";

    // As often as wanted, with either Alt.
    EXPECT_TRUE(chord.KeyDown(DIK_RETURN, true, false));
    EXPECT_FALSE(chord.KeyUp(DIK_RETURN));
    EXPECT_TRUE(chord.KeyDown(DIK_RETURN, true, false));
    EXPECT_EQ((Keys{DIK_RMENU}), Filtered(chord, {DIK_RMENU, DIK_RETURN}));
    EXPECT_FALSE(chord.KeyUp(DIK_RETURN));
}

TEST(WindowModeChord, EveryOtherKeyAndCombinationIsLeftAlone) {
    WindowModeChord chord;
    EXPECT_FALSE(chord.KeyDown(DIK_RETURN, false, false)) << "Return alone restarts the room";
    EXPECT_EQ((Keys{DIK_RETURN}), Filtered(chord, {DIK_RETURN}));
    EXPECT_FALSE(chord.KeyDown(DIK_RETURN, true, true)) << "Alt pressed while Return repeats";
    EXPECT_TRUE(chord.KeyUp(DIK_RETURN));
    for (int code : {DIK_S, DIK_NUMPADENTER, DIK_SPACE, DIK_ESCAPE, DIK_LEFT}) {
        EXPECT_FALSE(chord.KeyDown(code, true, false)) << "Alt with key " << code;
        EXPECT_TRUE(chord.KeyUp(code)) << "key " << code;
    }
    EXPECT_EQ((Keys{DIK_S, DIK_LMENU, DIK_SPACE, DIK_LEFT}),
              Filtered(chord, {DIK_LMENU, DIK_S, DIK_SPACE, DIK_LEFT}));
}

TEST(WindowSize, LargestWholeMultipleThatFitsTheUsableArea) {
    struct Case {
        int usableWidth;
        int usableHeight;
        int width;
        int height;
    };
    const Case cases[] = {
        {1920, 1040, 800, 600},    // a 1080p desktop with a panel
        {1600, 1200, 1600, 1200},  // exactly twice
        {1599, 1200, 800, 600},
        {1600, 1199, 800, 600},
        {2560, 1400, 1600, 1200},
        {3840, 2100, 2400, 1800},
        {800, 600, 800, 600},
        // Too small even for 1x: the largest 4:3 size that fits.
        {1024, 560, 746, 560},
        {640, 600, 640, 480},
    };
    for (const Case& c : cases) {
        int width = 0;
        int height = 0;
        WindowedSize(c.usableWidth, c.usableHeight, 800, 600, width, height);
        EXPECT_EQ(c.width, width) << c.usableWidth << "x" << c.usableHeight;
        EXPECT_EQ(c.height, height) << c.usableWidth << "x" << c.usableHeight;
    }
}

TEST(WindowSize, TheWholeWindowFitsWithItsTitleBar) {
    int width = 0;
    int height = 0;
    // Weston at scale 2 on a 1920 x 1080 screen: 960 x 540 with a panel of 32 and a title bar of
    // 24 that SDL can't see. The Credits button at the picture's bottom must stay on the screen.
    RoomForPicture(960, 540, WindowFrame{false, 0, 0, 0, 0}, width, height);
    int pictureWidth = 0;
    int pictureHeight = 0;
    WindowedSize(width, height, 800, 600, pictureWidth, pictureHeight);
    EXPECT_LE(pictureHeight + 24 + 32, 540);
    EXPECT_EQ(602, pictureWidth);
    EXPECT_EQ(452, pictureHeight);
    // A frame the window system tells is taken as it is: 1600 x 1200 fits 2560 x 1400 with it.
    RoomForPicture(2560, 1400, WindowFrame{true, 30, 2, 2, 2}, width, height);
    EXPECT_EQ(2556, width);
    EXPECT_EQ(1368, height);
    WindowedSize(width, height, 800, 600, pictureWidth, pictureHeight);
    EXPECT_EQ(1600, pictureWidth);
    // Exactly 1600 x 1200 usable holds 2x only without a title bar.
    RoomForPicture(1600, 1200, WindowFrame{true, 24, 0, 0, 0}, width, height);
    WindowedSize(width, height, 800, 600, pictureWidth, pictureHeight);
    EXPECT_EQ(800, pictureWidth);
}

TEST(WindowSize, ScalingIsPlainAtWholeMultiplesAndEvenedOutBetweenThem) {
    struct Case {
        int outputWidth;
        int outputHeight;
        int prescale;
        bool smooth;
    };
    const Case cases[] = {
        {800, 600, 1, false},
        {1600, 1200, 1, false},
        {2400, 1800, 1, false},
        // A whole multiple with bars on one side.
        {1600, 1250, 1, false},
        {1700, 1200, 1, false},
        {3840, 1800, 1, false},
        // Between multiples: up to the next whole multiple, then smoothly down.
        {1920, 1080, 2, true},
        {1400, 800, 2, true},
        {2560, 1440, 3, true},
        {2400, 1799, 3, true},
        {801, 601, 2, true},
        // Smaller than the picture.
        {640, 480, 1, true},
        {400, 300, 1, true},
    };
    for (const Case& c : cases) {
        const ScalePlan plan = PlanScaling(c.outputWidth, c.outputHeight, 800, 600);
        EXPECT_EQ(c.prescale, plan.prescale) << c.outputWidth << "x" << c.outputHeight;
        EXPECT_EQ(c.smooth, plan.smooth) << c.outputWidth << "x" << c.outputHeight;
    }
}

TEST(WindowSize, PointerMapsOntoThePictureAndNeverOntoABar) {
    struct Case {
        int windowWidth;
        int windowHeight;
        int windowX;
        int windowY;
        bool onPicture;
        int x;
        int y;
    };
    const Case cases[] = {
        // 1280 x 720: the picture is 960 x 720 from x 160, bars left and right.
        {1280, 720, 160, 0, true, 0, 0},
        {1280, 720, 159, 400, false, 0, 0},  // the left bar, beside Quit
        {1280, 720, 0, 360, false, 0, 0},
        {1280, 720, 1119, 719, true, 799, 599},
        {1280, 720, 1120, 700, false, 0, 0},  // the right bar, beside the Credits button
        {1280, 720, 640, 360, true, 400, 300},
        // 800 x 1000: bars above and below.
        {800, 1000, 400, 199, false, 0, 0},
        {800, 1000, 400, 200, true, 400, 0},
        {800, 1000, 799, 799, true, 799, 599},
        {800, 1000, 400, 800, false, 0, 0},
        // Outside the window altogether.
        {800, 600, -1, 300, false, 0, 0},
        {800, 600, 400, 600, false, 0, 0},
        {800, 600, -400, -300, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.windowWidth) + "x" + std::to_string(c.windowHeight) + " at " +
                     std::to_string(c.windowX) + ", " + std::to_string(c.windowY));
        const PictureArea area = FitPicture(c.windowWidth, c.windowHeight, 800, 600);
        int x = 0;
        int y = 0;
        EXPECT_EQ(c.onPicture, WindowToPicture(area, 800, 600, c.windowX, c.windowY, x, y));
        if (c.onPicture) {
            EXPECT_EQ(c.x, x);
            EXPECT_EQ(c.y, y);
        }
    }
}

// A picture whose every pixel tells where it is: column in the low 12 bits, row above them.
struct CoordinatePicture : Surface {
    CoordinatePicture() : Surface(800, 600) {
        for (int y = 0; y < 600; ++y)
            for (int x = 0; x < 800; ++x) SetPixel(x, y, static_cast<uint32_t>(y << 12 | x));
    }
};

// A window's pixels as the software path leaves them: each picture pixel where a graphics
// processor's nearest sampling puts it (the texel under the centre of each screen pixel), black
// bars, nothing written past the ends of the rows.
void ExpectPictureAsTheGraphicsProcessorPlacesIt(const uint32_t* pixels, int pitch, int width,
                                                 int height) {
    const PictureArea area = FitPicture(width, height, 800, 600);
    int wrong = 0;
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(
            reinterpret_cast<const uint8_t*>(pixels) + static_cast<size_t>(y) * pitch);
        for (int x = 0; x < width; ++x) {
            uint32_t expected = 0;
            if (x >= area.x && x < area.x + area.width && y >= area.y && y < area.y + area.height) {
                const auto column =
                    static_cast<uint32_t>(std::floor((x - area.x + 0.5) * 800.0 / area.width));
                const auto line =
                    static_cast<uint32_t>(std::floor((y - area.y + 0.5) * 600.0 / area.height));
                expected = line << 12 | column;
            }
            if (row[x] != expected && ++wrong <= 5) {
                ADD_FAILURE() << "screen pixel " << x << ", " << y << " of " << width << "x"
                              << height << " holds " << std::hex << row[x] << ", not " << expected;
            }
        }
        for (int x = width; x < pitch / 4; ++x) ASSERT_EQ(0xDEADBEEFu, row[x]) << "past the row";
    }
    EXPECT_EQ(0, wrong);
}

TEST(WindowSize, SoftwarePresentPutsEveryPicturePixelWhereTheGraphicsProcessorDoes) {
    const CoordinatePicture picture;
    PictureScaler scaler;
    // 1.2x with bars left and right, 2x, bars above and below, a size between multiples, 1x,
    // 1.8x, a width that is no multiple of 8 (shuffled runs and the pixels after them), smaller.
    const int sizes[][2] = {{1280, 720}, {1600, 1200}, {800, 1000}, {1366, 768},
                            {800, 600},  {1920, 1080}, {1000, 700}, {640, 480}};
    for (const auto& size : sizes) {
        const int width = size[0];
        const int height = size[1];
        // Rows longer than the window, as framebuffers may have; garbage where the bars go.
        const int pitch = (width + 3) * 4;
        std::vector<uint32_t> window(static_cast<size_t>(pitch / 4) * height, 0xDEADBEEFu);
        scaler.Scale(picture.pixels.data(), 800, 600, window.data(), pitch, width, height,
                     FitPicture(width, height, 800, 600), true);
        ExpectPictureAsTheGraphicsProcessorPlacesIt(window.data(), pitch, width, height);
    }
}

TEST(WindowSize, AStillPointerIsAskedOfTheDesktopUntilSdlSeesItMove) {
    PointerTracker pointer;
    int x = 0;
    int y = 0;
    // At start-up SDL still tells the place in the first small window.
    pointer.Place(200, 150, true, 640, 360, 0, 0, x, y);
    EXPECT_EQ(640, x);
    EXPECT_EQ(360, y);
    pointer.Moved(5, 0, 200, 150, 1000);
    pointer.Place(200, 150, true, 640, 360, 0, 0, x, y);
    EXPECT_EQ(200, x);
    // Once the pointer has left the window SDL's place is where it left.
    pointer.Place(799, 150, false, 900, 150, 100, 0, x, y);
    EXPECT_EQ(800, x);
    // The window moved under it (a switch of window mode): the desktop is asked again.
    pointer.WindowChanged(2000);
    pointer.Place(200, 150, true, 700, 500, 100, 100, x, y);
    EXPECT_EQ(600, x);
    EXPECT_EQ(400, y);
}

TEST(WindowSize, MotionThatTheWindowCausesUnderAStillPointerIsNoMove) {
    PointerTracker pointer;
    pointer.Moved(0, 0, 10, 10, 1000);
    EXPECT_EQ(0u, pointer.moves) << "the first motion in the window tells no move";
    pointer.Moved(3, 0, 13, 10, 1010);
    EXPECT_EQ(1u, pointer.moves);
    // Alt+Enter: the window goes from (0, 0) to (100, 50) of the desktop under the still pointer,
    // and the window system reports motion within it, or as the pointer's first in it, or (X11
    // while the window still changes) a place clamped to the window of that moment, which a
    // window system that can't tell the desktop's pointer gives as the pointer's.
    pointer.WindowChanged(2000);
    pointer.Moved(-100, -50, 13, 10, 2010);
    pointer.Moved(0, 0, 13, 10, 2040);
    pointer.Moved(200, 35, 899, 500, 2040);
    pointer.Moved(0, 0, 13, 10, 2000 + PointerTracker::SettleMs);
    EXPECT_EQ(1u, pointer.moves);
    EXPECT_FALSE(pointer.stale) << "SDL's place is up to date again";
    // SDL 3 tells of the window's move at its next X event, long after the change.
    pointer.Moved(100, 50, 13, 10, 2000 + PointerTracker::SettleMs + 3000);
    EXPECT_EQ(1u, pointer.moves) << "the desktop's pointer stayed where it was";
    pointer.Moved(5, 0, 18, 10, 2000 + PointerTracker::SettleMs + 3010);
    EXPECT_EQ(2u, pointer.moves) << "the player moved it";
    // Timestamps wrap after 49 days.
    pointer.WindowChanged(UINT32_MAX - 100);
    pointer.Moved(200, 35, 899, 500, 100);
    EXPECT_EQ(2u, pointer.moves);
    pointer.Moved(5, 0, 23, 10, PointerTracker::SettleMs);
    EXPECT_EQ(3u, pointer.moves);
}

// The real platform on SDL's dummy video driver, with key events as X11 would send them.
class SdlWindowMode : public ::testing::Test {
protected:
    void SetUp() override {
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
        ASSERT_TRUE(backend.CreateMainWindow("The Flurber", 0, 0, 400, 300));
        ASSERT_TRUE(backend.TakeOverDisplay(800, 600));
        ASSERT_TRUE(IsFullScreen());
    }

    void Key(Uint32 type, SDL_Scancode scancode, Uint16 mod, bool repeat = false) {
        SDL_Event event;
        SDL_zero(event);
        event.type = type;
        event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
        event.key.repeat = repeat ? 1 : 0;
        event.key.keysym.scancode = scancode;
        event.key.keysym.mod = mod;
        event.key.windowID = SDL_GetWindowID(backend.video.window);
        SDL_PushEvent(&event);
    }

    Keys KeyUps() {
        Keys ups;
        PlatformEvent event;
        while (backend.PollEvent(event)) {
            if (event.type == PlatformEvent::KeyUp) ups.push_back(event.key);
        }
        return ups;
    }

    bool IsFullScreen() {
        return (SDL_GetWindowFlags(backend.video.window) & SDL_WINDOW_FULLSCREEN_DESKTOP) ==
               SDL_WINDOW_FULLSCREEN_DESKTOP;
    }

    SdlBackend backend;
};

TEST_F(SdlWindowMode, WithoutAGraphicsProcessorTheFramebufferShowsThePicture) {
    // SDL's dummy driver has no OpenGL: the picture goes into the window's own framebuffer.
    ASSERT_TRUE(backend.video.usingFramebuffer);
    backend.video.ToggleFullscreen();
    SDL_SetWindowSize(backend.video.window, 1280, 720);
    backend.ShowImage(CoordinatePicture());
    SDL_Surface* framebuffer = SDL_GetWindowSurface(backend.video.window);
    ASSERT_NE(nullptr, framebuffer);
    ASSERT_EQ(1280, framebuffer->w);
    ASSERT_EQ(720, framebuffer->h);
    ASSERT_EQ(1280 * 4, framebuffer->pitch);
    ExpectPictureAsTheGraphicsProcessorPlacesIt(static_cast<const uint32_t*>(framebuffer->pixels),
                                                framebuffer->pitch, 1280, 720);

    // The next picture changes a band of rows and the last row: only those are scaled again, and
    // the window shows the new picture as a whole scaling of it would.
    CoordinatePicture changed;
    for (int y = 250; y < 262; ++y)
        for (int x = 0; x < 800; ++x) changed.SetPixel(x, y, 0x123456);
    for (int x = 0; x < 800; ++x) changed.SetPixel(x, 599, 0x654321);
    backend.ShowImage(changed);
    std::vector<uint32_t> expected(1280 * 720, 0xDEADBEEFu);
    PictureScaler().Scale(changed.pixels.data(), 800, 600, expected.data(), 1280 * 4, 1280, 720,
                          FitPicture(1280, 720, 800, 600), true);
    framebuffer = SDL_GetWindowSurface(backend.video.window);
    const auto* shown = static_cast<const uint32_t*>(framebuffer->pixels);
    int wrong = 0;
    for (size_t i = 0; i < expected.size(); ++i) wrong += shown[i] != expected[i] ? 1 : 0;
    EXPECT_EQ(0, wrong) << "pixels that differ from the new picture";
}

TEST_F(SdlWindowMode, AltReturnSwitchesBackAndForthWithoutAKeyUp) {
    Key(SDL_KEYDOWN, SDL_SCANCODE_LALT, KMOD_LALT);
    Key(SDL_KEYDOWN, SDL_SCANCODE_RETURN, KMOD_LALT);
    Key(SDL_KEYDOWN, SDL_SCANCODE_RETURN, KMOD_LALT, true);
    EXPECT_EQ(Keys{}, KeyUps());
    EXPECT_FALSE(IsFullScreen());
    EXPECT_FALSE(backend.video.fullscreen);
    int width = 0;
    int height = 0;
    SDL_GetWindowSize(backend.video.window, &width, &height);
    EXPECT_EQ(800, width);
    EXPECT_EQ(600, height);
    EXPECT_TRUE(SDL_GetWindowFlags(backend.video.window) & SDL_WINDOW_RESIZABLE);

    Key(SDL_KEYUP, SDL_SCANCODE_LALT, KMOD_NONE);
    Key(SDL_KEYUP, SDL_SCANCODE_RETURN, KMOD_NONE);
    EXPECT_EQ(Keys{DIK_LMENU}, KeyUps()) << "Alt's key-up goes on, Return's does not";

    Key(SDL_KEYDOWN, SDL_SCANCODE_RETURN, KMOD_RALT);
    Key(SDL_KEYUP, SDL_SCANCODE_RETURN, KMOD_RALT);
    EXPECT_EQ(Keys{}, KeyUps());
    EXPECT_TRUE(IsFullScreen());

    // Return alone and S with Alt are keys like any other.
    Key(SDL_KEYDOWN, SDL_SCANCODE_RETURN, KMOD_NONE);
    Key(SDL_KEYUP, SDL_SCANCODE_RETURN, KMOD_NONE);
    Key(SDL_KEYDOWN, SDL_SCANCODE_S, KMOD_LALT);
    Key(SDL_KEYUP, SDL_SCANCODE_S, KMOD_LALT);
    EXPECT_EQ((Keys{DIK_RETURN, DIK_S}), KeyUps());
    EXPECT_TRUE(IsFullScreen());
}

TEST_F(SdlWindowMode, MotionThatASwitchCausesUnderAStillPointerIsNoMove) {
    auto motion = [&](int x, int y, int xrel, int yrel) {
        SDL_Event event;
        SDL_zero(event);
        event.type = SDL_MOUSEMOTION;
        event.motion.windowID = SDL_GetWindowID(backend.video.window);
        event.motion.x = x;
        event.motion.y = y;
        event.motion.xrel = xrel;
        event.motion.yrel = yrel;
        SDL_PushEvent(&event);
        KeyUps();
    };
    KeyUps();  // the window events of going full screen
    SDL_Delay(PointerTracker::SettleMs + 20);
    // The full-screen window need not stand at the desktop's origin: the pointer's place on the
    // desktop is what stays still.
    int fullLeft = 0;
    int fullTop = 0;
    SDL_GetWindowPosition(backend.video.window, &fullLeft, &fullTop);
    motion(100, 100, 0, 0);
    motion(104, 100, 4, 0);
    const uint32_t moves = backend.PointerMoves();
    EXPECT_EQ(1u, moves) << "the player's move counted, SDL's first motion did not";

    Key(SDL_KEYDOWN, SDL_SCANCODE_LALT, KMOD_LALT);
    Key(SDL_KEYDOWN, SDL_SCANCODE_RETURN, KMOD_LALT);
    KeyUps();
    ASSERT_FALSE(IsFullScreen());
    int left = 0;
    int top = 0;
    SDL_GetWindowPosition(backend.video.window, &left, &top);
    ASSERT_TRUE(left != fullLeft || top != fullTop) << "the window moved";
    // What the window system tells of the still pointer in the changed window: a move within it
    // that leaves it where it stood on the desktop, or its first motion there.
    const int stillX = fullLeft + 104 - left;
    const int stillY = fullTop + 100 - top;
    motion(stillX, stillY, stillX - 104, stillY - 100);
    motion(stillX, stillY, 0, 0);
    // X11 while the window still changes: a place clamped to the window of that moment.
    motion(799, 450, 799 - stillX, 450 - stillY);
    EXPECT_EQ(moves, backend.PointerMoves());
    SDL_Delay(PointerTracker::SettleMs + 20);
    motion(stillX + 6, stillY, 6, 0);
    EXPECT_EQ(moves + 1, backend.PointerMoves()) << "the player moved it";
}

}  // namespace
