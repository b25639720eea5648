// Fuzz target: the SoundFont description reader.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "SoundFont.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orvmidi::SoundFontInfo info;
  orvmidi::ReadSoundFont(
      [&](uint64_t off, void* buf, size_t n) -> size_t {
        if (off >= size || n == 0) return 0;  // nothing to copy (buf may be null then)
        n = std::min<size_t>(n, size - size_t(off));
        std::memcpy(buf, data + off, n);
        return n;
      },
      size, &info);
  return 0;
}
