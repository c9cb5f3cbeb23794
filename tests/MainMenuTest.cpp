#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <utility>

#include "app/Devices.h"
#include "app/Program.h"
#include "app/Shell.h"
#include "game/GameScreen.h"
#include "media/Display.h"
#include "menu/MainMenu.h"
#include "platform/System.h"
#include "platform/input/KeyCodes.h"
#include "platform/sound/MusicPerformance.h"
#include "tests/support/HeadlessSession.h"
#include "tests/support/TestFiles.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MENU_TEST_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define MENU_TEST_ASAN 1
#endif
#ifdef MENU_TEST_ASAN
// From the sanitizer runtime (GCC ships no header for it).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace {

// Flat colours of our own little menu pictures, all different, so a pixel tells which picture and
// which item was drawn there.
constexpr uint32_t Green = 0x00FF00;
constexpr uint32_t BackgroundColor = 0x203040;
constexpr uint32_t StartColor = 0xA00000;
constexpr uint32_t ConfigColor = 0x0000A0;
constexpr uint32_t QuitColor = 0xA000A0;
constexpr uint32_t StartLitColor = 0xFF8080;
constexpr uint32_t ConfigLitColor = 0x8080FF;
constexpr uint32_t QuitLitColor = 0xFF80FF;
constexpr uint32_t CreditsButtonColor = 0x404000;
constexpr uint32_t CreditsLitColor = 0xC0C000;
constexpr uint32_t CreditsPageColor = 0x602020;
constexpr uint32_t PopupColor = 0x208080;

// The two item pictures: three 200 x 100 bands, transparent from x 150 on.
void WriteItems(const std::string& path, uint32_t start, uint32_t config, uint32_t quit) {
    WriteBitmap(path, 200, 300, [=](int x, int y) {
        if (x >= 150) return Green;
        return y < 100 ? start : (y < 200 ? config : quit);
    });
}

void WriteMenuPictures(const TemporaryFolder& folder) {
    // Background and credits page carry a green patch: a plain blit copies it.
    WriteBitmap(folder.PathOf("Graphics\\MenuBG.bmp"), 800, 600, [](int x, int y) {
        return x >= 400 && x < 450 && y < 50 ? Green : BackgroundColor;
    });
    WriteBitmap(folder.PathOf("Graphics\\CreditsDescription.bmp"), 800, 600,
                [](int x, int y) { return x < 50 && y < 50 ? Green : CreditsPageColor; });
    WriteItems(folder.PathOf("Graphics\\Menus.bmp"), StartColor, ConfigColor, QuitColor);
    WriteItems(folder.PathOf("Graphics\\MenusLit.bmp"), StartLitColor, ConfigLitColor,
               QuitLitColor);
    // The button's first ten columns are transparent.
    WriteBitmap(folder.PathOf("Graphics\\Credits.bmp"), 100, 50,
                [](int x, int) { return x < 10 ? Green : CreditsButtonColor; });
    WriteBitmap(folder.PathOf("Graphics\\CreditsLit.bmp"), 100, 50,
                [](int x, int) { return x < 10 ? Green : CreditsLitColor; });
    // Half size: the menu stretches it into its 200 x 300 place.
    WriteFlatBitmap(folder.PathOf("Graphics\\ConfigurationPopup2.bmp"), 100, 150, PopupColor);
}

// A one-note standard MIDI file; the note tells the songs apart.
std::vector<uint8_t> TinySong(uint8_t note) {
    return {'M',  'T',  'h',  'd',  0,    0,    0,    6,
            0,    0,    0,    1,    0,    96,                // format 0, one track
            'M',  'T',  'r',  'k',  0,    0,    0,    12,    // the track's 12 bytes:
            0x00, 0x90, note, 0x40, 0x60, 0x80, note, 0x00,  // the note on and off,
            0x00, 0xFF, 0x2F, 0x00};                         // the end of the track
}

const std::vector<uint8_t>& LoadedSong() {
    static const std::vector<uint8_t> none;
    return currentSegment != nullptr ? currentSegment->midiFile : none;
}

// Removes every waiting message; true when one of them was the quit message with code 0.
bool TakeQuitMessage() {
    bool quit = false;
    Message message{};
    while (PeekMessage(&message)) {
        if (message.message == WM_QUIT && message.wParam == 0) quit = true;
    }
    return quit;
}

