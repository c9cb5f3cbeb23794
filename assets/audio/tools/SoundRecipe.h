#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Contour.h"

// A sound written as readable parameters: a few layers mixed, then echoed, faded and levelled.
//
//   rate 44100          length 1.2 (s)       fade 0.004 0.05 (s in, s out)
//   loudness -16 (LUFS: its loudest momentary loudness as the game plays it, on both channels)
//   peak -1 (dBFS: the highest peak allowed; without loudness, the peak it is levelled to)
//   seed 7              echo 0.12 0.3 (delay s, feedback)
//   layer saw at 0.1 for 0.4 pitch c5>g5 vibrato 6 20 lowpass 3000>800 attack 0.01 release 0.1
//
// A layer's settings may go on over the following lines until the next keyword.

enum class Waveform { Sine, Square, Saw, Triangle, Noise, Voice };

struct Partial {
    double ratio = 1.0;
    double amplitude = 1.0;
};

struct SoundLayer {
    Waveform waveform = Waveform::Sine;
    double start = 0.0;   // s
    double length = 0.1;  // s
    Contour pitch{{440.0}};
    Contour level{{1.0}};  // multiplies the envelope
    Contour lowpass;       // Hz, none when unset
    Contour highpass;      // Hz, none when unset
    double resonance = 0.707;
    double gain = 1.0;
    double attack = 0.005;  // s, linear rise
    double decay = 0.0;     // s, exponential time constant; 0 holds
    double release = 0.02;  // s, linear fall at the layer's end
    double vibratoRate = 0.0;
    double vibratoCents = 0.0;
    double duty = 0.5;                         // square only
    std::vector<Partial> partials{Partial{}};  // sine only: additive partials
    Contour formant1, formant2, formant3;      // voice only, Hz
    double breath = 0.0;                       // voice only: breath noise mixed into the source
};

struct SoundRecipe {
    int sampleRate = 44100;
    double length = 1.0;
    double peakDb = -1.0;
    bool levelByLoudness = false;
    double loudness = -16.0;  // LUFS
    double fadeIn = 0.003;
    double fadeOut = 0.02;
    uint32_t seed = 1;
    double echoDelay = 0.0;
    double echoFeedback = 0.0;
    std::vector<SoundLayer> layers;
};

bool ParseSoundRecipe(const std::string& text, SoundRecipe& recipe, std::string& error);
