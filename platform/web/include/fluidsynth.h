#pragma once
// The part of FluidSynth's C interface that the music code calls, with the values of FluidSynth
// 2.4, reached in the browser through the FluidSynth module beside ours (WebFluidSynth.cpp).
#include <stddef.h>

#include "fluidsynth/types.h"

#ifdef __cplusplus
extern "C" {
#endif

#define FLUID_OK (0)
#define FLUID_FAILED (-1)

enum fluid_player_status {
    FLUID_PLAYER_READY,
    FLUID_PLAYER_PLAYING,
    FLUID_PLAYER_STOPPING,
    FLUID_PLAYER_DONE
};

enum fluid_player_set_tempo_type {
    FLUID_PLAYER_TEMPO_INTERNAL,
    FLUID_PLAYER_TEMPO_EXTERNAL_BPM,
    FLUID_PLAYER_TEMPO_EXTERNAL_MIDI
};

int fluid_audio_driver_register(const char** adrivers);

fluid_settings_t* new_fluid_settings(void);
void delete_fluid_settings(fluid_settings_t* settings);
int fluid_settings_setnum(fluid_settings_t* settings, const char* name, double value);
int fluid_settings_setint(fluid_settings_t* settings, const char* name, int value);
int fluid_settings_setstr(fluid_settings_t* settings, const char* name, const char* value);

fluid_synth_t* new_fluid_synth(fluid_settings_t* settings);
void delete_fluid_synth(fluid_synth_t* synth);
int fluid_synth_sfload(fluid_synth_t* synth, const char* filename, int reset_presets);
int fluid_synth_pin_preset(fluid_synth_t* synth, int sfont_id, int bank_num, int preset_num);
int fluid_synth_unpin_preset(fluid_synth_t* synth, int sfont_id, int bank_num, int preset_num);
int fluid_synth_system_reset(fluid_synth_t* synth);
int fluid_synth_all_sounds_off(fluid_synth_t* synth, int chan);
int fluid_synth_get_active_voice_count(fluid_synth_t* synth);
int fluid_synth_write_float(fluid_synth_t* synth, int len, void* lout, int loff, int lincr,
                            void* rout, int roff, int rincr);

fluid_player_t* new_fluid_player(fluid_synth_t* synth);
void delete_fluid_player(fluid_player_t* player);
int fluid_player_add_mem(fluid_player_t* player, const void* buffer, size_t len);
int fluid_player_play(fluid_player_t* player);
int fluid_player_stop(fluid_player_t* player);
int fluid_player_set_loop(fluid_player_t* player, int loop);
int fluid_player_set_tempo(fluid_player_t* player, int tempo_type, double tempo);
int fluid_player_get_status(fluid_player_t* player);
int fluid_player_get_current_tick(fluid_player_t* player);
int fluid_player_get_total_ticks(fluid_player_t* player);

#ifdef __cplusplus
}
#endif
