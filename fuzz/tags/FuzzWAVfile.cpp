// TWAVfile: memory and file entry points over the same bytes must agree.
#include "FuzzCommon.h"
#include "tags/WAVfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tags::TWAVfile a;
  const bool fromMemory = a.ReadFromMemory(data, size);
  (void)fromMemory;
  (void)a.Valid();
  (void)a.Duration();
#ifndef ORVELLA_LIBFUZZER  // the file entry point is covered by the driver test
  tags::TWAVfile b;
  const bool fromFile = b.ReadFromFile(fuzztags::WriteScratch(data, size));
  fuzztags::Check(fromMemory == fromFile, "file and memory readers disagree");
#endif
  return 0;
}
