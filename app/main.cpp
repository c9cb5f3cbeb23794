#include <cstdio>

#include "app/DataFolder.h"
#include "app/Options.h"
#include "app/Program.h"
#include "platform/Backend.h"
#include "platform/sdl/SdlBackend.h"

int main(int argc, char* argv[]) {
    const Options options = ParseOptions(argc, argv);
    switch (options.request) {
        case StartRequest::Refuse:
            std::fprintf(stderr, "flurber: %s\n%s", options.refusal.c_str(), UsageText);
            return 2;
        case StartRequest::ShowHelp:
            std::fputs(UsageText, stdout);
            return 0;
        case StartRequest::ShowVersion:
            std::printf("The Flurber %s\n", FLURBER_VERSION);
            return 0;
        case StartRequest::Play:
            break;
    }
    // Before anything is loaded: the window's icon already comes from the data folder.
    EnterDataFolder();
    SdlBackend backend;
    backend.video.startWindowed = options.windowed;
    backend.video.rendererChoice = options.renderer;
    activeBackend = &backend;
    const int exitCode = RunProgram();
    activeBackend = nullptr;
    return exitCode;
}
