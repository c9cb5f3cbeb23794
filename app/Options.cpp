#include "app/Options.h"

#include <cstring>

const char* const UsageText =
    "Usage: flurber [--window | --fullscreen] [--renderer=software|accelerated|auto]\n"
    "       flurber --help | --version\n"
    "\n"
    "Clean every room of the house before the countdown runs out.\n"
    "\n"
    "  --fullscreen  start full screen (the default)\n"
    "  --window      start in a window (Alt+Enter switches at any time)\n"
    "  --renderer=software\n"
    "                draw the picture with the processor into the window\n"
    "  --renderer=accelerated\n"
    "                draw it with OpenGL through SDL, whatever the driver (Mesa's llvmpipe too)\n"
    "  --renderer=auto\n"
    "                OpenGL where a graphics processor draws, else the processor (the default)\n"
    "  --help        show this help and end\n"
    "  --version     show the version and end\n"
    "\n"
    "The game data is the first folder holding Graphics/ of: $FLURBER_DATA, the program's own\n"
    "folder, ../share/games/flurber beside the program, the current directory.\n";

Options ParseOptions(int argc, const char* const argv[]) {
    Options options;
    bool help = false;
    bool version = false;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (std::strcmp(argument, "--help") == 0) {
            help = true;
        } else if (std::strcmp(argument, "--version") == 0) {
            version = true;
        } else if (std::strcmp(argument, "--window") == 0) {
            options.windowed = true;
        } else if (std::strcmp(argument, "--fullscreen") == 0) {
            options.windowed = false;
        } else if (std::strcmp(argument, "--renderer=software") == 0) {
            options.renderer = RendererChoice::Software;
        } else if (std::strcmp(argument, "--renderer=accelerated") == 0) {
            options.renderer = RendererChoice::Accelerated;
        } else if (std::strcmp(argument, "--renderer=auto") == 0) {
            options.renderer = RendererChoice::Auto;
        } else {
            options.request = StartRequest::Refuse;
            options.refusal = argument[0] == '-' ? std::string("unknown option: ") + argument
                                                 : std::string("unexpected argument: ") + argument;
            return options;
        }
    }
    if (help) {
        options.request = StartRequest::ShowHelp;
    } else if (version) {
        options.request = StartRequest::ShowVersion;
    }
    return options;
}
