// ID3v1/Lyrics3: memory, buffer and file entry points, and a save that must keep every byte before the tag.
#include "FuzzCommon.h"
#include "tags/ID3v1.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tags::TID3v1 t;
  t.ReadFromMemory(data, size);
  (void)t.Genre();
  (void)t.TotalSize();
  tags::TMP3TagInfo info;
  tags::TID3v1::ReadFromBuffer(data, size, info);

#ifndef ORVELLA_LIBFUZZER  // the file entry point and saving are covered by the driver test
  const std::string& path = fuzztags::WriteScratch(data, size);
  tags::TID3v1 f;
  if (!f.ReadFromFile(path)) return 0;
  const int64_t keep = int64_t(size) - f.TotalSize();
  fuzztags::Check(keep >= 0, "tag larger than file");
  f.SetTitle(f.Title() + " x");
  if (f.SaveToFile(path)) {
    std::string after = fuzztags::ReadAll(path);
    fuzztags::Check(int64_t(after.size()) >= keep &&
                        after.compare(0, size_t(keep), reinterpret_cast<const char*>(data), size_t(keep)) == 0,
                    "ID3v1 save changed bytes before the tag");
    tags::TID3v1 r;
    fuzztags::Check(r.ReadFromFile(path) && r.Exists(), "saved tag not found");
  }
#endif
  return 0;
}