size_t LiveHeapBytes() {
#ifdef MENU_TEST_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

class MainMenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(session.started);
        WriteMenuPictures(folder);
        WriteBytes(folder.PathOf("Music\\groove.mid"), TinySong(60));
        WriteBytes(folder.PathOf("Music\\carribean.mid"), TinySong(70));
        inFolder = std::make_unique<WorkingDirectory>(folder.path);
        musicLoader->SetSearchDirectory(folder.path);
        theGame = new GameScreen();
        MakeMenu();
    }

    // A fresh menu with its pictures, as at start-up.
    void MakeMenu() {
        delete theMenu;
        theMenu = new MainMenu();
        menu = theMenu;
        menu->LoadAssets();
        TakeQuitMessage();
    }

    void Frame() { menu->RunFrame(); }
    uint32_t Pixel(int x, int y) const { return session.backend.ScreenPixel(x, y); }

    // The pointer rests at (x, y); then one Down lights Start by the keyboard.
    void LightStartByKeyWithPointerAt(int x, int y) {
        HeadlessBackend& backend = session.backend;
        backend.SetCursor(x, y);
        Frame();
        backend.SetKey(DIK_DOWN, true);
        Frame();
        backend.ReleaseKey(DIK_DOWN);
        Frame();
    }

    // A click as the window passes it on: through the message queue and the window procedure.
    void ClickThroughWindow(int x, int y) {
        session.backend.Click(x, y);
        Message message{};
        while (PeekMessage(&message)) {
            WindowProc(message);
            if (message.message == WM_LBUTTONUP) break;
        }
    }

    HeadlessSession session;
    TemporaryFolder folder;
    std::unique_ptr<WorkingDirectory> inFolder;
    MainMenu* menu = nullptr;
};

TEST_F(MainMenuTest, StartsEmptyAndLoadsEveryPicture) {
    MainMenu fresh;
    EXPECT_EQ(0, fresh.configPopupShown);
    EXPECT_EQ(0, fresh.reentryPending);
    EXPECT_EQ(0, fresh.creditsShown);
    EXPECT_EQ(nullptr, fresh.backgroundSurface);
    EXPECT_EQ(nullptr, fresh.creditsSurface);

    // Destroying a menu releases its five pictures and nothing else.
    const int surfacesBefore = Surface::liveCount;
    {
        MainMenu loaded;
        loaded.LoadAssets();
        EXPECT_EQ(surfacesBefore + 5, Surface::liveCount);
        ASSERT_NE(nullptr, loaded.creditsSurface);
        EXPECT_EQ(CreditsButtonColor, loaded.creditsSurface->Pixel(50, 25));
        EXPECT_STREQ(L"Music\\groove.mid", loaded.musicPath);
    }
    EXPECT_EQ(surfacesBefore, Surface::liveCount);
}

TEST_F(MainMenuTest, DrawsTheLayoutWithPlainAndKeyedBlits) {
    session.backend.SetCursor(500, 500);
    Frame();
    // Items, unlit, in their bands; their green columns let the background through.
    EXPECT_EQ(StartColor, Pixel(0, 100));
    EXPECT_EQ(StartColor, Pixel(149, 199));
    EXPECT_EQ(ConfigColor, Pixel(100, 250));
    EXPECT_EQ(QuitColor, Pixel(100, 399));
    EXPECT_EQ(BackgroundColor, Pixel(175, 150));
    EXPECT_EQ(BackgroundColor, Pixel(100, 99));
    EXPECT_EQ(BackgroundColor, Pixel(100, 400));
    // The background is a plain blit: its green patch shows as green.
    EXPECT_EQ(Green, Pixel(420, 20));
    // The Credits button, keyed, in the bottom-right corner.
    EXPECT_EQ(CreditsButtonColor, Pixel(750, 575));
    EXPECT_EQ(CreditsButtonColor, Pixel(799, 599));
    EXPECT_EQ(BackgroundColor, Pixel(705, 575));
    EXPECT_EQ(BackgroundColor, Pixel(750, 549));
    // No configuration picture until asked for.
    EXPECT_EQ(BackgroundColor, Pixel(400, 250));
}

