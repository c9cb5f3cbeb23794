#include "menu/MainMenu.h"

#include "app/Devices.h"
#include "media/Display.h"

void MainMenu::RunFrame() {
    ClearSurface(backBuffer);
    PresentFrame();
}

void MainMenu::HandleClick(int32_t x, int32_t y) {
    (void)x;
    (void)y;
}
