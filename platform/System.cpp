#include "platform/System.h"

#include <deque>

#include "platform/Backend.h"
#include "platform/input/KeyCodes.h"

Backend* activeBackend = nullptr;
void (*displayLostHandler)() = nullptr;

namespace {

std::deque<Message> postedMessages;
int cursorCounter = 0;

bool Translate(const PlatformEvent& event, Message* message) {
    switch (event.type) {
        case PlatformEvent::WindowClosed:
            *message = {WM_CLOSE, 0, 0};
            return true;
        case PlatformEvent::Activated:
            *message = {WM_ACTIVATE, WA_ACTIVE, 0};
            return true;
        case PlatformEvent::Deactivated:
            *message = {WM_ACTIVATE, WA_INACTIVE, 0};
            return true;
        case PlatformEvent::KeyUp:
            *message = {WM_KEYUP, static_cast<uintptr_t>(VirtualKeyFromKeyCode(event.key)), 0};
            return true;
        case PlatformEvent::MouseButtonDown:
            *message = {WM_LBUTTONDOWN, 0, 0};
            return true;
        case PlatformEvent::MouseButtonUp:
            *message = {WM_LBUTTONUP, 0,
                        static_cast<intptr_t>((static_cast<uint32_t>(event.y & 0xFFFF) << 16) |
                                              static_cast<uint32_t>(event.x & 0xFFFF))};
            return true;
        case PlatformEvent::DisplayReset:
            if (displayLostHandler != nullptr) displayLostHandler();
            return false;
        case PlatformEvent::None:
            return false;
    }
    return false;
}

}  // namespace

bool PeekMessage(Message* message) {
    if (!postedMessages.empty()) {
        *message = postedMessages.front();
        postedMessages.pop_front();
        return true;
    }
    if (activeBackend == nullptr) return false;
    PlatformEvent event;
    while (activeBackend->PollEvent(event)) {
        if (Translate(event, message)) return true;
    }
    return false;
}

void WaitMessage() {
    if (!postedMessages.empty() || activeBackend == nullptr) return;
    PlatformEvent event;
    if (activeBackend->WaitEvent(event)) {
        Message message;
        if (Translate(event, &message)) postedMessages.push_back(message);
    }
}

void PostQuitMessage(int exitCode) {
    postedMessages.push_back({WM_QUIT, static_cast<uintptr_t>(exitCode), 0});
}

uint32_t timeGetTime() {
    return activeBackend != nullptr ? activeBackend->Milliseconds() : 0;
}

void YieldTimeSlice() {
    if (activeBackend != nullptr) activeBackend->SleepSlice();
}

void BeginTimedPause() {
    if (activeBackend != nullptr) activeBackend->PauseBegins();
}

void EndTimedPause() {
    if (activeBackend != nullptr) activeBackend->PauseEnds();
}

int ShowCursor(bool show) {
    const bool wasVisible = cursorCounter >= 0;
    cursorCounter += show ? 1 : -1;
    const bool visible = cursorCounter >= 0;
    if (visible != wasVisible && activeBackend != nullptr) activeBackend->SetCursorVisible(visible);
    return cursorCounter;
}

bool GetCursorPos(Point* point) {
    int x = 0;
    int y = 0;
    if (activeBackend != nullptr) activeBackend->GetCursorPosition(x, y);
    point->x = x;
    point->y = y;
    return activeBackend != nullptr;
}

uint32_t PointerMoveCount() {
    return activeBackend != nullptr ? activeBackend->PointerMoves() : 0;
}

void ShowInformationBox(const char* caption, const char* text) {
    if (activeBackend != nullptr) activeBackend->ShowMessageBox(caption, text);
}

void ResetSystemState() {
    postedMessages.clear();
    cursorCounter = 0;
}
