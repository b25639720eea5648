#include "tags/WAVfile.h"

#include <cstring>

#include "tags/ByteSource.h"
#include "tags/TextUtil.h"

namespace tags {

namespace {
const char* const kChannelModes[] = {"Unknown", "Mono", "Stereo"};
constexpr int kMaxChunks = 1000;
}  // namespace

void TWAVfile::ResetData() {
  valid_ = false;
  channels_ = 0;
  sampleRate_ = 0;
  bitsPerSample_ = 0;
  fileSize_ = 0;
  formatTag_ = 0;
  dataSize_ = -1;
}

std::string TWAVfile::ChannelMode() const { return kChannelModes[channels_ <= 2 ? channels_ : 0]; }

bool TWAVfile::ReadFromFile(const std::string& path) {
  ResetData();
  FileSource src;
  if (!src.Open(path)) return false;
  return ReadFromSource(src);
}

bool TWAVfile::ReadFromMemory(const void* data, size_t size) {
  MemorySource src(data, size);
  return ReadFromSource(src);
}

bool TWAVfile::ReadFromSource(ByteSource& src) {
  ResetData();
  uint8_t h[44];
  if (src.ReadAt(0, h, 44) != 44) return false;
  if (std::memcmp(h, "RIFF", 4) != 0 || std::memcmp(h + 8, "WAVE", 4) != 0) return true;

  // Chunks in any order: "fmt " and "data" may follow other chunks such as "LIST".
  bool haveFormat = false;
  uint8_t fmt[40] = {};
  int64_t pos = 12;
  for (int i = 0; i < kMaxChunks && pos + 8 <= src.Size(); ++i) {
    uint8_t ch[8];
    if (src.ReadAt(pos, ch, 8) != 8) break;
    const int64_t size = LE32(ch + 4);
    if (!haveFormat && std::memcmp(ch, "fmt ", 4) == 0 && size >= 16) {
      if (src.ReadAt(pos + 8, fmt, size_t(std::min<int64_t>(size, 40))) < 16) break;
      haveFormat = true;
    } else if (dataSize_ < 0 && std::memcmp(ch, "data", 4) == 0) {
      // Streamed files leave the size at 0 or 0xFFFFFFFF: the data then runs to the end.
      const int64_t rest = src.Size() - (pos + 8);
      dataSize_ = (size == 0 || size > rest) ? std::max<int64_t>(rest, 0) : size;
    }
    if (haveFormat && dataSize_ >= 0) break;
    pos += 8 + size + (size & 1);
  }
  if (!haveFormat) return true;
  const uint16_t channels = LE16(fmt + 2);
  if (channels != 1 && channels != 2) return true;
  valid_ = true;
  channels_ = uint8_t(channels);
  sampleRate_ = int(LE32(fmt + 4));
  bitsPerSample_ = uint8_t(LE16(fmt + 14));
  formatTag_ = LE16(fmt);
  if (formatTag_ == 0xFFFE && LE16(fmt + 16) >= 22) formatTag_ = LE16(fmt + 24);
  fileSize_ = int64_t(LE32(h + 4)) + 8;
  return true;
}

double TWAVfile::Duration() const {
  if (!valid_ || sampleRate_ == 0 || bitsPerSample_ == 0 || channels_ == 0) return 0;
  const int64_t audio = dataSize_ >= 0 ? dataSize_ : fileSize_ - 44;
  return double(audio) * 8 / sampleRate_ / bitsPerSample_ / channels_;
}

}  // namespace tags
