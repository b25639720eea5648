// Fuzz target: the CUE sheet reader; the first 8 bytes give the data file's size.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "CueSheet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint64_t fileSize = 0;
  if (size >= 8) {
    std::memcpy(&fileSize, data, 8);
    data += 8;
    size -= 8;
  }
  orvcd::CueSheet sheet;
  if (orvcd::ParseCue(std::string(reinterpret_cast<const char*>(data), size), "/tmp/", &sheet)) {
    std::vector<uint64_t> sizes(sheet.files.size(), fileSize % (1ull << 40));
    if (orvcd::ResolveCue(&sheet, sizes)) {
      for (const auto& t : sheet.tracks)
        if (t.startByte + t.lengthBytes > sizes[t.file]) __builtin_trap();
    }
  }
  return 0;
}
