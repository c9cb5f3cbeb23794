#include "menu/MainMenu.h"

#include "app/Devices.h"
#include "app/Shell.h"
#include "media/Display.h"
#include "media/Keyboard.h"
#include "media/Music.h"
#include "platform/display/Rect.h"
#include "platform/input/KeyCodes.h"

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

// The keys that move and activate the highlight; a controller's D-pad or stick gives the arrows,
// its A gives S and its Back Return. Start and B have keys of their own.
const int NavigationKeys[] = {DIK_UP, DIK_DOWN, DIK_RETURN, DIK_SPACE, DIK_S, PadStartKey, PadBKey};
constexpr unsigned NavigationKeyCount = sizeof NavigationKeys / sizeof(int);
constexpr unsigned AllNavigationKeysHeld = (1u << NavigationKeyCount) - 1;
// Bits of the keys that act otherwise than activating.
constexpr unsigned UpBit = 1u << 0;
constexpr unsigned DownBit = 1u << 1;
constexpr unsigned PadStartBit = 1u << 5;
constexpr unsigned PadBBit = 1u << 6;

// A point inside each item, for both the hover and the click tests.
Point PlaceOf(MainMenu::MenuItem item) {
    switch (item) {
        case MainMenu::StartItem:
            return {100, 150};
        case MainMenu::ConfigItem:
            return {100, 250};
        case MainMenu::QuitItem:
            return {100, 350};
        case MainMenu::CreditsItem:
            return {750, 575};
        case MainMenu::NoItem:
            break;
    }
    return {-1, -1};
}

bool OnCreditsButton(int32_t x, int32_t y) {
    return x >= 700 && y >= 550;
}

// Blits from an empty slot draw nothing; true when the picture was drawn.
bool PlainBlt(const Rect* dest, const Surface* source, const Rect* sourceRect) {
    return backBuffer != nullptr && source != nullptr &&
           backBuffer->Blt(dest, source, sourceRect, 0) == BltOk;
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
      musicPath(),
      highlightedItem(NoItem),
      pointerMovesSeen(0),
      // A key already down when the menu comes up (the one that started the program, or came
      // from the game) does nothing until it is pressed again.
      navigationKeysHeld(AllNavigationKeysHeld) {}

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
    // The page or the background is stretched over the whole back buffer; only when it can't be
    // drawn (a missing picture) would anything of the cleared black show, so the clear is made
    // only then.
    if (!PlainBlt(nullptr, creditsShown != 0 ? creditsSurface : backgroundSurface, nullptr))
        ClearSurface(backBuffer);
    if (creditsShown == 0) {
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
    // Moving the mouse hands the menu back to the pointer. The picture moving under a still
    // pointer (a switch of window mode, a resize) is no move.
    const uint32_t pointerMoves = PointerMoveCount();
    if (pointerMoves != pointerMovesSeen) highlightedItem = NoItem;
    pointerMovesSeen = pointerMoves;
    UpdateHover(highlightedItem != NoItem ? PlaceOf(highlightedItem) : cursor);

    KeyboardSnapshot keyboard;
    ReadKeyboard(keyboard);
    if (!keyboard.IsDown(DIK_ESCAPE)) {
        PollNavigation(keyboard);
        return;
    }
    if (gameInProgress != 0 && creditsShown == 0) {
        EnterGame();
    } else if (creditsShown != 0) {
        ShowCredits(0);
    } else {
        PostQuitMessage(0);
    }
}

void MainMenu::PollNavigation(const KeyboardSnapshot& keyboard) {
    unsigned held = 0;
    for (unsigned n = 0; n < NavigationKeyCount; ++n) {
        if (keyboard.IsDown(NavigationKeys[n])) held |= 1u << n;
    }
    const unsigned pressed = held & ~navigationKeysHeld;
    navigationKeysHeld = held;
    if ((pressed & UpBit) != 0) MoveHighlight(-1);
    if ((pressed & DownBit) != 0) MoveHighlight(1);
    if ((pressed & PadBBit) != 0) {
        PressPadB();
        return;
    }
    if ((pressed & PadStartBit) != 0) {
        PressPadStart();
        return;
    }
    for (unsigned n = 0; n < NavigationKeyCount; ++n) {
        if ((pressed & (1u << n) & ~(UpBit | DownBit)) == 0) continue;
        // On the credits page any activation closes it, as any click does.
        if (creditsShown == 0 && highlightedItem == NoItem) return;
        ActivateHighlight(NavigationKeys[n]);
        return;
    }
}

void MainMenu::ActivateHighlight(int keyCode) {
    // The key must not go on acting on the screen it leads to: Return would set the room up
    // again, Space would win it, S would stroke, Start would come back here.
    HoldBackKeyUntilReleased(keyCode);
    const Point place = PlaceOf(highlightedItem);
    HandleClick(place.x, place.y);
}

void MainMenu::PressPadStart() {
    // The first button a controller player presses: it must never quit from here, as Escape
    // does. Quitting is Quit, then A (or Start).
    if (gameInProgress != 0 && creditsShown == 0) {
        HoldBackKeyUntilReleased(PadStartKey);
        EnterGame();
    } else if (creditsShown == 0 && highlightedItem == NoItem) {
        MoveHighlight(1);
    } else {
        ActivateHighlight(PadStartKey);
    }
}

void MainMenu::PressPadB() {
    if (creditsShown != 0) {
        ShowCredits(0);
    } else if (gameInProgress != 0) {
        EnterGame();
    }
}

void MainMenu::MoveHighlight(int step) {
    if (creditsShown != 0) return;
    if (highlightedItem == NoItem) {
        highlightedItem = StartItem;
    } else {
        const int count = CreditsItem;
        highlightedItem = static_cast<MenuItem>((highlightedItem - 1 + step + count) % count + 1);
    }
    UpdateHover(PlaceOf(highlightedItem));
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

void MainMenu::HandlePress() {
    highlightedItem = NoItem;
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
    highlightedItem = NoItem;
    navigationKeysHeld = AllNavigationKeysHeld;
    LoadMusicSegment(musicPath);
    PlayMusicSegment();
}
