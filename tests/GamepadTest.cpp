#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "app/Program.h"
#include "app/Shell.h"
#include "game/GameScreen.h"
#include "media/Keyboard.h"
#include "platform/headless/HeadlessBackend.h"
#include "platform/input/Gamepad.h"
#include "platform/input/KeyCodes.h"
#include "platform/sdl/SdlBackend.h"
#include "tests/support/HeadlessSession.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TestFiles.h"

namespace {

// The keys a controller contributes, read into an otherwise empty snapshot.
std::vector<int> HeldKeys(const Gamepad& pad) {
    uint8_t keys[256] = {};
    pad.AddKeys(keys);
    std::vector<int> held;
    for (int code = 0; code < 256; ++code) {
        if (keys[code] == 0x80) held.push_back(code);
        EXPECT_TRUE(keys[code] == 0 || keys[code] == 0x80) << "key " << code;
    }
    return held;
}

std::vector<int> TakeKeyUps(Gamepad& pad) {
    std::vector<int> ups;
    int code = 0;
    while (pad.TakeKeyUp(code)) ups.push_back(code);
    return ups;
}

using Keys = std::vector<int>;

Keys Sorted(Keys keys) {
    std::sort(keys.begin(), keys.end());
    return keys;
}

TEST(Gamepad, EachControlHoldsItsKeyAndLetsItGoWithAKeyUp) {
    struct Case {
        PadControl control;
        int key;
    };
    const Case cases[] = {{PadLeft, DIK_LEFT},     {PadRight, DIK_RIGHT}, {PadA, DIK_S},
                          {PadStart, PadStartKey}, {PadBack, DIK_RETURN}, {PadB, PadBKey}};
    for (const Case& c : cases) {
        Gamepad pad;
        pad.Connect(3);
        pad.SetControl(3, c.control, true);
        EXPECT_EQ(Keys{c.key}, HeldKeys(pad)) << "control " << c.control;
        EXPECT_EQ(Keys{}, TakeKeyUps(pad)) << "a press sends no key-up";
        pad.SetControl(3, c.control, false);
        EXPECT_EQ(Keys{}, HeldKeys(pad));
        EXPECT_EQ(Keys{c.key}, TakeKeyUps(pad)) << "control " << c.control;
        pad.SetControl(3, c.control, false);
        EXPECT_EQ(Keys{}, TakeKeyUps(pad)) << "a second release sends nothing";
    }
}

TEST(Gamepad, StickCountsOnlyBeyondAQuarterOfItsTravel) {
    struct Case {
        int32_t value;
        Keys held;
    };
    // A quarter of 32767 is 8191.75.
    const Case cases[] = {{0, {}},
                          {-8191, {}},
                          {8191, {}},
                          {-8192, {DIK_LEFT}},
                          {8192, {DIK_RIGHT}},
                          {-32768, {DIK_LEFT}},
                          {32767, {DIK_RIGHT}}};
    Gamepad pad;
    pad.Connect(1);
    for (const Case& c : cases) {
        pad.SetStickX(1, c.value);
        EXPECT_EQ(c.held, HeldKeys(pad)) << "stick at " << c.value;
    }
    // From full right through the dead zone to the left: Right goes up once, Left is then held.
    TakeKeyUps(pad);
    pad.SetStickX(1, 30000);
    pad.SetStickX(1, 100);
    EXPECT_EQ(Keys{DIK_RIGHT}, TakeKeyUps(pad));
    pad.SetStickX(1, -30000);
    pad.SetStickX(1, -9000);
    EXPECT_EQ(Keys{}, TakeKeyUps(pad)) << "still beyond the dead zone";
    EXPECT_EQ(Keys{DIK_LEFT}, HeldKeys(pad));
}

TEST(Gamepad, StickAndDpadTogetherAndBothDirectionsReachTheSnapshot) {
    Gamepad pad;
    pad.Connect(1);
    pad.SetStickX(1, -20000);
    pad.SetControl(1, PadLeft, true);
    pad.SetControl(1, PadLeft, false);
    EXPECT_EQ(Keys{}, TakeKeyUps(pad)) << "the stick still holds Left";
    EXPECT_EQ(Keys{DIK_LEFT}, HeldKeys(pad));
    // Both directions at once are both in the snapshot; the game lets Left win.
    pad.SetControl(1, PadRight, true);
    EXPECT_EQ((Keys{DIK_LEFT, DIK_RIGHT}), HeldKeys(pad));
}

TEST(Gamepad, ControllersShareKeysAndTheLastOneToLetGoSendsTheKeyUp) {
    Gamepad pad;
    pad.Connect(1);
    pad.Connect(2);
    pad.SetControl(1, PadA, true);
    pad.SetControl(2, PadA, true);
    pad.SetControl(1, PadA, false);
    EXPECT_EQ(Keys{}, TakeKeyUps(pad));
    EXPECT_EQ(Keys{DIK_S}, HeldKeys(pad));
    pad.SetControl(2, PadA, false);
    EXPECT_EQ(Keys{DIK_S}, TakeKeyUps(pad));

    // A controller that is not connected (or was unplugged) changes nothing.
    pad.SetControl(9, PadA, true);
    pad.SetStickX(9, 32767);
    EXPECT_EQ(Keys{}, HeldKeys(pad));
}

TEST(Gamepad, UnpluggingLetsGoOfWhatTheControllerHeld) {
    Gamepad pad;
    pad.Connect(4);
    pad.Connect(5);
    pad.SetControl(4, PadA, true);
    pad.SetStickX(4, 32767);
    pad.SetControl(5, PadStart, true);
    pad.Disconnect(4);
    EXPECT_EQ((Keys{DIK_RIGHT, DIK_S}), TakeKeyUps(pad));
    EXPECT_EQ(Keys{PadStartKey}, HeldKeys(pad));
    // Plugged in again, it starts with nothing held.
    pad.Connect(4);
    EXPECT_EQ(Keys{PadStartKey}, HeldKeys(pad));
    pad.Connect(5);
    EXPECT_EQ(Keys{PadStartKey}, TakeKeyUps(pad)) << "a re-reported controller starts afresh";
    EXPECT_EQ(Keys{}, HeldKeys(pad));
}

TEST(Gamepad, NothingStaysHeldAcrossALossOfFocus) {
    Gamepad pad;
    pad.Connect(1);
    pad.SetControl(1, PadA, true);
    pad.SetStickX(1, -32768);
    pad.SetFocused(false);
    EXPECT_EQ((Keys{DIK_LEFT, DIK_S}), TakeKeyUps(pad)) << "losing focus lets go, as the keyboard";
    EXPECT_EQ(Keys{}, HeldKeys(pad));

    // Released and pressed behind the window's back: nothing is seen.
    pad.SetControl(1, PadA, false);
    pad.SetControl(1, PadBack, true);
    pad.SetStickX(1, 32767);
    EXPECT_EQ(Keys{}, TakeKeyUps(pad));
    EXPECT_EQ(Keys{}, HeldKeys(pad));

    pad.SetFocused(true);
    EXPECT_EQ(Keys{}, HeldKeys(pad)) << "nothing is stuck when focus comes back";
    pad.SetControl(1, PadBack, false);
    EXPECT_EQ(Keys{}, TakeKeyUps(pad));
    pad.SetControl(1, PadA, true);
    EXPECT_EQ(Keys{DIK_S}, HeldKeys(pad));
}

// The snapshot the game reads: keyboard and controllers together.
class ControllerSnapshot : public ::testing::Test {
protected:
    KeyboardSnapshot Read() {
        KeyboardSnapshot snapshot;
        std::memset(snapshot.keys, 0x55, sizeof snapshot.keys);
        ReadKeyboard(snapshot);
        return snapshot;
    }

