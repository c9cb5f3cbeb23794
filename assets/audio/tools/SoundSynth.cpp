#include "SoundSynth.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "Loudness.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Small, fixed generator so that noise is the same on every machine.
struct NoiseSource {
    uint32_t state;
    explicit NoiseSource(uint32_t seed) : state(seed ? seed : 0x9E3779B9u) {}
    double Next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<double>(state) / 2147483648.0 - 1.0;
    }
};

// Zero-delay-feedback state-variable filter: stays stable while its cutoff moves.
struct StateVariableFilter {
    double ic1 = 0.0;
    double ic2 = 0.0;
    double low = 0.0;
    double band = 0.0;
    double high = 0.0;

    void Run(double input, double cutoff, double q, double sampleRate) {
        cutoff = std::min(std::max(cutoff, 10.0), sampleRate * 0.45);
        const double g = std::tan(kPi * cutoff / sampleRate);
        const double k = 1.0 / q;
        const double a1 = 1.0 / (1.0 + g * (g + k));
        const double a2 = g * a1;
        const double a3 = g * a2;
        const double v3 = input - ic2;
        const double v1 = a1 * ic1 + a2 * v3;
        const double v2 = ic2 + a2 * ic1 + a3 * v3;
        ic1 = 2.0 * v1 - ic1;
        ic2 = 2.0 * v2 - ic2;
        low = v2;
        band = v1 * k;  // unity gain at the centre
        high = input - k * v1 - v2;
    }
};

