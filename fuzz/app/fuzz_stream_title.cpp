// A radio station's title split into artist and title for the lyrics plug-in: any text gives
// two trimmed pieces that both occur in it, and an artist only when there was a " - ".
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/Lyrics.h"

namespace {
bool Trimmed(const std::string& s) {
  return s.empty() || (static_cast<unsigned char>(s.front()) > ' ' && static_cast<unsigned char>(s.back()) > ' ');
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const auto [artist, title] = app::SplitStreamTitle(text);
  if (!Trimmed(artist) || !Trimmed(title)) std::abort();
  if (text.find(artist) == std::string::npos || text.find(title) == std::string::npos) std::abort();
  if (!artist.empty() && text.find(" - ") == std::string::npos) std::abort();
  return 0;
}
