#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "game/GameScreen.h"
#include "platform/display/Surface.h"
#include "platform/headless/HeadlessBackend.h"

// Pictures of our own for the game tests, flat colours or colours that tell where a pixel came
// from, so that a test can say which picture, which column and which frame it sees on the screen.
// None is pure green except the transparent parts of the cleaner's tool layer.
namespace TestArt {
// Room `level`'s background at world x (the same down every column): 1600 x 600.
inline uint32_t Room(int level, int worldX) {
    return (static_cast<uint32_t>(0x20 * level) << 16) | static_cast<uint32_t>(worldX);
}
// Garbage.bmp (300 x 100): the pixel tells its column and whether it lies in the second row.
inline uint32_t Garbage(int x, int y) {
    return 0xC00000u | (y >= 50 ? 0x1000u : 0u) | static_cast<uint32_t>(x);
}
// Arrows.bmp (75 x 100): the right arrow on top, the left one below.
constexpr uint32_t RightArrow = 0xE01111;
constexpr uint32_t LeftArrow = 0xE02222;
// Flurb!.bmp (200 x 100): the pixel tells its column.
inline uint32_t Banner(int x) {
    return 0x300000u | static_cast<uint32_t>(x);
}
// FlurberAnims.bmp (1000 x 1300): tool cells are opaque in their top 100 rows, body cells in their
// top 200, the rest is transparent. On the screen (frame top 265) rows 265-364 show the tool,
// 365-464 the body, and the floor below stays visible, garbage and all.
inline uint32_t CleanerCell(int column, int row) {
    return 0x500000u | static_cast<uint32_t>(row << 8) | static_cast<uint32_t>(column);
}
constexpr int ToolRows = 100;
constexpr int BodyRows = 200;
// RoomClean!.bmp is 200 x 100; YouLose!.bmp is 100 x 50, so the outcome blit must stretch it.
constexpr uint32_t RoomClean = 0x71AA01;
constexpr uint32_t YouLose = 0x72BB02;
// Winner.bmp (225 x 240): four strips of 60 rows.
inline uint32_t WinnerStrip(int index) {
    return 0x800000u | static_cast<uint32_t>(0x1111 * (index + 1));
}

// A folder holding every picture and sound the game loads (no music), made once per run.
const std::string& FullFolder();
// An empty folder: every picture, sound and music file is missing.
const std::string& BareFolder();
}  // namespace TestArt

// The game on the headless platform, in one of the folders above, with theGame made and the menu
// left out: a test plays the menu's part itself where it matters. Everything is shut down at the
// end.
class GameHarness {
public:
    explicit GameHarness(const std::string& folder = TestArt::FullFolder(), bool withAudio = false);
    ~GameHarness();
    GameHarness(const GameHarness&) = delete;
    GameHarness& operator=(const GameHarness&) = delete;

    // What the menu's Start does: play mode, its 200 ms pause and clock reference, a new game.
    void StartFromMenu();
    // What the menu does when it hands a game in progress back (Escape on the menu).
    void ResumeFromMenu();
    // One pass of the main loop: at most one window message, then a game frame while playing.
    void Pass();
    // Moves the clock to the moment the next countdown step is due, then runs a pass.
    void StepCountdown();
    // Presses a key for one pass and lets it go, sending its key-up like the window system.
    void Tap(int keyCode);

    // Replaces the room's garbage by one piece (targetItem follows at the next frame).
    GarbageItem* OnlyPiece(int8_t type, int16_t x, int16_t y);
    void RemoveAllGarbage();

    uint32_t Now() const;
    const Surface& Screen() const { return backend.Screen(); }
    // Pictures shown since the last call, flipped frames and straight-onto-the-screen drawings
    // alike.
    std::vector<HeadlessBackend::ShownImage> TakeImages();

    HeadlessBackend backend;
    bool started;
    GameScreen* game;

private:
    std::string previousDirectory;
};

// The pixels of the game's view of room `level` at `cameraX` with the countdown text on it, for
// comparing the countdown region of a shown picture.
std::vector<uint32_t> RoomViewWithCountdown(int level, int cameraX, const char* text);
// Where the countdown text lies, with a margin; nothing else is drawn there during play.
constexpr Rect CountdownRegion{385, 12, 470, 48};
bool RegionsEqual(const std::vector<uint32_t>& image, const std::vector<uint32_t>& reference,
                  const Rect& region);
inline uint32_t PixelOf(const std::vector<uint32_t>& image, int x, int y) {
    return image[static_cast<size_t>(y) * 800 + static_cast<size_t>(x)];
}
// A starting piece as SetupLevel draws it.
struct DrawnPiece {
    int16_t x;
    int8_t type;
};
// The starting garbage of a room with `base` pieces when the generator was seeded with `seed` just
// before: the count first, then x before type for each piece, in the order added.
std::vector<DrawnPiece> GarbageDrawnFrom(uint32_t seed, int base);
// The list holds exactly `pieces`, newest first, every one resting on the floor.
::testing::AssertionResult HoldsStartingGarbage(const GarbageList& list,
                                                const std::vector<DrawnPiece>& pieces);
// Draws of Rand() made since SeedRandom(seed) (up to 400), found by drawing the next two numbers;
// -1 when not found.
int DrawsSinceSeed(uint32_t seed);
// The first seed from `from` on whose first draw is odd (or even).
uint32_t SeedWithFirstDraw(bool odd, uint32_t from = 1);
