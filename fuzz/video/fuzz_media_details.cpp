// Fuzz target for the media-details reader: any bytes give a record with every
// field, no crash, no hang (the reader's deadline bounds each input).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "video/MediaDetails.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const video::TMediaDetails d = video::ReadMediaDetailsFromMemory(data, size, 2000);
  if (d.Fields().size() != 28) std::abort();
  if (!d.MediaAudioFormat.empty()) std::abort();
  if (!d.MediaVideoFourCC.empty() && d.MediaVideoComp.empty()) std::abort();
  return 0;
}
