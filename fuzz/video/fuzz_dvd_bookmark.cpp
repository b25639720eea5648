// Fuzz target for the DVD bookmark reader: the compound file and the record in
// its "BookMark" stream. A record that reads back is always within its ranges.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "video/DvdDisc.h"

// libgsf does not free the directory entries it read when it gives up on a damaged compound
// file: that leak is the library's. Its stacks pass through libraries without frame pointers,
// so they are unwound slowly enough for the suppression to see the function.
extern "C" const char* __lsan_default_suppressions() { return "leak:gsf_infile_msole_new\n"; }
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  video::TDvdBookmark b;
  if (video::ReadDvdBookmarkFromMemory(data, size, b) == video::TBookmarkRead::Ok) {
    if (b.Title < 0 || b.Title > 99 || b.TimeMs < 0 || b.DiscId.size() > 256) std::abort();
  }
  // The record parser on its own, on the raw bytes.
  if (video::ParseBookmarkRecord(data, size, b) && (b.Chapter < 0 || b.Chapter > 999)) std::abort();
  return 0;
}
