#pragma once
#include <fluidsynth/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sound/InstrumentLoader.h"
#include "platform/sound/MidiPresets.h"

class AudioMixer;
class MusicPerformance;
class SoundDevice;

constexpr int32_t MusicOk = 0;
constexpr int32_t MusicFailed = -1;

// What MusicSegment::SetParam sets.
enum class SegmentParam {
    StandardMidiFile,  // play it as a standard MIDI file
    Download,          // its instruments go to the performance
    Unload,            // its instruments leave the performance: it can't sound any more
};

// A standard MIDI file read into memory, ready to be played.
class MusicSegment {
public:
    explicit MusicSegment(std::vector<uint8_t> file);
    ~MusicSegment();
    MusicSegment(const MusicSegment&) = delete;
    MusicSegment& operator=(const MusicSegment&) = delete;

    int32_t SetParam(SegmentParam param, MusicPerformance* performance);
    // Plays after the first: the segment plays repeats + 1 times in all.
    int32_t SetRepeats(uint32_t count);

    std::vector<uint8_t> midiFile;
    bool standardMidiFile;
    uint32_t repeats;
    MusicPerformance* downloadedTo;
    // The instruments it plays, and the performance that holds them in memory for it.
    std::vector<MidiPreset> presets;
    MusicPerformance* instrumentsHeldBy;
    uint64_t instrumentsTicket;  // they are in once the performance's loader has done it
};

// Plays music segments through a FluidSynth synthesizer that the sound device's mixer renders, so
// music and sound effects share one audio device. FluidSynth has no audio driver of its own here:
// its player is timed by the samples rendered, which keeps offline rendering exact.
class MusicPerformance {
public:
    MusicPerformance();
    ~MusicPerformance();
    MusicPerformance(const MusicPerformance&) = delete;
    MusicPerformance& operator=(const MusicPerformance&) = delete;

    // Prepares the synthesizer on the given output; false (and silence) without one.
    bool Init(SoundDevice* output);
    // Loads the General MIDI soundfont, once for every segment to come, and then the instruments
    // each segment plays as it is downloaded. Where the clock runs by itself they load on a thread
    // of their own while the window and the menu come up; music asked for meanwhile starts from
    // its first note once its instruments are in.
    bool AddPort();
    // Keeps a segment's instruments in memory until it lets them go.
    void HoldInstruments(MusicSegment* segment);
    void ReleaseInstruments(MusicSegment* segment);
    // Plays the segment from its start in place of the music that plays, at the tempo last asked
    // for, if any.
    int32_t PlaySegment(MusicSegment* segment);
    // Silences all music at once.
    void Stop();
    // Holds the music at this many beats per minute from now on, whatever the file says.
    int32_t SetTempo(double beatsPerMinute);
    void CloseDown();
    // True from PlaySegment until the music is stopped or its last play is over.
    bool IsPlaying();

    // Adds the next frameCount frames of music to a stereo mix (in 16-bit units); called by the
    // mixer with the audio locked.
    void Render(float* stereo, int frameCount);

    fluid_settings_t* settings;
    fluid_synth_t* synth;
    fluid_player_t* player;
    AudioMixer* mixer;
    const MusicSegment* playingSegment;
    int playsInAll;
    int playsStarted;
    int lastTick;
    // The song's length in ticks once the player has read the file; 0 before. FluidSynth counts
    // it by walking every event of the song, too slow to ask at every block.
    int songTicks;
    bool songEnded;
    double requestedTempo;  // 0 until a tempo is asked for
    double appliedTempo;    // the player's; 0 while it keeps the file's own
    // No note sounds and none is to come: the synthesizer is left alone (the loader may hold it).
    bool synthSilent;

    enum InstrumentState { NoInstruments, LoadingInstruments, InstrumentsFailed, InstrumentsIn };
    // Only InstrumentsIn lets anything but the loader touch the synthesizer.
    InstrumentState instruments;
    std::string soundFontPath;
    InstrumentLoader loader;
    // Asked to play while its instruments were loading.
    MusicSegment* waitingSegment;

private:
    // Once the soundfont is in, the synthesizer joins the mixer; once the waiting segment's
    // instruments are in too, it starts.
    void TakeInstruments();
    int32_t StartPlayer(MusicSegment* segment);
    void DropPlayer();
    void NoteProgress();
};

// Finds music files relative to a search directory.
class MusicLoader {
public:
    void SetSearchDirectory(const std::string& directory) { searchDirectory = directory; }
    // The file read as a segment; null when it is missing, unreadable or not a MIDI file.
    MusicSegment* GetObject(const wchar_t* fileName);

    std::string searchDirectory;
};
