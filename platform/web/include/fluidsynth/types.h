#pragma once

// The browser's FluidSynth is a WebAssembly module of its own: its objects live in its memory,
// not ours. A handle is the object's address there, carried in a pointer of an incomplete type
// so that the music code keeps its desktop types.
typedef struct _fluid_hashtable_t fluid_settings_t;
typedef struct _fluid_synth_t fluid_synth_t;
typedef struct _fluid_player_t fluid_player_t;
