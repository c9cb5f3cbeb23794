#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Song.h"

// Format 1 standard MIDI file at 480 ticks per quarter: a conductor track (title, time
// signature, tempo) and one track per song track. Every track's end-of-track sits exactly on the
// song's last bar line, so a player that loops the file loops whole bars.
std::vector<unsigned char> EncodeMidiFile(const Song& song);

// What a MIDI file holds, as far as the checks of our songs need to know.
struct MidiSummary {
    int format = -1;
    int trackCount = 0;
    int division = 0;
    std::vector<uint32_t> tempos;  // microseconds per quarter, in file order
    int beatsPerBar = 4;
    int beatUnit = 4;
    uint32_t lengthTicks = 0;             // the latest end-of-track
    std::vector<uint32_t> trackEndTicks;  // end-of-track of each track
    uint32_t lastNoteOffTick = 0;
    uint32_t lastNoteOnTick = 0;
    int notesLeftOn = 0;     // notes still sounding at their track's end
    int noteCount[16] = {};  // note-ons by channel
    int tracksWithNotes = 0;
    int maxVelocity = 0;
};

bool SummariseMidiFile(const std::vector<unsigned char>& bytes, MidiSummary& summary,
                       std::string& error);