TEST_F(MainMenuTest, ClickBoundsDifferFromTheDrawnItems) {
    enum Effect { Nothing, Start, Config, Quit, Credits };
    struct Case {
        int x;
        int y;
        Effect effect;
    };
    const Case cases[] = {
        {0, 100, Start},     {200, 100, Start},   {100, 199, Start},       {201, 150, Nothing},
        {100, 99, Nothing},  {100, 200, Config},  {100, 289, Config},      {100, 290, Quit},
        {200, 299, Quit},    {100, 300, Quit},    {100, 400, Quit},        {100, 401, Nothing},
        {201, 350, Nothing}, {400, 250, Nothing}, {699, 599, Nothing},     {799, 549, Nothing},
        {700, 550, Credits}, {799, 599, Credits}, {65535, 65535, Credits},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("click at " + std::to_string(c.x) + ", " + std::to_string(c.y));
        gameMode = ModeMenu;
        gameInProgress = 0;
        menu->configPopupShown = 0;
        menu->creditsShown = 0;
        menu->reentryPending = 0;
        const uint32_t before = timeGetTime();
        menu->HandleClick(c.x, c.y);
        const uint32_t waited = timeGetTime() - before;

        const bool started = gameMode == ModePlaying;
        EXPECT_EQ(c.effect == Start, started);
        EXPECT_EQ(c.effect == Start, gameInProgress == 1);
        EXPECT_EQ(c.effect == Start, menu->reentryPending == 1);
        EXPECT_EQ(c.effect == Config, menu->configPopupShown == 1);
        EXPECT_EQ(c.effect == Quit, TakeQuitMessage());
        EXPECT_EQ(c.effect == Credits, menu->creditsShown == 1);
        // Only the switch to the game pauses; opening the credits page does not.
        if (c.effect == Start) {
            EXPECT_GE(waited, 200u);
        } else {
            EXPECT_EQ(0u, waited);
        }
    }
}

TEST_F(MainMenuTest, ClickArrivesThroughTheWindowOnlyOnTheMenu) {
    ClickThroughWindow(100, 295);
    EXPECT_TRUE(TakeQuitMessage());

    gameMode = ModePlaying;
    ClickThroughWindow(100, 295);
    EXPECT_FALSE(TakeQuitMessage());
    gameMode = ModeMenu;
}

