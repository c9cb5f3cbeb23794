#include "platform/sound/InstrumentLoader.h"

#include <fluidsynth.h>

namespace {
// What the synthesizer's channels start with, and what a reset between songs selects again: kept
// in memory for good, so that no reset reads from the disk.
const MidiPreset FirstInstruments[] = {{0, 0}, {128, 0}};
}  // namespace

InstrumentLoader::InstrumentLoader()
    : synth(nullptr),
      soundFontId(-1),
      soundFontDone(false),
      doneTicket(0),
      lastTicket(0),
      threaded(false),
      stopping(false) {}

InstrumentLoader::~InstrumentLoader() {
    Stop();
}

void InstrumentLoader::Start(fluid_synth_t* newSynth, const std::string& soundFontPath,
                             bool onThread) {
    synth = newSynth;
    path = soundFontPath;
    threaded = onThread;
    if (!threaded) {
        LoadSoundFont();
        return;
    }
    // At the program's own priority: at a lower one, other work on a busy machine held the songs
    // back by seconds, while the first frame came no sooner.
    worker = std::thread([this] { Run(); });
}

void InstrumentLoader::LoadSoundFont() {
    soundFontId = fluid_synth_sfload(synth, path.c_str(), 1);
    if (soundFontId != FLUID_FAILED) {
        for (const MidiPreset& preset : FirstInstruments) {
            fluid_synth_pin_preset(synth, soundFontId, preset.bank, preset.program);
            holders[preset] = 1;
        }
    } else {
        soundFontId = -1;
    }
    soundFontDone.store(true, std::memory_order_release);
}

uint64_t InstrumentLoader::Pin(const std::vector<MidiPreset>& presets) {
    Job job{presets, true, ++lastTicket};
    if (!threaded) {
        Do(job);
        return job.ticket;
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        jobs.push_back(std::move(job));
    }
    wake.notify_one();
    return lastTicket;
}

void InstrumentLoader::Unpin(const std::vector<MidiPreset>& presets) {
    Job job{presets, false, ++lastTicket};
    if (!threaded) {
        Do(job);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        jobs.push_back(std::move(job));
    }
    wake.notify_one();
}

void InstrumentLoader::Run() {
    LoadSoundFont();
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(mutex);
            wake.wait(lock, [this] { return stopping || !jobs.empty(); });
            if (stopping) return;
            job = std::move(jobs.front());
            jobs.pop_front();
        }
        Do(job);
    }
}

void InstrumentLoader::Do(const Job& job) {
    if (soundFontId != -1) {
        for (const MidiPreset& preset : job.presets) {
            int& count = holders[preset];
            count += job.pin ? 1 : -1;
            if (job.pin && count == 1) {
                fluid_synth_pin_preset(synth, soundFontId, preset.bank, preset.program);
            } else if (!job.pin && count == 0) {
                fluid_synth_unpin_preset(synth, soundFontId, preset.bank, preset.program);
            }
        }
    }
    doneTicket.store(job.ticket, std::memory_order_release);
}

void InstrumentLoader::Stop() {
    if (worker.joinable()) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
            jobs.clear();
        }
        wake.notify_one();
        worker.join();
    }
    // The synthesizer may go now: nothing more is done to it.
    soundFontId = -1;
    threaded = false;
}
