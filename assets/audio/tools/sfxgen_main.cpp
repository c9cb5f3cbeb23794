// flurber_sfxgen RECIPE OUT.wav: synthesises one sound effect from its recipe.
#include <cstdio>
#include <string>

#include "SoundRecipe.h"
#include "SoundSynth.h"
#include "TextScan.h"
#include "WaveFile.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s RECIPE OUT.wav\n", argv[0]);
        return 2;
    }
    std::string text;
    if (!ReadTextFile(argv[1], text)) {
        std::fprintf(stderr, "%s: cannot read\n", argv[1]);
        return 1;
    }
    SoundRecipe recipe;
    std::string error;
    if (!ParseSoundRecipe(text, recipe, error)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], error.c_str());
        return 1;
    }
    if (!WriteBinaryFile(argv[2], EncodeWaveFile(RenderSound(recipe)))) {
        std::fprintf(stderr, "%s: cannot write\n", argv[2]);
        return 1;
    }
    return 0;
}
