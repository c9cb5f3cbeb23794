#include "game/GameScreen.h"

#include "app/Devices.h"
#include "media/Display.h"

void GameScreen::RunFrame() {
    ClearSurface(backBuffer);
    PresentFrame();
}
