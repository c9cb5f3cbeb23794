#include "Loudness.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Biquad {
    double b0, b1, b2, a1, a2;
    double z1 = 0.0, z2 = 0.0;
    double Run(double in) {
        const double out = b0 * in + z1;
        z1 = b1 * in - a1 * out + z2;
        z2 = b2 * in - a2 * out;
        return out;
    }
};

// The two stages of the K-weighting at any sample rate: a high shelf of +4 dB for the head, then
// the low cut of the revised low-frequency B curve.
Biquad HeadShelf(double rate) {
    const double k = std::tan(kPi * 1681.974450955533 / rate);
    const double q = 0.7071752369554196;
    const double vh = std::pow(10.0, 3.999843853973347 / 20.0);
    const double vb = std::pow(vh, 0.4996667741545416);
    const double a0 = 1.0 + k / q + k * k;
    return {(vh + vb * k / q + k * k) / a0, 2.0 * (k * k - vh) / a0, (vh - vb * k / q + k * k) / a0,
            2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
}

Biquad LowCut(double rate) {
    const double k = std::tan(kPi * 38.13547087602444 / rate);
    const double q = 0.5003270373238773;
    const double a0 = 1.0 + k / q + k * k;
    return {1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
}

}  // namespace

double LoudestMomentaryLoudness(const std::vector<double>& mono, int sampleRate) {
    const double rate = static_cast<double>(sampleRate);
    Biquad shelf = HeadShelf(rate);
    Biquad cut = LowCut(rate);
    const size_t step = static_cast<size_t>(sampleRate / 10);
    const size_t window = 4 * step;
    // Power of each 100 ms block, the sound followed by silence until its last window is full.
    std::vector<double> blocks;
    double sum = 0.0;
    size_t inBlock = 0;
    for (size_t i = 0; i < mono.size() + window; ++i) {
        const double weighted = cut.Run(shelf.Run(i < mono.size() ? mono[i] : 0.0));
        sum += weighted * weighted;
        if (++inBlock == step) {
            blocks.push_back(sum);
            sum = 0.0;
            inBlock = 0;
        }
    }
    double loudest = 0.0;
    for (size_t end = 1; end <= blocks.size(); ++end) {
        double power = 0.0;
        for (size_t b = end >= 4 ? end - 4 : 0; b < end; ++b) power += blocks[b];
        loudest = std::max(loudest, power / window);
    }
    // Both channels carry it: their powers add.
    return -0.691 + 10.0 * std::log10(std::max(2.0 * loudest, 1e-20));
}
