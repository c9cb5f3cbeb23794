#pragma once

#include <string>

// General MIDI names as our scores write them: programs in snake case ("acoustic_bass",
// "steel_drums"), percussion keys of channel 10 in short words ("kick", "snare", "hat").

// Program number 0-127, or -1 when the name is unknown.
int FindProgram(const std::string& name);

// Percussion key 35-81, or -1 when the name is unknown.
int FindDrum(const std::string& name);
