#include "menu/MainMenu.h"

#include "app/Devices.h"
#include "app/Shell.h"
#include "media/Display.h"
#include "media/Keyboard.h"
#include "media/Music.h"
#include "platform/KeyCodes.h"
#include "platform/Rect.h"

namespace {

constexpr double MenuTempo = 95.0;
constexpr uint32_t SwitchPause = 200;
const char* const MenuMusic = "Music\\groove.mid";
const char* const CreditsButton = "Graphics\\Credits.bmp";
const char* const CreditsButtonLit = "Graphics\\CreditsLit.bmp";
const char* const CreditsPage = "Graphics\\CreditsDescription.bmp";

// Screen places of the three items and their cuts from the item pictures.
const Rect StartDest{0, 100, 200, 200};
const Rect ConfigDest{0, 200, 200, 300};
const Rect QuitDest{0, 300, 200, 400};
const Rect StartSource{0, 0, 200, 100};
const Rect ConfigSource{0, 100, 200, 200};
const Rect QuitSource{0, 200, 200, 300};
const Rect ConfigPopupDest{300, 100, 500, 400};
const Rect CreditsButtonDest{700, 550, 800, 600};

bool OnCreditsButton(int32_t x, int32_t y) {
    return x >= 700 && y >= 550;
}

// Blits from an empty slot draw nothing.
void PlainBlt(const Rect* dest, const Surface* source, const Rect* sourceRect) {
    if (backBuffer != nullptr && source != nullptr) backBuffer->Blt(dest, source, sourceRect, 0);
}

void KeyedBlt(const Rect* dest, const Surface* source, const Rect* sourceRect) {
    if (backBuffer != nullptr && source != nullptr)
        backBuffer->Blt(dest, source, sourceRect, BltKeySrc);
}

}  // namespace

MainMenu::MainMenu()
    : configPopupShown(0),
      reentryPending(0),
      hoverStart(0),
      hoverConfig(0),
      hoverQuit(0),
      creditsShown(0),
      backgroundSurface(nullptr),
      configPopupSurface(nullptr),
      creditsSurface(nullptr),
      itemsSurface(nullptr),
      itemsLitSurface(nullptr),
      musicPath() {}

MainMenu::~MainMenu() {
    // The music segment is shared with the game and released with the devices.
    ReleaseSurface(itemsLitSurface);
    ReleaseSurface(itemsSurface);
    ReleaseSurface(creditsSurface);
    ReleaseSurface(configPopupSurface);
    ReleaseSurface(backgroundSurface);
}

void MainMenu::LoadAssets() {
    LoadBitmapSurface("Graphics\\MenuBG.bmp", backgroundSurface);
    LoadBitmapSurface("Graphics\\Menus.bmp", itemsSurface);
    LoadBitmapSurface("Graphics\\MenusLit.bmp", itemsLitSurface);
    LoadBitmapSurface(CreditsButton, creditsSurface);
    LoadBitmapSurface("Graphics\\ConfigurationPopup2.bmp", configPopupSurface);
    ConvertToWide(MenuMusic, musicPath, static_cast<int>(sizeof musicPath / sizeof musicPath[0]));
    LoadMusicSegment(musicPath);
    SetMusicTempo(MenuTempo);
    PlayMusicSegment();
}

void MainMenu::RunFrame() {
    if (reentryPending != 0) ReenterFromGame();
    // The game changes the tempo of the shared performance; set ours back every frame.
    SetMusicTempo(MenuTempo);
    PollKeyboard();
    ClearSurface(backBuffer);
    if (creditsShown != 0) {
        PlainBlt(nullptr, creditsSurface, nullptr);
    } else {
        PlainBlt(nullptr, backgroundSurface, nullptr);
        KeyedBlt(&StartDest, hoverStart != 0 ? itemsLitSurface : itemsSurface, &StartSource);
        KeyedBlt(&ConfigDest, hoverConfig != 0 ? itemsLitSurface : itemsSurface, &ConfigSource);
        KeyedBlt(&QuitDest, hoverQuit != 0 ? itemsLitSurface : itemsSurface, &QuitSource);
        if (configPopupShown != 0) PlainBlt(&ConfigPopupDest, configPopupSurface, nullptr);
        KeyedBlt(&CreditsButtonDest, creditsSurface, nullptr);
    }
    // Drawn to the end even when this frame switched to the game or asked to quit.
    PresentFrame();
}

void MainMenu::PollKeyboard() {
    Point cursor{0, 0};
    GetCursorPos(&cursor);
    UpdateHover(cursor);

    KeyboardSnapshot keyboard;
    ReadKeyboard(keyboard);
    if (!keyboard.IsDown(DIK_ESCAPE)) return;
    if (gameInProgress != 0 && creditsShown == 0) {
        EnterGame();
    } else if (creditsShown != 0) {
        ShowCredits(0);
    } else {
        PostQuitMessage(0);
    }
}

void MainMenu::UpdateHover(Point cursor) {
    hoverStart = 0;
    hoverConfig = 0;
    hoverQuit = 0;
    if (creditsShown != 0) return;
    // The button is read from its file again on every frame, lit or not.
    if (OnCreditsButton(cursor.x, cursor.y)) {
        LoadBitmapSurface(CreditsButtonLit, creditsSurface);
        return;
    }
    LoadBitmapSurface(CreditsButton, creditsSurface);
    if (cursor.x < 0 || cursor.x > 200) return;
    if (cursor.y >= 100 && cursor.y < 200) {
        hoverStart = 1;
    } else if (cursor.y >= 200 && cursor.y < 300) {
        hoverConfig = 1;
    } else if (cursor.y >= 300 && cursor.y < 400) {
        hoverQuit = 1;
    }
}

void MainMenu::HandleClick(int32_t x, int32_t y) {
    const int32_t creditsWereShown = creditsShown;
    // The click bounds differ from the hover bounds: Quit answers from y 290 down to y 400.
    if (x >= 0 && x <= 200 && y >= 100 && y <= 400 && creditsWereShown == 0) {
        if (y < 200) {
            EnterGame();
            StartNewGame();
        } else if (y < 290) {
            configPopupShown = configPopupShown != 0 ? 0 : 1;
        } else {
            PostQuitMessage(0);
        }
    }
    if (OnCreditsButton(x, y) && creditsWereShown == 0) {
        ShowCredits(1);
    } else if (creditsWereShown != 0) {
        // Any click closes the credits page and does nothing else.
        ShowCredits(0);
    }
}

void MainMenu::EnterGame() {
    reentryPending = 1;
    gameMode = ModePlaying;
    WaitMilliseconds(SwitchPause);
    // The countdown must not count the time spent on the menu.
    SetGameLastTick(timeGetTime());
}

void MainMenu::ShowCredits(int32_t shown) {
    creditsShown = shown;
    if (shown != 0) {
        LoadBitmapSurface(CreditsPage, creditsSurface);
    } else {
        LoadBitmapSurface(CreditsButton, creditsSurface);
        WaitMilliseconds(SwitchPause);
    }
}

void MainMenu::ReenterFromGame() {
    SetCursorHidden(0);
    reentryPending = 0;
    LoadMusicSegment(musicPath);
    PlayMusicSegment();
}
