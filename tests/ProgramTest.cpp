#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "app/Devices.h"
#include "app/Program.h"
#include "app/Shell.h"
#include "game/Cleaner.h"
#include "game/GameScreen.h"
#include "platform/Backend.h"
#include "platform/headless/HeadlessBackend.h"
#include "platform/input/KeyCodes.h"
#include "platform/sound/MusicPerformance.h"
#include "tests/support/HeadlessSession.h"
#include "tests/support/TestFiles.h"

// The whole program, from start-up to its exit code, on the headless platform: scripts react to
// every presented frame as a player would, and probe the screen and the shell.

namespace {

constexpr uint32_t Green = 0x00FF00;
constexpr uint32_t MenuColor = 0x203040;
constexpr uint32_t StartColor = 0xA00000;
constexpr uint32_t QuitColor = 0xA000A0;
constexpr uint32_t QuitLitColor = 0xFF80FF;
constexpr uint32_t BannerColor = 0xFFFF00;
constexpr uint32_t CleanerColor = 0x00C0C0;
constexpr uint32_t White = 0xFFFFFF;
constexpr int FrameLimit = 5000;

// The room changes colour along its width, so the view tells where the camera stands.
uint32_t RoomColorAt(int worldX) {
    return 0x400000u | (static_cast<uint32_t>(worldX / 8) << 8) | 0x40u;
}

// A one-note standard MIDI file; the note tells the songs apart.
std::vector<uint8_t> TinySong(uint8_t note) {
    return {'M',  'T',  'h',  'd',  0,    0,    0,    6,
            0,    0,    0,    1,    0,    96,                // format 0, one track
            'M',  'T',  'r',  'k',  0,    0,    0,    12,    // the track's 12 bytes:
            0x00, 0x90, note, 0x40, 0x60, 0x80, note, 0x00,  // the note on and off,
            0x00, 0xFF, 0x2F, 0x00};                         // the end of the track
}
const std::vector<uint8_t> MenuSong = TinySong(60);
const std::vector<uint8_t> RoomOneSong = TinySong(70);

// The song the music device plays now, empty when it plays none.
std::vector<uint8_t> PlayingSong() {
    if (musicPerformance == nullptr || musicPerformance->playingSegment == nullptr ||
        !musicPerformance->IsPlaying()) {
        return {};
    }
    return musicPerformance->playingSegment->midiFile;
}

void WritePictures(const TemporaryFolder& folder) {
    WriteFlatBitmap(folder.PathOf("Graphics\\MenuBG.bmp"), 800, 600, MenuColor);
    WriteFlatBitmap(folder.PathOf("Graphics\\CreditsDescription.bmp"), 800, 600, 0x602020);
    for (const char* name : {"Graphics\\Menus.bmp", "Graphics\\MenusLit.bmp"}) {
        const bool lit = std::string(name).find("Lit") != std::string::npos;
        WriteBitmap(folder.PathOf(name), 200, 300, [lit](int, int y) {
            if (y < 100) return lit ? 0xFF8080u : StartColor;
            if (y < 200) return lit ? 0x8080FFu : 0x0000A0u;
            return lit ? QuitLitColor : QuitColor;
        });
    }
    WriteFlatBitmap(folder.PathOf("Graphics\\Credits.bmp"), 100, 50, 0x404000);
    WriteFlatBitmap(folder.PathOf("Graphics\\CreditsLit.bmp"), 100, 50, 0xC0C000);
    WriteFlatBitmap(folder.PathOf("Graphics\\ConfigurationPopup2.bmp"), 200, 300, 0x208080);

    for (const char* room : {"Graphics\\flurberbathroom.bmp", "Graphics\\flurberbedroom2.bmp",
                             "Graphics\\flurberliving2.bmp", "Graphics\\flurberhall.bmp",
                             "Graphics\\flurberkitchen2.bmp"}) {
        WriteBitmap(folder.PathOf(room), 1600, 600, [](int x, int) { return RoomColorAt(x); });
    }
    WriteBytes(folder.PathOf("Music\\groove.mid"), MenuSong);
    WriteBytes(folder.PathOf("Music\\carribean.mid"), RoomOneSong);
    WriteFlatBitmap(folder.PathOf("Graphics\\Flurb!.bmp"), 200, 100, BannerColor);
    WriteFlatBitmap(folder.PathOf("Graphics\\Arrows.bmp"), 75, 100, 0x8000FF);
    WriteFlatBitmap(folder.PathOf("Graphics\\Garbage.bmp"), 300, 100, 0x804000);
    WriteFlatBitmap(folder.PathOf("Graphics\\RoomClean!.bmp"), 200, 100, 0x00FFFF);
    WriteFlatBitmap(folder.PathOf("Graphics\\YouLose!.bmp"), 200, 100, 0xFF0000);
    WriteFlatBitmap(folder.PathOf("Graphics\\Winner.bmp"), 225, 240, 0xFF00FF);
    // The cleaner: a block in the middle of every body cell, the rest transparent.
    WriteBitmap(folder.PathOf("Graphics\\FlurberAnims.bmp"), 2 * CleanerSpriteWidth,
                4 * CleanerSpriteHeight, [](int x, int y) {
                    const int cellX = x % CleanerSpriteWidth;
                    const int cellY = y % CleanerSpriteHeight;
                    const bool body = y >= 2 * CleanerSpriteHeight;
                    return body && cellX >= 200 && cellX < 300 && cellY >= 100 && cellY < 200
                               ? CleanerColor
                               : Green;
                });
}

bool BannerInBand(const HeadlessBackend& b) {
    for (int x = 0; x < 800; x += 5) {
        if (b.ScreenPixel(x, 150) == BannerColor) return true;
    }
    return false;
}

// The countdown is black text in a white box whose top-left corner is at (395, 20).
bool CountdownBoxShown(const HeadlessBackend& b) {
    return b.ScreenPixel(395, 20) == White && b.ScreenPixel(396, 21) == White;
}

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override { WritePictures(folder); }