// Softens the jump of a saw or pulse edge, which keeps high notes free of aliasing.
double PolyBlep(double phase, double step) {
    if (phase < step) {
        const double t = phase / step;
        return t + t - t * t - 1.0;
    }
    if (phase > 1.0 - step) {
        const double t = (phase - 1.0) / step;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

double Wrap(double phase) {
    return phase - std::floor(phase);
}

double Envelope(const SoundLayer& layer, double t) {
    double value = 1.0;
    if (layer.attack > 0.0 && t < layer.attack) value *= t / layer.attack;
    if (layer.decay > 0.0) value *= std::exp(-t / layer.decay);
    const double left = layer.length - t;
    if (layer.release > 0.0 && left < layer.release) value *= std::max(0.0, left / layer.release);
    return value;
}

void RenderLayer(const SoundLayer& layer, int sampleRate, uint32_t seed, std::vector<double>& mix) {
    const double rate = static_cast<double>(sampleRate);
    const size_t first = static_cast<size_t>(std::lround(layer.start * rate));
    const size_t count = static_cast<size_t>(std::lround(layer.length * rate));
    NoiseSource noise(seed);
    StateVariableFilter lowpass, highpass, formant1, formant2, formant3;
    std::vector<double> phases(layer.partials.size(), 0.0);
    double phase = 0.0;
    for (size_t i = 0; i < count && first + i < mix.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        const double position = count > 1 ? static_cast<double>(i) / (count - 1) : 0.0;
        double hz = layer.pitch.Exponential(position);
        if (layer.vibratoRate > 0.0) {
            const double cents = layer.vibratoCents * std::sin(2.0 * kPi * layer.vibratoRate * t);
            hz *= std::pow(2.0, cents / 1200.0);
        }
        const double step = std::min(hz / rate, 0.49);
        double value = 0.0;
        switch (layer.waveform) {
            case Waveform::Sine:
                for (size_t p = 0; p < layer.partials.size(); ++p) {
                    const double partialStep = step * layer.partials[p].ratio;
                    if (partialStep < 0.5) {
                        value += layer.partials[p].amplitude * std::sin(2.0 * kPi * phases[p]);
                    }
                    phases[p] = Wrap(phases[p] + partialStep);
                }
                break;
            case Waveform::Square: {
                value = phase < layer.duty ? 1.0 : -1.0;
                value += PolyBlep(phase, step);
                value -= PolyBlep(Wrap(phase + 1.0 - layer.duty), step);
                break;
            }
            case Waveform::Saw:
                value = 2.0 * phase - 1.0 - PolyBlep(phase, step);
                break;
            case Waveform::Triangle:
                value = 1.0 - 4.0 * std::fabs(phase - 0.5);
                break;
            case Waveform::Noise:
                value = noise.Next();
                break;
            case Waveform::Voice: {
                // A buzzing source shaped by three formants, like a (very small) vocal tract.
                const double source =
                    2.0 * phase - 1.0 - PolyBlep(phase, step) + layer.breath * noise.Next();
                formant1.Run(source, layer.formant1.Linear(position), 6.0, rate);
                formant2.Run(source, layer.formant2.Linear(position), 10.0, rate);
                formant3.Run(source, layer.formant3.Linear(position), 14.0, rate);
                value = formant1.band + 0.5 * formant2.band + 0.3 * formant3.band;
                break;
            }
        }
        phase = Wrap(phase + step);
        if (layer.highpass.IsSet()) {
            highpass.Run(value, layer.highpass.Exponential(position), layer.resonance, rate);
            value = highpass.high;
        }
        if (layer.lowpass.IsSet()) {
            lowpass.Run(value, layer.lowpass.Exponential(position), layer.resonance, rate);
            value = lowpass.low;
        }
        mix[first + i] += value * layer.gain * Envelope(layer, t) * layer.level.Linear(position);
    }
}

}  // namespace

std::vector<double> MixLayers(const SoundRecipe& recipe) {
    const size_t total = static_cast<size_t>(std::lround(recipe.length * recipe.sampleRate));
    std::vector<double> mix(total, 0.0);
    for (size_t i = 0; i < recipe.layers.size(); ++i) {
        // Each layer its own noise, so adding a layer leaves the others' noise as it was.
        RenderLayer(recipe.layers[i], recipe.sampleRate,
                    recipe.seed * 2654435761u + static_cast<uint32_t>(i), mix);
    }
    return mix;
}

WaveFile RenderSound(const SoundRecipe& recipe) {
    std::vector<double> mix = MixLayers(recipe);
    const double rate = static_cast<double>(recipe.sampleRate);

    if (recipe.echoDelay > 0.0 && recipe.echoFeedback > 0.0) {
        const size_t delay = static_cast<size_t>(std::lround(recipe.echoDelay * rate));
        for (size_t i = delay; i < mix.size(); ++i) mix[i] += recipe.echoFeedback * mix[i - delay];
    }

    // A gentle DC blocker (about 4 Hz) keeps the sound centred on zero.
    double previousIn = 0.0;
    double previousOut = 0.0;
    for (double& sample : mix) {
        const double out = sample - previousIn + 0.9994 * previousOut;
        previousIn = sample;
        previousOut = out;
        sample = out;
    }

    // Raised-cosine fades: the first and last samples are exactly zero, so no click.
    const size_t fadeIn = std::max<size_t>(2, static_cast<size_t>(recipe.fadeIn * rate));
    const size_t fadeOut = std::max<size_t>(2, static_cast<size_t>(recipe.fadeOut * rate));
    double peak = 0.0;
    for (size_t i = 0; i < mix.size(); ++i) {
        if (i < fadeIn) mix[i] *= 0.5 - 0.5 * std::cos(kPi * i / fadeIn);
        const size_t fromEnd = mix.size() - 1 - i;
        if (fromEnd < fadeOut) mix[i] *= 0.5 - 0.5 * std::cos(kPi * fromEnd / fadeOut);
        peak = std::max(peak, std::fabs(mix[i]));
    }

    // Levelled by how loud it is heard, so that every sound sits alike over the music; or, without
    // a loudness, by its peak.
    double scale = 0.0;
    if (recipe.levelByLoudness) {
        const double loudness = LoudestMomentaryLoudness(mix, recipe.sampleRate);
        scale = std::pow(10.0, (recipe.loudness - loudness) / 20.0);
    } else if (peak > 0.0) {
        scale = std::pow(10.0, recipe.peakDb / 20.0) / peak;
    }

    WaveFile wave;
    wave.sampleRate = static_cast<uint32_t>(recipe.sampleRate);
    wave.samples.resize(mix.size());
    for (size_t i = 0; i < mix.size(); ++i) {
        const double value = std::max(-1.0, std::min(1.0, mix[i] * scale));
        wave.samples[i] = static_cast<int16_t>(std::lround(value * 32767.0));
    }
    return wave;
}
