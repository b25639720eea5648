// Run-time binding of the audio library: every export is resolved by name when
// the library loads, or the load fails and the library is unloaded again.
// UI thread only.
#pragma once

#include <string>

#include "bass/bass.h"
#include "platform/DynamicLibrary.h"

namespace engine {

class TBassCore {
 public:
#define ORVELLA_BASS_POINTER(name) decltype(&::name) name = nullptr;
  ORVELLA_BASS_FUNCTIONS(ORVELLA_BASS_POINTER)
#undef ORVELLA_BASS_POINTER

  // Loads `path` (a loaded library succeeds at once). False when the file does
  // not load or any export is missing.
  bool Load(const std::string& path);
  void Unload();
  bool Loaded() const { return lib_.IsOpen(); }
  const std::string& LastError() const { return lib_.LastError(); }

 private:
  platform::DynamicLibrary lib_;
};

// The version check the engine applies: high word 0x0204, low word at least 1.
inline bool IsBassVersion24(DWORD v) { return (v >> 16) == 0x0204 && (v & 0xFFFF) >= 1; }

}  // namespace engine
