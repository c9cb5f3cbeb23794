#pragma once
#include <cstdint>
#include <deque>
#include <vector>

// The controls a game controller has for this game.
enum PadControl {
    PadLeft,
    PadRight,
    PadA,
    PadStart,
    PadBack,
    PadUp,
    PadDown,
    PadB,
    PadControlCount
};

// Game controllers played like the keyboard: D-pad or left stick hold the arrow keys (up and down
// choose on the menu), A holds S, Back holds Return; Start and B hold keys of their own
// (PadStartKey, PadBKey): the room takes Start as Escape and has no use for B. The keys join the
// keyboard snapshot, and when the last controller lets a key go it leaves a key-up behind, as the
// keyboard does, so the release of A re-arms the stroke like the release of S. Any number of
// controllers, plugged in and out at will. No window system in here: the platform feeds it what the
// controllers report.
class Gamepad {
public:
    // Full stick travel is 32767; a stick within a quarter of it counts as centred.
    static constexpr int32_t StickFullTravel = 32767;
    static bool StickPushedLeft(int32_t value) { return value * 4 <= -StickFullTravel; }
    static bool StickPushedRight(int32_t value) { return value * 4 >= StickFullTravel; }
    // The vertical axis grows downwards.
    static bool StickPushedUp(int32_t value) { return StickPushedLeft(value); }
    static bool StickPushedDown(int32_t value) { return StickPushedRight(value); }
    // The snapshot key a control holds.
    static int KeyOf(PadControl control);

    Gamepad();

    void Connect(int32_t id);
    // The controller is gone: whatever it held goes up.
    void Disconnect(int32_t id);
    // A D-pad direction or a button of a connected controller.
    void SetControl(int32_t id, PadControl control, bool down);
    // The left stick's horizontal axis, -32768 (left) .. 32767 (right).
    void SetStickX(int32_t id, int32_t value);
    // Its vertical axis, -32768 (up) .. 32767 (down).
    void SetStickY(int32_t id, int32_t value);
    // Without focus the controllers hold nothing: losing it lets every key go, and what is pressed
    // meanwhile is not seen, so nothing can stay held behind the window's back.
    void SetFocused(bool focused);

    // Marks the held keys as down (0x80) in a 256-byte snapshot; other keys are left as they are.
    void AddKeys(uint8_t keys[256]) const;
    // The next key that was let go, in order; false when there is none.
    bool TakeKeyUp(int& keyCode);

    struct Controller {
        int32_t id;
        bool controls[PadControlCount];
        int32_t stickX;
        int32_t stickY;
    };
    std::vector<Controller> controllers;
    std::deque<int> keyUps;
    bool focused;

private:
    // Bit n set: the key of control n is held by some controller.
    unsigned HeldKeys() const;
    Controller* Find(int32_t id);
    // Queues key-ups for the keys held before a change and not after it.
    void ReleaseDropped(unsigned heldBefore);
    void SetStick(int32_t id, int32_t Controller::*axis, int32_t value);
};
