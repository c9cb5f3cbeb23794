#pragma once
#include <string>

// The game names its files Windows-style ("Graphics\MenuBG.bmp"); this turns such a name into one
// for this system, still relative to the working directory.
std::string NativePath(const char* path);