    HeadlessSession session;
};

TEST_F(ControllerSnapshot, ControllerKeysJoinTheKeyboards) {
    HeadlessBackend& backend = session.backend;
    backend.ConnectController(0);
    backend.SetKey(DIK_RIGHT, true);
    backend.SetControllerStickX(0, -32768);
    backend.SetControllerControl(0, PadStart, true);
    KeyboardSnapshot snapshot = Read();
    EXPECT_TRUE(snapshot.IsDown(DIK_LEFT));
    EXPECT_TRUE(snapshot.IsDown(DIK_RIGHT)) << "the keyboard's Right stays";
    EXPECT_TRUE(snapshot.IsDown(PadStartKey));
    EXPECT_FALSE(snapshot.IsDown(DIK_ESCAPE)) << "Start is not Escape: on the menu Escape quits";
    EXPECT_FALSE(snapshot.IsDown(DIK_S));
    EXPECT_FALSE(snapshot.IsDown(DIK_RETURN));

    backend.SetKey(DIK_RIGHT, false);
    backend.SetControllerStickX(0, 0);
    backend.SetControllerControl(0, PadStart, false);
    backend.SetControllerControl(0, PadA, true);
    backend.SetControllerControl(0, PadBack, true);
    snapshot = Read();
    EXPECT_FALSE(snapshot.IsDown(DIK_LEFT));
    EXPECT_FALSE(snapshot.IsDown(DIK_RIGHT));
    EXPECT_FALSE(snapshot.IsDown(DIK_ESCAPE));
    EXPECT_TRUE(snapshot.IsDown(DIK_S));
    EXPECT_TRUE(snapshot.IsDown(DIK_RETURN));

    backend.keyboardFocused = false;
    snapshot = Read();
    EXPECT_FALSE(snapshot.IsDown(DIK_S)) << "no keys at all without focus";
}

// The whole program: the release of A reaches the game as the release of S does.
using ControllerProgramRun = ProgramRunTest;

TEST_F(ControllerProgramRun, ReleaseOfARearmsTheStrokeAndOtherButtonsDoNot) {
    int32_t armedAfterPress = -1;
    int32_t armedAfterStart = -1;
    int32_t armedAfterA = -1;
    backend.onFlip = [&](HeadlessBackend& b) {
        switch (b.framesFlipped) {
            case 1:
                b.ConnectController(7);
                theGame->strokeArmed = 0;
                b.SetControllerControl(7, PadA, true);
                b.SetControllerControl(7, PadBack, true);
                b.SetControllerControl(7, PadBack, false);
                b.SetControllerControl(7, PadLeft, true);
                b.SetControllerControl(7, PadLeft, false);
                break;
            case 4:
                armedAfterPress = theGame->strokeArmed;
                b.SetControllerControl(7, PadStart, true);
                b.SetControllerControl(7, PadStart, false);
                break;
            case 6:
                armedAfterStart = theGame->strokeArmed;
                b.SetControllerControl(7, PadA, false);
                break;
            case 8:
                armedAfterA = theGame->strokeArmed;
                b.CloseWindow();
                break;
        }
    };
    EXPECT_EQ(0, Run());
    EXPECT_EQ(0, armedAfterPress) << "pressing A and letting go of Back or Left does not re-arm";
    EXPECT_EQ(0, armedAfterStart);
    EXPECT_EQ(1, armedAfterA);
}

// The real platform's controller handling, with a virtual controller and SDL's dummy video driver.
class SdlController : public ::testing::Test {
protected:
    void SetUp() override {
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
        // The dummy driver gives no window the focus; without it SDL drops controller presses.
        SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
        ASSERT_TRUE(backend.CreateMainWindow("The Flurber", 0, 0, 400, 300));
        ASSERT_TRUE(backend.TakeOverDisplay(800, 600));
        SDL_VirtualJoystickDesc desc;
        SDL_zero(desc);
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        desc.naxes = SDL_CONTROLLER_AXIS_MAX;
        desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
        deviceIndex = SDL_JoystickAttachVirtualEx(&desc);
        ASSERT_GE(deviceIndex, 0) << SDL_GetError();
        joystick = SDL_JoystickOpen(deviceIndex);
        ASSERT_NE(nullptr, joystick);
        // A real controller tells where its sticks rest as soon as it is opened; this one only
        // once a value is set. SDL 3 keeps the first value it sees as the stick's rest, and sends
        // the stick back there when the controller is unplugged.
        SDL_JoystickSetVirtualAxis(joystick, SDL_CONTROLLER_AXIS_LEFTX, 0);
        SDL_JoystickUpdate();
    }

