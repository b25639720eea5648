// Fuzz target: the metadata text parser and the metaint header value. A title is always a piece
// of the text after its key; a metaint is 0 or a value the header spelled out.
#include "Icy.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  bool found = false;
  std::string title = orvbass::IcyStreamTitle(text, &found);
  size_t key = text.find("StreamTitle=");
  if (found != (key != std::string::npos)) std::abort();
  if (!found && !title.empty()) std::abort();
  if (found && text.find(title, key + 12) == std::string::npos) std::abort();
  uint32_t metaint = orvbass::ParseIcyMetaInt(text);
  if (metaint > (16u << 20)) std::abort();
  if (metaint && text.find(std::to_string(metaint)) == std::string::npos) std::abort();
  return 0;
}
