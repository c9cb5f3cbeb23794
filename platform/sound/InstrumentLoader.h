#pragma once
#include <fluidsynth/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/sound/MidiPresets.h"

// Loads the soundfont, then the samples of the instruments that songs ask for: FluidSynth reads
// a sample only once an instrument that uses it is pinned, so a 148 MB soundfont is playable after
// a tenth of a second. Where the clock runs by itself the work is done on a thread of its own, in
// the order it was asked for; otherwise at once. Pinning holds FluidSynth's lock, so it is asked
// for while the synthesizer is not being rendered.
class InstrumentLoader {
public:
    InstrumentLoader();
    ~InstrumentLoader();
    InstrumentLoader(const InstrumentLoader&) = delete;
    InstrumentLoader& operator=(const InstrumentLoader&) = delete;

    void Start(fluid_synth_t* synth, const std::string& soundFontPath, bool onThread);
    // Asks for the instruments of a song; they are in memory once Done(ticket).
    uint64_t Pin(const std::vector<MidiPreset>& presets);
    // Lets them go again (an instrument another song still holds stays).
    void Unpin(const std::vector<MidiPreset>& presets);
    bool SoundFontDone() const { return soundFontDone.load(std::memory_order_acquire); }
    // Meaningful once SoundFontDone().
    bool SoundFontLoaded() const { return soundFontId != -1; }
    bool Done(uint64_t ticket) const {
        return doneTicket.load(std::memory_order_acquire) >= ticket;
    }
    // Waits for the work under way and ends the thread; what is still asked for is dropped.
    void Stop();

private:
    struct Job {
        std::vector<MidiPreset> presets;
        bool pin;
        uint64_t ticket;
    };
    void Run();
    void LoadSoundFont();
    void Do(const Job& job);

    fluid_synth_t* synth;
    std::string path;
    int soundFontId;  // written before soundFontDone
    std::atomic<bool> soundFontDone;
    std::atomic<uint64_t> doneTicket;
    uint64_t lastTicket;
    // How many songs hold each instrument; touched only where the work is done.
    std::map<MidiPreset, int> holders;
    bool threaded;
    std::thread worker;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Job> jobs;
    bool stopping;
};
