// Fuzz target: the MP4 box walker that counts a sound track's frames.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "Mp4Length.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orvaddon::Mp4Audio audio;
  orvaddon::ReadMp4Audio(
      [&](uint64_t off, void* buf, uint32_t n) -> uint32_t {
        if (off >= size) return 0;
        size_t k = std::min<size_t>(n, size - size_t(off));
        std::memcpy(buf, data + off, k);
        return uint32_t(k);
      },
      size, &audio);
  return 0;
}
