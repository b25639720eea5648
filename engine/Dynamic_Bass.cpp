#include "engine/Dynamic_Bass.h"

#include <vector>

namespace engine {

bool TBassCore::Load(const std::string& path) {
  if (lib_.IsOpen()) return true;
  static const std::vector<std::string> kNames = {
#define ORVELLA_BASS_NAME(name) #name,
      ORVELLA_BASS_FUNCTIONS(ORVELLA_BASS_NAME)
#undef ORVELLA_BASS_NAME
  };
  if (!lib_.OpenWithSymbols(path, kNames)) return false;
#define ORVELLA_BASS_RESOLVE(name) name = lib_.Function<decltype(&::name)>(#name);
  ORVELLA_BASS_FUNCTIONS(ORVELLA_BASS_RESOLVE)
#undef ORVELLA_BASS_RESOLVE
  return true;
}

void TBassCore::Unload() {
  lib_.Close();
#define ORVELLA_BASS_CLEAR(name) name = nullptr;
  ORVELLA_BASS_FUNCTIONS(ORVELLA_BASS_CLEAR)
#undef ORVELLA_BASS_CLEAR
}

}  // namespace engine