TEST_F(MainMenuTest, HoverLightsOnlyTheItemDrawnUnderTheCursor) {
    struct Case {
        int x;
        int y;
        int lit;  // 0 none, 1 Start, 2 Configuration, 3 Quit
    };
    const Case cases[] = {
        {0, 100, 1},   {200, 199, 1}, {201, 150, 0}, {100, 99, 0},  {100, 200, 2}, {100, 290, 2},
        {100, 299, 2}, {100, 300, 3}, {0, 399, 3},   {100, 400, 0}, {750, 575, 0}, {400, 300, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("cursor at " + std::to_string(c.x) + ", " + std::to_string(c.y));
        session.backend.SetCursor(c.x, c.y);
        Frame();
        EXPECT_EQ(c.lit == 1, menu->hoverStart == 1);
        EXPECT_EQ(c.lit == 2, menu->hoverConfig == 1);
        EXPECT_EQ(c.lit == 3, menu->hoverQuit == 1);
        EXPECT_EQ(c.lit == 1 ? StartLitColor : StartColor, Pixel(100, 150));
        EXPECT_EQ(c.lit == 2 ? ConfigLitColor : ConfigColor, Pixel(100, 250));
        EXPECT_EQ(c.lit == 3 ? QuitLitColor : QuitColor, Pixel(100, 350));
    }
}

TEST_F(MainMenuTest, MissingLitPictureHidesTheItemUnderTheCursor) {
    std::remove(folder.PathOf("Graphics\\MenusLit.bmp").c_str());
    MakeMenu();
    EXPECT_EQ(nullptr, menu->itemsLitSurface);

    session.backend.SetCursor(100, 150);
    Frame();
    EXPECT_EQ(BackgroundColor, Pixel(100, 150));
    EXPECT_EQ(ConfigColor, Pixel(100, 250));
    EXPECT_EQ(QuitColor, Pixel(100, 350));

    session.backend.SetCursor(100, 350);
    Frame();
    EXPECT_EQ(StartColor, Pixel(100, 150));
    EXPECT_EQ(BackgroundColor, Pixel(100, 350));
}

TEST_F(MainMenuTest, CreditsButtonIsReadFromItsFileEveryFrame) {
    const struct {
        int x;
        int y;
        bool lit;
    } cases[] = {{750, 575, true},  {700, 550, true}, {699, 575, false},
                 {750, 549, false}, {799, 599, true}, {10, 10, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE("cursor at " + std::to_string(c.x) + ", " + std::to_string(c.y));
        session.backend.SetCursor(c.x, c.y);
        Frame();
        EXPECT_EQ(c.lit ? CreditsLitColor : CreditsButtonColor, Pixel(750, 575));
        EXPECT_EQ(BackgroundColor, Pixel(705, 575));
    }

    // A changed file shows on the very next frame, lit or unlit.
    WriteFlatBitmap(folder.PathOf("Graphics\\Credits.bmp"), 100, 50, 0x123456);
    WriteFlatBitmap(folder.PathOf("Graphics\\CreditsLit.bmp"), 100, 50, 0x654321);
    session.backend.SetCursor(10, 10);
    Frame();
    EXPECT_EQ(0x123456u, Pixel(750, 575));
    session.backend.SetCursor(750, 575);
    Frame();
    EXPECT_EQ(0x654321u, Pixel(750, 575));

    // When the lit file goes missing, the button keeps the picture it had.
    std::remove(folder.PathOf("Graphics\\CreditsLit.bmp").c_str());
    session.backend.SetCursor(10, 10);
    Frame();
    session.backend.SetCursor(750, 575);
    Frame();
    EXPECT_EQ(0x123456u, Pixel(750, 575));
}

TEST_F(MainMenuTest, AnyClickClosesTheCreditsPageAndDoesNothingElse) {
    const struct {
        int x;
        int y;
    } closers[] = {{100, 150}, {100, 250}, {100, 350}, {750, 575}, {400, 300}, {0, 0}};
    for (const auto& c : closers) {
        SCOPED_TRACE("closing click at " + std::to_string(c.x) + ", " + std::to_string(c.y));
        ClickThroughWindow(750, 575);
        ASSERT_EQ(1, menu->creditsShown);
        // The page covers everything, and the cursor lights nothing on it.
        session.backend.SetCursor(100, 150);
        Frame();
        EXPECT_EQ(0, menu->hoverStart);
        EXPECT_EQ(CreditsPageColor, Pixel(100, 150));
        EXPECT_EQ(CreditsPageColor, Pixel(750, 575));
        EXPECT_EQ(Green, Pixel(10, 10));
        session.backend.SetCursor(750, 575);
        Frame();
        EXPECT_EQ(CreditsPageColor, Pixel(750, 575));

        const uint32_t before = timeGetTime();
        menu->HandleClick(c.x, c.y);
        EXPECT_GE(timeGetTime() - before, 200u);
        EXPECT_EQ(0, menu->creditsShown);
        EXPECT_EQ(ModeMenu, gameMode);
        EXPECT_EQ(0, gameInProgress);
        EXPECT_EQ(0, menu->configPopupShown);
        EXPECT_FALSE(TakeQuitMessage());

        session.backend.SetCursor(400, 300);
        Frame();
        EXPECT_EQ(BackgroundColor, Pixel(400, 300));
        EXPECT_EQ(CreditsButtonColor, Pixel(750, 575));
    }
}

TEST_F(MainMenuTest, EscapeClosesCreditsFirstThenResumesOrQuits) {
    session.backend.SetCursor(400, 300);

    // With a game in progress: the first frame only closes the page, the next resumes the game.
    gameInProgress = 1;
    menu->HandleClick(750, 575);
    session.backend.SetKey(DIK_ESCAPE, true);
    uint32_t before = timeGetTime();
    Frame();
    EXPECT_GE(timeGetTime() - before, 200u);
    EXPECT_EQ(0, menu->creditsShown);
    EXPECT_EQ(ModeMenu, gameMode);
    EXPECT_FALSE(TakeQuitMessage());
    EXPECT_EQ(BackgroundColor, Pixel(400, 300));

    before = timeGetTime();
    Frame();
    EXPECT_EQ(ModePlaying, gameMode);
    EXPECT_EQ(1, menu->reentryPending);
    EXPECT_EQ(1, gameInProgress);
    EXPECT_FALSE(TakeQuitMessage());
    // The game's countdown restarts from the moment of the switch, after the pause.
    EXPECT_GE(timeGetTime() - before, 200u);
    EXPECT_EQ(timeGetTime(), theGame->lastTick);

    // With no game: close the page, then quit; the quitting frame is still presented.
    gameMode = ModeMenu;
    gameInProgress = 0;
    menu->HandleClick(750, 575);
    Frame();
    EXPECT_EQ(0, menu->creditsShown);
    EXPECT_FALSE(TakeQuitMessage());
    const int flipped = session.backend.framesFlipped;
    Frame();
    EXPECT_TRUE(TakeQuitMessage());
    EXPECT_EQ(ModeMenu, gameMode);
    EXPECT_EQ(flipped + 1, session.backend.framesFlipped);
    session.backend.SetKey(DIK_ESCAPE, false);
}

TEST_F(MainMenuTest, ConfigurationPictureTogglesAndSurvivesTheGame) {
    session.backend.SetCursor(600, 500);
    menu->HandleClick(100, 250);
    Frame();
    // Stretched from 100 x 150 into (300, 100)-(500, 400).
    EXPECT_EQ(PopupColor, Pixel(300, 100));
    EXPECT_EQ(PopupColor, Pixel(499, 399));
    EXPECT_EQ(BackgroundColor, Pixel(299, 250));
    EXPECT_EQ(BackgroundColor, Pixel(500, 250));
    EXPECT_EQ(BackgroundColor, Pixel(400, 99));
    EXPECT_EQ(BackgroundColor, Pixel(400, 400));

    // Clicks on the picture or elsewhere leave it; so do the credits page and a game.
    menu->HandleClick(400, 250);
    menu->HandleClick(600, 100);
    menu->HandleClick(750, 575);
    menu->HandleClick(400, 250);
    EXPECT_EQ(1, menu->configPopupShown);
    menu->HandleClick(100, 150);
    ASSERT_EQ(ModePlaying, gameMode);
    SetCursorHidden(1);
    gameMode = ModeMenu;  // the game hands the screen back
    Frame();
    EXPECT_EQ(1, menu->configPopupShown);
    EXPECT_EQ(PopupColor, Pixel(400, 250));

    menu->HandleClick(100, 250);
    Frame();
    EXPECT_EQ(BackgroundColor, Pixel(400, 250));
}

TEST_F(MainMenuTest, OnlyAFrameAfterTheGameReentersWithTheCursorShown) {
    // Start-up: the first frame must not run the re-entry, which would show the cursor.
    SetCursorHidden(1);
    Frame();
    EXPECT_FALSE(session.backend.cursorVisible);
    EXPECT_EQ(0, menu->reentryPending);

    // Entering the game leaves the cursor to the game; coming back shows it once.
    menu->EnterGame();
    EXPECT_EQ(1, menu->reentryPending);
    EXPECT_FALSE(session.backend.cursorVisible);
    gameMode = ModeMenu;
    Frame();
    EXPECT_TRUE(session.backend.cursorVisible);
    EXPECT_EQ(0, menu->reentryPending);
    SetCursorHidden(1);
    Frame();
    EXPECT_FALSE(session.backend.cursorVisible);
}

TEST_F(MainMenuTest, MenuMusicIsLoadedAgainOnReturnAndHeldAt95) {
    EXPECT_EQ(TinySong(60), LoadedSong());
    EXPECT_EQ(95.0, musicPerformance->requestedTempo);

    // Every frame puts the tempo back, whatever the game asked for.
    musicPerformance->requestedTempo = 130.0;
    Frame();
    EXPECT_EQ(95.0, musicPerformance->requestedTempo);

    // The game plays its own song; the first menu frame after it loads the menu's again.
    menu->HandleClick(100, 150);
    ASSERT_EQ(ModePlaying, gameMode);
    ASSERT_EQ(TinySong(70), LoadedSong());
    gameMode = ModeMenu;
    musicPerformance->requestedTempo = 110.0;
    Frame();
    EXPECT_EQ(TinySong(60), LoadedSong());
    EXPECT_EQ(95.0, musicPerformance->requestedTempo);
}

TEST_F(MainMenuTest, StartBeginsANewGameWhileEscapeResumesTheOneInProgress) {
    auto* game = theGame;
    menu->HandleClick(100, 150);
    ASSERT_EQ(ModePlaying, gameMode);
    EXPECT_EQ(1, game->level);
    EXPECT_EQ(0, game->pendingEntry);

    // Back on the menu in room 3: Escape resumes room 3, Start begins again at room 1.
    game->level = 3;
    game->pendingEntry = 1;
    gameMode = ModeMenu;
    session.backend.SetKey(DIK_ESCAPE, true);
    Frame();
    session.backend.SetKey(DIK_ESCAPE, false);
    EXPECT_EQ(ModePlaying, gameMode);
    EXPECT_EQ(3, game->level);
    EXPECT_EQ(1, game->pendingEntry);

    gameMode = ModeMenu;
    Frame();
    menu->HandleClick(100, 150);
    EXPECT_EQ(ModePlaying, gameMode);
    EXPECT_EQ(1, game->level);
    EXPECT_EQ(0, game->pendingEntry);
    EXPECT_EQ(1, gameInProgress);
}

TEST_F(MainMenuTest, TenThousandFramesHoldTheSameNumberOfPictures) {
    Surface* const background = menu->backgroundSurface;
    Surface* const items = menu->itemsSurface;
    Surface* const itemsLit = menu->itemsLitSurface;
    Surface* const popup = menu->configPopupSurface;
    for (int i = 0; i < 50; ++i) Frame();
    const int surfaces = Surface::liveCount;
    const size_t heap = LiveHeapBytes();

    for (int i = 0; i < 10000; ++i) {
        // On and off the button, so both of its files are read again and again.
        session.backend.SetCursor(i % 2 == 0 ? 750 : 100, 575);
        Frame();
        ASSERT_EQ(surfaces, Surface::liveCount) << "after frame " << i;
    }
    EXPECT_EQ(10050, session.backend.framesFlipped);
    // A leaked button would be 20 kB a frame, 200 MB in all.
    EXPECT_LT(LiveHeapBytes(), heap + 2 * 1024 * 1024);
    EXPECT_EQ(background, menu->backgroundSurface);
    EXPECT_EQ(items, menu->itemsSurface);
    EXPECT_EQ(itemsLit, menu->itemsLitSurface);
    EXPECT_EQ(popup, menu->configPopupSurface);
    ASSERT_NE(nullptr, menu->creditsSurface);
    EXPECT_EQ(CreditsButtonColor, Pixel(750, 575));
}

}  // namespace

namespace {

// Which of the four choices is drawn lit: 0 none, 1 Start, 2 Configuration, 3 Quit, 4 Credits.
int LitChoice(const HeadlessBackend& backend) {
    int lit = 0;
    int count = 0;
    const std::pair<uint32_t, int> marks[] = {
        {StartLitColor, 1}, {ConfigLitColor, 2}, {QuitLitColor, 3}, {CreditsLitColor, 4}};
    const Point places[] = {{100, 150}, {100, 250}, {100, 350}, {750, 575}};
    for (int n = 0; n < 4; ++n) {
        if (backend.ScreenPixel(places[n].x, places[n].y) == marks[n].first) {
            lit = marks[n].second;
            ++count;
        }
    }
    return count > 1 ? -1 : lit;
}

}  // namespace

TEST_F(MainMenuTest, ArrowKeysWalkTheChoicesUntilTheMouseMoves) {
    HeadlessBackend& backend = session.backend;
    backend.SetCursor(100, 150);  // resting on Start
    Frame();
    EXPECT_EQ(1, LitChoice(backend));
    auto press = [&](int key) {
        backend.SetKey(key, true);
        Frame();
        backend.ReleaseKey(key);
        Frame();
        return LitChoice(backend);
    };
    // The first press of either arrow lights Start; then round in order, both ways.
    EXPECT_EQ(1, press(DIK_UP));
    EXPECT_EQ(2, press(DIK_DOWN));
    EXPECT_EQ(3, press(DIK_DOWN));
    EXPECT_EQ(4, press(DIK_DOWN));
    EXPECT_EQ(1, press(DIK_DOWN));
    EXPECT_EQ(4, press(DIK_UP));
    // Held, an arrow moves once.
    backend.SetKey(DIK_UP, true);
    for (int i = 0; i < 5; ++i) Frame();
    backend.ReleaseKey(DIK_UP);
    Frame();
    EXPECT_EQ(3, LitChoice(backend));

    // Moving the mouse drops the highlight: the pointer lights again, here nothing.
    backend.SetCursor(400, 300);
    Frame();
    EXPECT_EQ(0, LitChoice(backend));
    EXPECT_EQ(MainMenu::NoItem, menu->highlightedItem);
    EXPECT_EQ(1, press(DIK_DOWN));
}

TEST_F(MainMenuTest, ActivationKeysClickTheHighlightAndAreHeldBackInTheGame) {
    HeadlessBackend& backend = session.backend;
    backend.SetCursor(400, 300);
    Frame();
    auto press = [&](int key) {
        backend.SetKey(key, true);
        Frame();
        backend.ReleaseKey(key);
        Frame();
    };
    press(DIK_RETURN);
    EXPECT_EQ(ModeMenu, gameMode) << "with nothing highlighted Return does nothing";
    press(DIK_DOWN);
    press(DIK_DOWN);
    press(DIK_SPACE);
    EXPECT_EQ(1, menu->configPopupShown) << "Space on Configuration toggles the picture";
    press(DIK_DOWN);
    press(DIK_DOWN);
    press(DIK_RETURN);
    EXPECT_EQ(1, menu->creditsShown) << "Return on the Credits button opens the page";
    press(DIK_S);
    EXPECT_EQ(0, menu->creditsShown) << "S (a controller's A) closes it as a click does";
    EXPECT_FALSE(TakeQuitMessage());

    // Start by Return, held: the game reads Return up until it is let go and pressed again.
    press(DIK_DOWN);
    backend.SetKey(DIK_RETURN, true);
    Frame();
    ASSERT_EQ(ModePlaying, gameMode);
    EXPECT_EQ(1, gameInProgress);
    KeyboardSnapshot keyboard;
    ReadKeyboard(keyboard);
    EXPECT_FALSE(keyboard.IsDown(DIK_RETURN)) << "held from the menu";
    backend.ReleaseKey(DIK_RETURN);
    ReadKeyboard(keyboard);
    backend.SetKey(DIK_RETURN, true);
    ReadKeyboard(keyboard);
    EXPECT_TRUE(keyboard.IsDown(DIK_RETURN)) << "pressed again in the game";

    // Back from the game: nothing is highlighted, and a key still held from there does nothing.
    backend.SetKey(DIK_DOWN, true);
    gameMode = ModeMenu;
    Frame();
    EXPECT_EQ(MainMenu::NoItem, menu->highlightedItem);
    backend.ReleaseKey(DIK_DOWN);
    Frame();
    EXPECT_EQ(MainMenu::NoItem, menu->highlightedItem);
    press(DIK_DOWN);
    EXPECT_EQ(ModeMenu, gameMode);
    EXPECT_EQ(1, LitChoice(backend));
}

TEST_F(MainMenuTest, AControllerAloneChoosesWithStickAndDpadAndQuitsWithA) {
    HeadlessBackend& backend = session.backend;
    backend.ConnectController(7);
    Frame();
    auto step = [&](auto&& hold, auto&& release) {
        hold();
        Frame();
        release();
        Frame();
        return LitChoice(backend);
    };
    EXPECT_EQ(1, step([&] { backend.SetControllerStickY(7, 32767); },
                      [&] { backend.SetControllerStickY(7, 0); }));
    EXPECT_EQ(1, step([&] { backend.SetControllerStickY(7, 4000); },
                      [&] { backend.SetControllerStickY(7, 0); }))
        << "a stick within a quarter of its travel is centred";
    EXPECT_EQ(2, step([&] { backend.SetControllerControl(7, PadDown, true); },
                      [&] { backend.SetControllerControl(7, PadDown, false); }));
    EXPECT_EQ(3, step([&] { backend.SetControllerControl(7, PadDown, true); },
                      [&] { backend.SetControllerControl(7, PadDown, false); }));
    EXPECT_EQ(2, step([&] { backend.SetControllerStickY(7, -32768); },
                      [&] { backend.SetControllerStickY(7, 0); }));
    EXPECT_EQ(3, step([&] { backend.SetControllerControl(7, PadDown, true); },
                      [&] { backend.SetControllerControl(7, PadDown, false); }));
    backend.SetControllerControl(7, PadA, true);
    Frame();
    EXPECT_TRUE(TakeQuitMessage()) << "A on Quit quits";
}

TEST_F(MainMenuTest, AControllersStartNeverQuitsTheTitleScreen) {
    HeadlessBackend& backend = session.backend;
    backend.SetCursor(400, 300);
    backend.ConnectController(7);
    Frame();
    auto press = [&](PadControl control) {
        backend.SetControllerControl(7, control, true);
        Frame();
        backend.SetControllerControl(7, control, false);
        Frame();
    };
    // Nothing lit: Start lights Start, and B does nothing at all.
    press(PadB);
    press(PadStart);
    EXPECT_FALSE(TakeQuitMessage());
    EXPECT_EQ(ModeMenu, gameMode);
    EXPECT_EQ(1, LitChoice(backend));
    // With an item lit, Start acts on it as A does.
    press(PadDown);
    press(PadStart);
    EXPECT_EQ(1, menu->configPopupShown);
    EXPECT_EQ(ModeMenu, gameMode);

    // On Start it starts a game, and the game reads it up until it is pressed again; then it goes
    // back to the menu as Escape does.
    press(PadUp);
    backend.SetControllerControl(7, PadStart, true);
    Frame();
    ASSERT_EQ(ModePlaying, gameMode);
    ASSERT_EQ(1, gameInProgress);
    theGame->HandleInput();
    EXPECT_EQ(ModePlaying, gameMode) << "held from the menu";
    backend.SetControllerControl(7, PadStart, false);
    theGame->HandleInput();
    backend.SetControllerControl(7, PadStart, true);
    theGame->HandleInput();
    ASSERT_EQ(ModeMenu, gameMode);
    backend.SetControllerControl(7, PadStart, false);
    Frame();

    // With a game in progress, Start resumes it wherever the highlight is, and so does B.
    theGame->level = 3;
    press(PadDown);
    press(PadDown);
    press(PadDown);
    ASSERT_EQ(3, LitChoice(backend));
    press(PadStart);
    EXPECT_EQ(ModePlaying, gameMode);
    EXPECT_EQ(3, theGame->level);
    EXPECT_FALSE(TakeQuitMessage());
    gameMode = ModeMenu;
    Frame();
    press(PadB);
    EXPECT_EQ(ModePlaying, gameMode);
    EXPECT_EQ(3, theGame->level);

    // The keyboard's Escape still quits from the title screen.
    gameMode = ModeMenu;
    gameInProgress = 0;
    Frame();
    backend.SetKey(DIK_ESCAPE, true);
    Frame();
    backend.SetKey(DIK_ESCAPE, false);
    EXPECT_TRUE(TakeQuitMessage());
}

TEST_F(MainMenuTest, PressingTheButtonHandsTheMenuBackToThePointer) {
    HeadlessBackend& backend = session.backend;
    LightStartByKeyWithPointerAt(100, 250);  // resting on Configuration
    ASSERT_EQ(1, LitChoice(backend));

    // The press lights what is under the pointer, and the release acts there.
    backend.PressButton(100, 250);
    Message message{};
    while (PeekMessage(&message)) WindowProc(message);
    Frame();
    EXPECT_EQ(2, LitChoice(backend));
    ClickThroughWindow(100, 250);
    EXPECT_EQ(1, menu->configPopupShown);
    EXPECT_EQ(ModeMenu, gameMode);
}

TEST_F(MainMenuTest, TheHighlightOutlastsAWindowModeSwitch) {
    HeadlessBackend& backend = session.backend;
    LightStartByKeyWithPointerAt(100, 350);  // resting on Quit
    ASSERT_EQ(1, LitChoice(backend));

    // Alt+Enter or a resize puts the picture elsewhere under the still pointer: no move.
    backend.WindowChangedUnderPointer(150, 250);
    Frame();
    EXPECT_EQ(1, LitChoice(backend));
    EXPECT_EQ(MainMenu::StartItem, menu->highlightedItem);
    backend.SetCursor(150, 260);
    Frame();
    EXPECT_EQ(2, LitChoice(backend)) << "a real move hands the menu back to the pointer";
}
