#pragma once

// Loads a standard MIDI file (a name like L"Music\\groove.mid", relative to the working directory
// at start-up) into the one music slot, replacing what it held; a missing file leaves the slot
// empty.
void LoadMusicSegment(const wchar_t* path);
// Plays the slot's music from its start, 101 times in all, in place of what plays.
void PlayMusicSegment();
// Silences all music at once.
void StopMusic();
// Forces the tempo of the music in beats per minute from now on.
void SetMusicTempo(double beatsPerMinute);
// Unloads and releases the music slot (at shutdown).
void ReleaseCurrentSegment();
// The narrow path as wide characters, terminator included, cut to capacity.
void ConvertToWide(const char* path, wchar_t* out, int capacity);
