// A stand-in for the audio library with every export present, for the engine's
// start-up failure paths: a wrong version, or a device that cannot start.
#include "bass/bass.h"

namespace {
int g_error = 0;
}

// Each export answers 0 unless defined below; the asm label gives it the export's name.
#define FAKE_ZERO(name) extern "C" __attribute__((visibility("default"))) long fake_##name() __asm__(#name);
ORVELLA_BASS_FUNCTIONS(FAKE_ZERO)
#undef FAKE_ZERO

#define FAKE_DEFINE(name)                                                     \
  extern "C" long fake_##name() {                                             \
    if (__builtin_strcmp(#name, "BASS_GetVersion") == 0) return FAKE_VERSION; \
    if (__builtin_strcmp(#name, "BASS_ErrorGetCode") == 0) return g_error;    \
    if (__builtin_strcmp(#name, "BASS_Init") == 0) {                          \
      g_error = FAKE_INIT_OK ? 0 : 23;                                        \
      return FAKE_INIT_OK;                                                    \
    }                                                                         \
    return 0;                                                                 \
  }
ORVELLA_BASS_FUNCTIONS(FAKE_DEFINE)
#undef FAKE_DEFINE
