#pragma once
#include <cstdint>
#include <vector>

class AudioMixer;

// What a platform does while its audio device is lost (the sound server restarted, the headset
// unplugged): it tries the default device again about once a second, and meanwhile renders the
// mixer into nothing at the pace of the clock, so that when a device opens again the music goes
// on where it would be, and a sound that ended meanwhile does not play late.
class AudioReopener {
public:
    static constexpr uint32_t RetryMs = 1000;
    // A device whose callback has not come for this long counts as lost.
    static constexpr uint32_t SilentDeviceMs = 1000;

    AudioReopener();

    // The device is gone as of now; the first try is due at once.
    void Lost(uint32_t now);
    // No device opened at start-up, now: the first try is due a second later.
    void NotOpened(uint32_t now);
    // True when a new try to open is due; it then counts as made.
    bool TryDue(uint32_t now);
    void Reopened();
    // Renders the mixer's time since the last call into nothing; the number of frames. Where the
    // clock jumped by more than a second, only the last second is rendered.
    uint64_t KeepTime(AudioMixer& mixer, int sampleRate, uint32_t now);

    bool lost;
    uint32_t lostAt;
    uint32_t lastTry;
    uint64_t framesKept;  // since lostAt
    int tries;            // since the last loss
    std::vector<int16_t> scratch;
};
