// FluidSynth, loaded when MIDI is first rendered rather than with the add-on: it pulls in a
// dozen libraries (GLib, audio drivers) that start-up does not need.
//
// Threading: Fluid() may be called from any thread; the table is filled once.
#pragma once

#include <fluidsynth.h>

#define ORV_FLUID_FUNCTIONS(X)                                                                     \
  X(new_fluid_settings) X(delete_fluid_settings) X(fluid_settings_setnum) X(fluid_settings_setint) \
  X(new_fluid_synth) X(delete_fluid_synth) X(fluid_synth_sfload) X(fluid_synth_sfunload)           \
  X(fluid_synth_sfcount) X(fluid_synth_get_sfont) X(fluid_sfont_get_id) X(fluid_synth_set_gain)    \
  X(fluid_synth_program_reset) X(fluid_synth_noteon) X(fluid_synth_noteoff)                         \
  X(fluid_synth_key_pressure) X(fluid_synth_cc) X(fluid_synth_program_change)                       \
  X(fluid_synth_channel_pressure) X(fluid_synth_pitch_bend) X(fluid_synth_pitch_wheel_sens)         \
  X(fluid_synth_all_sounds_off) X(fluid_synth_all_notes_off) X(fluid_synth_system_reset)            \
  X(fluid_synth_write_float) X(fluid_set_log_function)

namespace orvmidi {

struct FluidApi {
#define ORV_FLUID_PTR(name) decltype(&::name) name = nullptr;
  ORV_FLUID_FUNCTIONS(ORV_FLUID_PTR)
#undef ORV_FLUID_PTR
};

// The loaded library's functions (with its log output silenced), NULL when it cannot be loaded.
const FluidApi* Fluid();

}  // namespace orvmidi

// Calls go through the table: FL.fluid_synth_noteon(...). Only valid once Fluid() gave non-NULL.
#define FL (*::orvmidi::Fluid())
