// ID3v2: memory, buffer and file entry points, and a save that must keep every byte after the old tag.
#include "FuzzCommon.h"
#include "tags/ID3v2.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tags::TID3v2 t;
  t.ReadFromMemory(data, size);
  tags::TMP3TagInfo info;
  tags::TID3v2::ReadFromBuffer(data, size, info);

#ifndef ORVELLA_LIBFUZZER  // the file entry point and saving are covered by the driver test
  const std::string& path = fuzztags::WriteScratch(data, size);
  tags::TID3v2 f;
  if (!f.ReadFromFile(path)) return 0;
  const size_t audioFrom = f.Exists() ? size_t(f.TagSize()) : 0;
  f.SetTitle(f.Title() + " x");
  f.SetTrack(3);
  if (f.SaveToFile(path)) {
    std::string after = fuzztags::ReadAll(path);
    const size_t newTag = size_t(f.TagSize());
    fuzztags::Check(after.size() >= newTag && after.size() - newTag == size - audioFrom &&
                        after.compare(newTag, std::string::npos, reinterpret_cast<const char*>(data) + audioFrom,
                                      size - audioFrom) == 0,
                    "ID3v2 save changed the audio");
    tags::TID3v2 r;
    fuzztags::Check(r.ReadFromFile(path) && r.Exists() && r.Title() == f.Title(), "saved tag does not read back");
  }
#endif
  return 0;
}
