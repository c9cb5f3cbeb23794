#pragma once
#include <cstdint>

#include "media/Keyboard.h"
#include "platform/System.h"
#include "platform/display/Surface.h"

// The screen the program opens on and comes back to: a background, the Start, Configuration and
// Quit items lit under the cursor, a Credits button, and on demand the configuration picture or the
// full-screen credits page. It reaches the game only through the shell. Without a mouse, Up and
// Down move a highlight over the items and the Credits button, and Return, Space or S (a
// controller's A and Back) activates it as a click would. A controller's Start and B never quit.
class MainMenu {
public:
    MainMenu();
    ~MainMenu();
    MainMenu(const MainMenu&) = delete;
    MainMenu& operator=(const MainMenu&) = delete;

    // Loads the pictures and starts the menu music.
    void LoadAssets();
    // Draws and presents one menu frame.
    void RunFrame();
    // A release of the left button at (x, y) of the window.
    void HandleClick(int32_t x, int32_t y);
    // The left button went down: the pointer has the menu again, so that what is lit is what
    // the release acts on.
    void HandlePress();
    void UpdateHover(Point cursor);
    void PollKeyboard();
    // The first frame after the game handed the screen back: cursor and music back.
    void ReenterFromGame();
    void ShowCredits(int32_t shown);
    // Hands the screen to the game; a new game is started by the caller when wanted.
    void EnterGame();

    // The items the highlight goes through, in order.
    enum MenuItem { NoItem, StartItem, ConfigItem, QuitItem, CreditsItem };
    // Up and Down move the highlight, an activation key clicks the highlighted item.
    void PollNavigation(const KeyboardSnapshot& keyboard);
    void MoveHighlight(int step);
    // The highlighted item acts as if clicked; the key that did it is held back from the game.
    void ActivateHighlight(int keyCode);
    // A controller's Start: resumes a game in progress, else activates the highlight, or lights
    // Start when nothing is lit.
    void PressPadStart();
    // A controller's B: resumes a game in progress or closes the credits page; never quits.
    void PressPadB();

    int32_t configPopupShown;
    int32_t reentryPending;
    int32_t hoverStart;
    int32_t hoverConfig;
    int32_t hoverQuit;
    int32_t creditsShown;
    Surface* backgroundSurface;
    Surface* configPopupSurface;
    // The Credits button (unlit or lit), or the credits page while it is shown.
    Surface* creditsSurface;
    // The three items, 200 x 100 each, stacked: Start, Configuration, Quit.
    Surface* itemsSurface;
    Surface* itemsLitSurface;
    wchar_t musicPath[30];
    // Keyboard and controller choice: the highlighted item is lit as the pointer's hover lights
    // it, until the player moves the pointer or presses its button.
    MenuItem highlightedItem;
    uint32_t pointerMovesSeen;
    // Bit n: navigation key n was down in the previous frame; only a new press acts.
    unsigned navigationKeysHeld;
};
