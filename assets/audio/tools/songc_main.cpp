// flurber_songc SCORE OUT.mid: compiles a song score to a standard MIDI file.
#include <cstdio>
#include <string>

#include "MidiFile.h"
#include "Song.h"
#include "SongParser.h"
#include "TextScan.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SCORE OUT.mid\n", argv[0]);
        return 2;
    }
    std::string text;
    if (!ReadTextFile(argv[1], text)) {
        std::fprintf(stderr, "%s: cannot read\n", argv[1]);
        return 1;
    }
    Song song;
    std::string error;
    if (!ParseSong(text, song, error)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], error.c_str());
        return 1;
    }
    if (!WriteBinaryFile(argv[2], EncodeMidiFile(song))) {
        std::fprintf(stderr, "%s: cannot write\n", argv[2]);
        return 1;
    }
    return 0;
}
