// The browser's entry point. The page has put the asset pack into /flurber and starts the program
// once the player has clicked or pressed a key; when it ends, the page says so.
#include <emscripten.h>
#include <unistd.h>

#include "app/Program.h"
#include "app/Shell.h"
#include "platform/Backend.h"
#include "platform/web/WebBackend.h"
#include "platform/web/WebPage.h"

namespace {
bool running = false;
}  // namespace

// What the page shows, for the page's own tests: the menu (1) or a room (2); 0 while the program
// does not run.
extern "C" EMSCRIPTEN_KEEPALIVE int flurber_game_mode() {
    return running ? gameMode : 0;
}

int main() {
    chdir("/flurber");
    int exitCode = 1;
    {
        WebBackend backend;
        activeBackend = &backend;
        running = true;
        exitCode = RunProgram();
        running = false;
        activeBackend = nullptr;
    }
    WebPage::ProgramEnded(exitCode);
    return exitCode;
}
