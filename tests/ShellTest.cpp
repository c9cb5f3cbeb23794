#include <gtest/gtest.h>

#include "app/Devices.h"
#include "app/Program.h"
#include "app/Shell.h"
#include "game/GameScreen.h"
#include "platform/System.h"
#include "platform/headless/HeadlessBackend.h"
#include "platform/input/KeyCodes.h"
#include "tests/support/HeadlessSession.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TestFiles.h"

namespace {

// The whole program on a headless platform, in an empty folder (no pictures, no music).
using ProgramRun = ProgramRunTest;

TEST_F(ProgramRun, OpensItsWindowCentredAndTakesOverTheDisplay) {
    backend.desktopWidth = 1280;
    backend.desktopHeight = 1024;
    backend.onFlip = [](HeadlessBackend& b) { b.CloseWindow(); };
    EXPECT_EQ(0, Run());
    EXPECT_EQ("The Flurber", backend.windowTitle);
    EXPECT_EQ(1280 / 2 - 200, backend.windowX);
    EXPECT_EQ(1024 / 2 - 150, backend.windowY);
    EXPECT_EQ(400, backend.windowWidth);
    EXPECT_EQ(300, backend.windowHeight);
    EXPECT_TRUE(backend.displayTakenOver);
    EXPECT_FALSE(backend.windowOpen) << "the window is closed at the end";
    EXPECT_EQ(nullptr, theGame);
    EXPECT_EQ(nullptr, theMenu);
    EXPECT_EQ(nullptr, displayDevice);
}

TEST_F(ProgramRun, ClosingTheWindowEndsTheProgramLikeQuit) {
    int framesAtClose = -1;
    backend.onFlip = [&](HeadlessBackend& b) {
        if (b.framesFlipped == 5) {
            b.CloseWindow();
            framesAtClose = b.framesFlipped;
        }
    };
    EXPECT_EQ(0, Run());
    EXPECT_EQ(5, framesAtClose);
    // The pass that takes the close message still runs its frame; the quit it posts ends the next.
    EXPECT_EQ(6, backend.framesFlipped);
}

TEST_F(ProgramRun, InactiveWindowRunsNoFramesAndWaitsForEvents) {
    int idleCalls = 0;
    backend.onFlip = [](HeadlessBackend& b) {
        if (b.framesFlipped == 3) {
            PlatformEvent event;
            event.type = PlatformEvent::Deactivated;
            b.PushEvent(event);
        }
    };
    backend.onIdle = [&](HeadlessBackend& b) {
        // Ten waits without frames, then the window comes back for two frames and closes.
        if (++idleCalls == 10) {
            EXPECT_EQ(3, b.framesFlipped);
            PlatformEvent event;
            event.type = PlatformEvent::Activated;
            b.PushEvent(event);
            b.onFlip = [](HeadlessBackend& again) {
                if (again.framesFlipped == 5) again.CloseWindow();
            };
        }
    };
    EXPECT_EQ(0, Run());
    EXPECT_EQ(10, idleCalls);
    EXPECT_EQ(6, backend.framesFlipped);
}

TEST_F(ProgramRun, ReleaseOfSRearmsTheStrokeOnAnyScreenAndOtherKeysDoNot) {
    int32_t armedAfterOtherKey = -1;
    int32_t armedAfterS = -1;
    backend.onFlip = [&](HeadlessBackend& b) {
        switch (b.framesFlipped) {
            case 1:
                theGame->strokeArmed = 0;
                b.ReleaseKey(DIK_A);
                break;
            case 2:
                armedAfterOtherKey = theGame->strokeArmed;
                b.ReleaseKey(DIK_S);
                break;
            case 3:
                armedAfterS = theGame->strokeArmed;
                b.CloseWindow();
                break;
        }
    };
    EXPECT_EQ(0, Run());
    EXPECT_EQ(0, armedAfterOtherKey);
    EXPECT_EQ(1, armedAfterS);
}

TEST_F(ProgramRun, NoDisplayEndsWithAnErrorCode) {
    backend.displayAvailable = false;
    EXPECT_NE(0, Run());
    EXPECT_EQ(0, backend.framesFlipped);
}

class ShellTest : public ::testing::Test {
protected:
    HeadlessSession session;
};

TEST_F(ShellTest, WaitMillisecondsIsExactAcrossTheTimerWrap) {
    session.backend.clockStart = 0xFFFFFF00u;
    const uint64_t start = session.backend.microseconds;
    WaitMilliseconds(1000);
    EXPECT_EQ(1000000u, session.backend.microseconds - start);
    WaitMilliseconds(0);
    EXPECT_EQ(1000000u, session.backend.microseconds - start) << "a zero wait only reads the timer";
}

TEST_F(ShellTest, CursorCounterFollowsTheDisplayCounterRules) {
    SetCursorHidden(1);
    EXPECT_FALSE(session.backend.cursorVisible);
    EXPECT_EQ(-1, ShowCursor(true) - 1) << "one hide from 0 leaves -1";
    ShowCursor(false);
    SetCursorHidden(1);  // already hidden: one step further
    EXPECT_EQ(-3, ShowCursor(false));
    SetCursorHidden(0);  // any negative count comes back to exactly 0
    EXPECT_EQ(1, ShowCursor(true));
    EXPECT_TRUE(session.backend.cursorVisible);
    SetCursorHidden(0);  // at 0 or more: raised by one
    EXPECT_EQ(3, ShowCursor(true));
}

TEST_F(ShellTest, MessagesCarryTheirValues) {
    session.backend.Click(799, 599);
    ::Message message{};
    ASSERT_TRUE(PeekMessage(&message));
    EXPECT_EQ(WM_LBUTTONUP, message.message);
    EXPECT_EQ(799, message.lParam & 0xFFFF);
    EXPECT_EQ(599, (message.lParam >> 16) & 0xFFFF);
    session.backend.ReleaseKey(DIK_S);
    ASSERT_TRUE(PeekMessage(&message));
    EXPECT_EQ(WM_KEYUP, message.message);
    EXPECT_EQ(0x53u, message.wParam);
    PostQuitMessage(0);
    ASSERT_TRUE(PeekMessage(&message));
    EXPECT_EQ(WM_QUIT, message.message);
    EXPECT_FALSE(PeekMessage(&message));
}

TEST_F(ShellTest, KeyboardReadsAllUpWithoutFocus) {
    session.backend.SetKey(DIK_LEFT, true);
    uint8_t keys[256];
    keyboardDevice->GetDeviceState(sizeof keys, keys);
    EXPECT_EQ(0x80, keys[DIK_LEFT]);
    session.backend.keyboardFocused = false;
    keyboardDevice->GetDeviceState(sizeof keys, keys);
    EXPECT_EQ(0, keys[DIK_LEFT]);
}

}  // namespace
