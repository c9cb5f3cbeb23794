// flurber_sfxgen RECIPE OUT.wav: synthesises one sound effect from its recipe.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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
    const WaveFile wave = RenderSound(recipe);
    int peak = 0;
    for (int16_t sample : wave.samples) peak = std::max(peak, std::abs(static_cast<int>(sample)));
    const double peakDb = 20.0 * std::log10(std::max(peak, 1) / 32767.0);
    if (peakDb > recipe.peakDb + 0.01) {
        std::fprintf(stderr, "%s: at its loudness its peak is %.2f dBFS, above the %.2f allowed\n",
                     argv[1], peakDb, recipe.peakDb);
        return 1;
    }
    if (!WriteBinaryFile(argv[2], EncodeWaveFile(wave))) {
        std::fprintf(stderr, "%s: cannot write\n", argv[2]);
        return 1;
    }
    return 0;
}
