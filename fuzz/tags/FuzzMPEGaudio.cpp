// TMPEGaudio: memory and file entry points over the same bytes must agree.
#include "FuzzCommon.h"
#include "tags/MPEGaudio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tags::TMPEGaudio a;
  const bool fromMemory = a.ReadFromMemory(data, size);
  (void)fromMemory;
  (void)a.Valid();
  (void)a.Duration();
  (void)a.BitRate();
  (void)a.Frames();
  tags::TMP3TagInfo info;
  for (int type = 0; type < 4; ++type) tags::TMPEGaudio::ReadTagFromBuffer(data, size, type, info);
#ifndef ORVELLA_LIBFUZZER  // the file entry point is covered by the driver test
  tags::TMPEGaudio b;
  const bool fromFile = b.ReadFromFile(fuzztags::WriteScratch(data, size));
  fuzztags::Check(fromMemory == fromFile, "file and memory readers disagree");
#endif
  return 0;
}
