#pragma once
#include <cstdint>

class SoundBuffer;

// Reads a PCM .wav file ("Sounds\room_clean.wav", relative to the working directory) into a new
// sound buffer in the slot. Every failure is told in a message box captioned "Error".
void LoadWaveSound(const char* path, SoundBuffer*& slot);
// Plays the sound once from its start, unless it is still playing.
void PlaySoundFromStart(SoundBuffer*& slot);
int32_t IsSoundPlaying(SoundBuffer*& slot);
void StopSound(SoundBuffer*& slot);
// Changes the volume by the given hundredths of a decibel, kept within -10000 (silent) to 0 (full).
void AdjustSoundVolume(SoundBuffer*& slot, int32_t change);
// Releases the slot's buffer, if any (silencing it), and empties the slot.
void ReleaseSound(SoundBuffer*& slot);
