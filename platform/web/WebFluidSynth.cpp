// FluidSynth's C calls in the browser, passed on to the FluidSynth module that the page loads
// beside ours (Module.fluidSynth, see flurber-pre.js). Handles are addresses in that module's
// memory and pass through unchanged; strings, MIDI files and the rendered samples are copied
// between the two memories.
#include <emscripten.h>
#include <fluidsynth.h>

EM_JS(int, fluid_audio_driver_register, (const char** adrivers), {
    // The module renders only through us: no driver is ever made. An empty list says so to it.
    var F = FluidBridge.module();
    if (!F) return -1;
    var list = F._malloc(4);
    F.HEAP32[list >> 2] = 0;
    var result = F._fluid_audio_driver_register(list);
    F._free(list);
    return result;
});

EM_JS(fluid_settings_t*, new_fluid_settings, (void), {
    var F = FluidBridge.module();
    return F ? F._new_fluid_settings() : 0;
});

EM_JS(void, delete_fluid_settings, (fluid_settings_t * settings),
      { FluidBridge.module()._delete_fluid_settings(settings); });

EM_JS(int, fluid_settings_setnum, (fluid_settings_t * settings, const char* name, double value), {
    var F = FluidBridge.module();
    var copied = FluidBridge.string(name);
    var result = F._fluid_settings_setnum(settings, copied, value);
    F._free(copied);
    return result;
});

EM_JS(int, fluid_settings_setint, (fluid_settings_t * settings, const char* name, int value), {
    var F = FluidBridge.module();
    var copied = FluidBridge.string(name);
    var result = F._fluid_settings_setint(settings, copied, value);
    F._free(copied);
    return result;
});

EM_JS(int, fluid_settings_setstr,
      (fluid_settings_t * settings, const char* name, const char* value), {
          var F = FluidBridge.module();
          var copiedName = FluidBridge.string(name);
          var copiedValue = FluidBridge.string(value);
          var result = F._fluid_settings_setstr(settings, copiedName, copiedValue);
          F._free(copiedValue);
          F._free(copiedName);
          return result;
      });

EM_JS(fluid_synth_t*, new_fluid_synth, (fluid_settings_t * settings),
      { return FluidBridge.module()._new_fluid_synth(settings); });

EM_JS(void, delete_fluid_synth, (fluid_synth_t * synth),
      { FluidBridge.module()._delete_fluid_synth(synth); });

EM_JS(int, fluid_synth_sfload, (fluid_synth_t * synth, const char* filename, int reset_presets), {
    var F = FluidBridge.module();
    FluidBridge.provideFile(UTF8ToString(filename));
    var copied = FluidBridge.string(filename);
    var result = F._fluid_synth_sfload(synth, copied, reset_presets);
    F._free(copied);
    return result;
});

EM_JS(int, fluid_synth_pin_preset,
      (fluid_synth_t * synth, int sfont_id, int bank_num, int preset_num), {
          return FluidBridge.module()._fluid_synth_pin_preset(synth, sfont_id, bank_num,
                                                              preset_num);
      });

EM_JS(int, fluid_synth_unpin_preset,
      (fluid_synth_t * synth, int sfont_id, int bank_num, int preset_num), {
          return FluidBridge.module()._fluid_synth_unpin_preset(synth, sfont_id, bank_num,
                                                                preset_num);
      });

EM_JS(int, fluid_synth_system_reset, (fluid_synth_t * synth),
      { return FluidBridge.module()._fluid_synth_system_reset(synth); });

EM_JS(int, fluid_synth_all_sounds_off, (fluid_synth_t * synth, int chan),
      { return FluidBridge.module()._fluid_synth_all_sounds_off(synth, chan); });

EM_JS(int, fluid_synth_get_active_voice_count, (fluid_synth_t * synth),
      { return FluidBridge.module()._fluid_synth_get_active_voice_count(synth); });

EM_JS(int, fluid_synth_write_float,
      (fluid_synth_t * synth, int len, void* lout, int loff, int lincr, void* rout, int roff,
       int rincr),
      {
          var F = FluidBridge.module();
          var block = FluidBridge.renderBlock(len);
          var result = F._fluid_synth_write_float(synth, len, block, 0, 1, block + len * 4, 0, 1);
          var rendered = F.HEAPF32;
          var first = block >> 2;
          FluidBridge.copyFloats(rendered, first, len, (lout >> 2) + loff, lincr);
          FluidBridge.copyFloats(rendered, first + len, len, (rout >> 2) + roff, rincr);
          return result;
      });

EM_JS(fluid_player_t*, new_fluid_player, (fluid_synth_t * synth),
      { return FluidBridge.module()._new_fluid_player(synth); });

EM_JS(void, delete_fluid_player, (fluid_player_t * player),
      { FluidBridge.module()._delete_fluid_player(player); });

EM_JS(int, fluid_player_add_mem, (fluid_player_t * player, const void* buffer, size_t len), {
    // The player keeps a copy of its own: ours goes again at once.
    var F = FluidBridge.module();
    var copied = F._malloc(len);
    F.HEAPU8.set(HEAPU8.subarray(buffer, buffer + len), copied);
    var result = F._fluid_player_add_mem(player, copied, len);
    F._free(copied);
    return result;
});

EM_JS(int, fluid_player_play, (fluid_player_t * player),
      { return FluidBridge.module()._fluid_player_play(player); });

EM_JS(int, fluid_player_stop, (fluid_player_t * player),
      { return FluidBridge.module()._fluid_player_stop(player); });

EM_JS(int, fluid_player_set_loop, (fluid_player_t * player, int loop),
      { return FluidBridge.module()._fluid_player_set_loop(player, loop); });

EM_JS(int, fluid_player_set_tempo, (fluid_player_t * player, int tempo_type, double tempo),
      { return FluidBridge.module()._fluid_player_set_tempo(player, tempo_type, tempo); });

EM_JS(int, fluid_player_get_status, (fluid_player_t * player),
      { return FluidBridge.module()._fluid_player_get_status(player); });

EM_JS(int, fluid_player_get_current_tick, (fluid_player_t * player),
      { return FluidBridge.module()._fluid_player_get_current_tick(player); });

EM_JS(int, fluid_player_get_total_ticks, (fluid_player_t * player),
      { return FluidBridge.module()._fluid_player_get_total_ticks(player); });
