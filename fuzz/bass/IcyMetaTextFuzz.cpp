// Fuzz target: the metadata text parser, the metaint header value and the first address of a
// playlist a server answered with. A title is always a piece of the text after its key; a
// metaint is 0 or a value the header spelled out; an address is an http(s) piece of one line.
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
  const std::string address = orvbass::FirstPlaylistAddress(text);
  if (!address.empty()) {
    if (text.find(address) == std::string::npos || address.find_first_of("\r\n") != std::string::npos) std::abort();
    if (address.back() == ' ' || address.back() == '\t') std::abort();
    const std::string head = address.substr(0, 8);
    bool web = false;
    for (const char* scheme : {"http://", "https://"}) {
      std::string lower = head.substr(0, std::string(scheme).size());
      for (char& c : lower) c = char(c >= 'A' && c <= 'Z' ? c + 32 : c);
      web = web || lower == scheme;
    }
    if (!web) std::abort();
  }
  return 0;
}