    // Runs the program to its end in our folder; the script sees every presented frame.
    int Run() {
        WorkingDirectory here(folder.path);
        activeBackend = &backend;
        backend.onFlip = [this](HeadlessBackend& b) {
            if (b.framesFlipped > FrameLimit) {
                if (!runaway) b.CloseWindow();
                runaway = true;
                return;
            }
            if (script) script(b);
        };
        const int code = RunProgram();
        activeBackend = nullptr;
        return code;
    }

    HeadlessBackend backend;
    TemporaryFolder folder;
    std::function<void(HeadlessBackend&)> script;
    bool runaway = false;
};

TEST_F(ProgramTest, OpensOnTheMenuAndQuitEndsWithCodeZero) {
    bool menuShown = false;
    bool cursorShown = false;
    bool menuMusic = false;
    script = [&](HeadlessBackend& b) {
        if (b.framesFlipped == 1) {
            menuShown = gameMode == ModeMenu && b.ScreenPixel(400, 300) == MenuColor &&
                        b.ScreenPixel(100, 150) == StartColor &&
                        b.ScreenPixel(100, 350) == QuitColor;
            cursorShown = b.cursorVisible;
            menuMusic = PlayingSong() == MenuSong && musicPerformance->requestedTempo == 95.0;
        }
        if (b.framesFlipped == 3) b.Click(100, 350);
    };
    EXPECT_EQ(0, Run());
    EXPECT_FALSE(runaway);
    EXPECT_TRUE(menuShown);
    EXPECT_TRUE(cursorShown);
    EXPECT_TRUE(menuMusic);
    // The frame of the click is still drawn, with Quit lit under the cursor; nothing after it.
    EXPECT_EQ(4, backend.framesFlipped);
    EXPECT_EQ(QuitLitColor, backend.ScreenPixel(100, 350));
    EXPECT_FALSE(backend.windowOpen);
}

TEST_F(ProgramTest, ClosingTheWindowEndsWithCodeZero) {
    script = [](HeadlessBackend& b) {
        if (b.framesFlipped == 3) b.CloseWindow();
    };
    EXPECT_EQ(0, Run());
    EXPECT_FALSE(runaway);
    EXPECT_LE(backend.framesFlipped, 5);
    EXPECT_FALSE(backend.windowOpen);
}