    void TearDown() override {
        if (joystick != nullptr) SDL_JoystickClose(joystick);
    }

    // Every key-up the backend hands on until SDL has nothing more.
    Keys KeyUps() {
        Keys ups;
        PlatformEvent event;
        while (backend.PollEvent(event)) {
            if (event.type == PlatformEvent::KeyUp) ups.push_back(event.key);
        }
        return ups;
    }

    SdlBackend backend;
    int deviceIndex = -1;
    SDL_Joystick* joystick = nullptr;
};

TEST_F(SdlController, ControllerButtonsAndStickBecomeKeysAndUnplugLetsGo) {
    EXPECT_EQ(Keys{}, KeyUps());
    ASSERT_EQ(1u, backend.input.controllers.opened.size()) << "the plugged-in controller is opened";
    EXPECT_EQ(1u, backend.input.controllers.gamepad.controllers.size());

    SDL_JoystickSetVirtualButton(joystick, SDL_CONTROLLER_BUTTON_A, 1);
    SDL_JoystickSetVirtualButton(joystick, SDL_CONTROLLER_BUTTON_START, 1);
    SDL_JoystickSetVirtualAxis(joystick, SDL_CONTROLLER_AXIS_LEFTX, -20000);
    // The right stick and other buttons play no part.
    SDL_JoystickSetVirtualAxis(joystick, SDL_CONTROLLER_AXIS_RIGHTX, 32767);
    SDL_JoystickSetVirtualButton(joystick, SDL_CONTROLLER_BUTTON_X, 1);
    EXPECT_EQ(Keys{}, KeyUps());
    EXPECT_EQ((Keys{DIK_S, DIK_LEFT, PadStartKey}), HeldKeys(backend.input.controllers.gamepad));

    SDL_JoystickSetVirtualButton(joystick, SDL_CONTROLLER_BUTTON_A, 0);
    SDL_JoystickSetVirtualButton(joystick, SDL_CONTROLLER_BUTTON_START, 0);
    SDL_JoystickSetVirtualAxis(joystick, SDL_CONTROLLER_AXIS_LEFTX, 0);
    EXPECT_EQ((Keys{DIK_S, DIK_LEFT, PadStartKey}), Sorted(KeyUps()));

    SDL_JoystickSetVirtualButton(joystick, SDL_CONTROLLER_BUTTON_DPAD_RIGHT, 1);
    SDL_JoystickSetVirtualButton(joystick, SDL_CONTROLLER_BUTTON_BACK, 1);
    SDL_JoystickSetVirtualButton(joystick, SDL_CONTROLLER_BUTTON_B, 1);
    EXPECT_EQ(Keys{}, KeyUps());
    EXPECT_EQ((Keys{DIK_RETURN, DIK_RIGHT, PadBKey}), HeldKeys(backend.input.controllers.gamepad));

    SDL_JoystickClose(joystick);
    joystick = nullptr;
    SDL_JoystickDetachVirtual(deviceIndex);
    EXPECT_EQ((Keys{DIK_RETURN, DIK_RIGHT, PadBKey}), Sorted(KeyUps()));
    EXPECT_EQ(Keys{}, HeldKeys(backend.input.controllers.gamepad)) << "unplugged: nothing held";
    EXPECT_TRUE(backend.input.controllers.opened.empty());
}

}  // namespace
