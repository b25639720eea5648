// Fuzz target for the DVD bookmark reader: the compound file and the record in
// its "BookMark" stream. A record that reads back is always within its ranges.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "video/DvdDisc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  video::TDvdBookmark b;
  if (video::ReadDvdBookmarkFromMemory(data, size, b) == video::TBookmarkRead::Ok) {
    if (b.Title < 0 || b.Title > 99 || b.TimeMs < 0 || b.DiscId.size() > 256) std::abort();
  }
  // The record parser on its own, on the raw bytes.
  if (video::ParseBookmarkRecord(data, size, b) && (b.Chapter < 0 || b.Chapter > 999)) std::abort();
  return 0;
}