TEST_F(ProgramTest, StartPlaysRoomOneAndEscapeGoesToTheMenuAndBack) {
    enum Phase { Menu, Intro, Walking, LeavingForMenu, OnMenu, Resuming, Playing, Done };
    Phase phase = Menu;
    int phaseFrames = 0;
    int introFlips = 0;
    int bannerFlips = 0;
    bool roomOneAfterIntro = false;
    bool countdownAfterIntro = false;
    bool cursorHiddenInGame = false;
    int16_t cleanerBefore = 0;
    int16_t cleanerAfter = 0;
    int16_t cameraBefore = 0;
    int16_t cameraAfter = 0;
    bool menuShownWithCursor = false;
    int secondsOnLeaving = -1;
    int secondsAfterResume = -1;
    bool introAgain = false;
    bool sameRoomAfterResume = false;
    bool menuMusicAtStart = false;
    bool roomMusicInRoom = false;
    bool menuMusicOnMenu = false;
    bool roomMusicAfterResume = false;

    script = [&](HeadlessBackend& b) {
        ++phaseFrames;
        auto next = [&](Phase p) {
            phase = p;
            phaseFrames = 0;
        };
        switch (phase) {
            case Menu:
                if (b.framesFlipped == 2) {
                    menuMusicAtStart = PlayingSong() == MenuSong;
                    b.Click(100, 150);
                    next(Intro);
                }
                break;
            case Intro:
                if (gameMode == ModePlaying && theGame->clockRunning == 0) {
                    ++introFlips;
                    if (BannerInBand(b)) ++bannerFlips;
                    break;
                }
                // The first play frame after the intro: room 1 at the camera's start, the clock on.
                roomOneAfterIntro = theGame->level == 1 && theGame->secondsLeft == 20 &&
                                    b.ScreenPixel(300, 50) == RoomColorAt(400 + 300) &&
                                    !BannerInBand(b);
                countdownAfterIntro = CountdownBoxShown(b);
                cursorHiddenInGame = !b.cursorVisible;
                roomMusicInRoom = PlayingSong() == RoomOneSong;
                cleanerBefore = theGame->cleaner->X();
                cameraBefore = theGame->cameraX;
                b.SetKey(DIK_RIGHT, true);
                next(Walking);
                break;
            case Walking:
                if (phaseFrames == 30) {
                    b.ReleaseKey(DIK_RIGHT);
                    cleanerAfter = theGame->cleaner->X();
                    cameraAfter = theGame->cameraX;
                    b.SetKey(DIK_ESCAPE, true);
                    next(LeavingForMenu);
                }
                break;
            case LeavingForMenu:
                // The game's frame that handled Escape is still flipped; the menu's come next.
                if (gameMode == ModeMenu) {
                    b.ReleaseKey(DIK_ESCAPE);
                    secondsOnLeaving = theGame->secondsLeft;
                    next(OnMenu);
                }
                break;
            case OnMenu:
                if (phaseFrames == 5) {
                    menuShownWithCursor = gameMode == ModeMenu && b.cursorVisible &&
                                          b.ScreenPixel(400, 300) == MenuColor;
                    menuMusicOnMenu =
                        PlayingSong() == MenuSong && musicPerformance->requestedTempo == 95.0;
                    b.SetKey(DIK_ESCAPE, true);
                    next(Resuming);
                }
                break;
            case Resuming:
                if (gameMode == ModePlaying) {
                    b.ReleaseKey(DIK_ESCAPE);
                    next(Playing);
                }
                break;
            case Playing:
                if (theGame->clockRunning == 0) introAgain = true;
                if (phaseFrames == 10) {
                    secondsAfterResume = theGame->secondsLeft;
                    roomMusicAfterResume = PlayingSong() == RoomOneSong;
                    sameRoomAfterResume = theGame->level == 1 && theGame->pendingEntry == 0 &&
                                          !b.cursorVisible && CountdownBoxShown(b) &&
                                          b.ScreenPixel(300, 50) != MenuColor;
                    b.CloseWindow();
                    next(Done);
                }
                break;
            case Done:
                break;
        }
    };

    EXPECT_EQ(0, Run());
    EXPECT_FALSE(runaway);
    EXPECT_EQ(Done, phase);
    EXPECT_EQ(100, introFlips);
    EXPECT_GE(bannerFlips, 90);
    EXPECT_TRUE(roomOneAfterIntro);
    EXPECT_TRUE(countdownAfterIntro);
    EXPECT_TRUE(cursorHiddenInGame);
    // 10 pixels a frame while Right is held, with the camera following.
    EXPECT_EQ(cleanerBefore + 300, cleanerAfter);
    EXPECT_GT(cameraAfter, cameraBefore);
    EXPECT_TRUE(menuShownWithCursor);
    // Each screen plays its own song when it is entered.
    EXPECT_TRUE(menuMusicAtStart);
    EXPECT_TRUE(roomMusicInRoom);
    EXPECT_TRUE(menuMusicOnMenu);
    EXPECT_TRUE(roomMusicAfterResume);
    // Resumed, not restarted: same room, no intro, the countdown carries on.
    EXPECT_FALSE(introAgain);
    EXPECT_TRUE(sameRoomAfterResume);
    EXPECT_GE(secondsOnLeaving, 1);
    EXPECT_LE(secondsAfterResume, secondsOnLeaving);
    EXPECT_GE(secondsAfterResume, secondsOnLeaving - 1);
}

TEST_F(ProgramTest, WinningTheLastRoomReturnsToAMenuWhereEscapeQuits) {
    enum Phase { Menu, Intro, Winning, OnMenu, Quitting };
    Phase phase = Menu;
    int phaseFrames = 0;
    bool backWithoutGame = false;
    int framesAfterEscape = 0;
    script = [&](HeadlessBackend& b) {
        ++phaseFrames;
        switch (phase) {
            case Menu:
                if (b.framesFlipped == 2) {
                    b.Click(100, 150);
                    phase = Intro;
                }
                break;
            case Intro:
                if (gameMode == ModePlaying && theGame->clockRunning == 1) {
                    theGame->level = 5;
                    b.SetKey(DIK_SPACE, true);
                    phase = Winning;
                }
                break;
            case Winning:
                if (gameMode == ModeMenu) {
                    b.ReleaseKey(DIK_SPACE);
                    backWithoutGame = gameInProgress == 0 && theGame->level == 1;
                    phase = OnMenu;
                    phaseFrames = 0;
                }
                break;
            case OnMenu:
                if (phaseFrames == 3) {
                    b.SetKey(DIK_ESCAPE, true);
                    phase = Quitting;
                }
                break;
            case Quitting:
                ++framesAfterEscape;
                break;
        }
    };
    EXPECT_EQ(0, Run());
    EXPECT_FALSE(runaway);
    EXPECT_EQ(Quitting, phase);
    EXPECT_TRUE(backWithoutGame);
    // The menu frame that saw Escape quits; no game frame follows.
    EXPECT_EQ(1, framesAfterEscape);
    EXPECT_EQ(ModeMenu, gameMode);
}

}  // namespace
