#pragma once
#include <string>

#include "platform/Backend.h"

// What the command line asks for. No option changes a rule of the game; with none the game starts
// full screen as it always has.
enum class StartRequest { Play, ShowHelp, ShowVersion, Refuse };

struct Options {
    Options() : request(StartRequest::Play), windowed(false), renderer(RendererChoice::Auto) {}

    StartRequest request;
    // Start in a window, as Alt+Return gives; the last of --window and --fullscreen counts.
    bool windowed;
    // How the picture reaches the screen (--renderer=software|accelerated|auto).
    RendererChoice renderer;
    // Why the command line was refused (Refuse only), one line.
    std::string refusal;
};

Options ParseOptions(int argc, const char* const argv[]);

// The usage shown by --help and after a refused command line.
extern const char* const UsageText;
