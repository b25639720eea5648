#include "tags/APETag.h"

#include <cstring>

#include "tags/ByteSource.h"
#include "tags/TextUtil.h"

namespace tags {

namespace {
constexpr size_t kValueLimit = 250;
constexpr size_t kNameLimit = 4096;
}  // namespace

void TAPETag::ResetData() {
  exists_ = false;
  version_ = 0;
  tagSize_ = 0;
  items_.clear();
}

std::string TAPETag::Value(const std::string& name) const {
  std::string key = UpperAscii(name);
  for (const Item& i : items_)
    if (UpperAscii(i.Name) == key) return i.Value;
  return {};
}

bool TAPETag::ReadFromFile(const std::string& path) {
  ResetData();
  FileSource src;
  if (!src.Open(path)) return false;
  return ReadFromSource(src);
}

bool TAPETag::ReadFromMemory(const void* data, size_t size) {
  MemorySource src(data, size);
  return ReadFromSource(src);
}

bool TAPETag::ReadFromSource(ByteSource& src) {
  ResetData();
  const int64_t size = src.Size();
  int64_t shift = 0;
  if (size >= 129) {
    char tag[3];
    if (src.ReadAt(size - 128, tag, 3) == 3 && std::memcmp(tag, "TAG", 3) == 0) shift = 128;
  }
  const int64_t footerPos = size - shift - 32;
  if (footerPos <= 0) return false;
  uint8_t footer[32];
  if (src.ReadAt(footerPos, footer, 32) != 32) return false;
  if (std::memcmp(footer, "APETAGEX", 8) != 0) return true;
  exists_ = true;
  version_ = int(LE32(footer + 8));
  tagSize_ = LE32(footer + 12);
  const uint32_t count = LE32(footer + 16);

  // Any read that comes up short ends the item list quietly.
  int64_t pos = size - shift - tagSize_;
  if (pos < 0) return true;
  std::string name;
  for (uint32_t i = 0; i < count && pos < footerPos; ++i) {
    uint8_t head[8];
    if (src.ReadAt(pos, head, 8) != 8) break;
    const uint32_t valueSize = LE32(head);
    pos += 8;
    name.clear();
    bool terminated = false;
    while (!terminated && name.size() < kNameLimit) {
      char chunk[64];
      int64_t got = src.ReadAt(pos, chunk, sizeof chunk);
      if (got <= 0) break;
      const void* zero = std::memchr(chunk, 0, size_t(got));
      size_t take = zero ? size_t(static_cast<const char*>(zero) - chunk) : size_t(got);
      name.append(chunk, take);
      pos += int64_t(take) + (zero ? 1 : 0);
      terminated = zero != nullptr;
    }
    if (!terminated) break;
    char value[kValueLimit + 1] = {};
    int64_t got = src.ReadAt(pos, value, std::min<size_t>(valueSize, kValueLimit));
    if (got < 0 || (valueSize > 0 && got == 0)) break;
    items_.push_back({Trim(TagBytesToUtf8(name)), Trim(TagBytesToUtf8(CutAtZero(value)))});
    pos += valueSize;
  }
  return true;
}

}  // namespace tags
