#include "SoundFont.h"

#include <algorithm>
#include <cstring>

namespace orvmidi {
namespace {

uint32_t Le32(const uint8_t* p) { return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]; }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[1] << 8 | p[0]); }

bool Fail(std::string* error, const char* what) {
  if (error) *error = what;
  return false;
}

// INFO texts are short; anything longer than this is cut.
constexpr uint32_t kMaxText = 65536;
constexpr uint32_t kMaxPresetBytes = 38u * 65536;

std::string Text(const std::vector<uint8_t>& b) {
  size_t n = 0;
  while (n < b.size() && b[n]) ++n;
  return std::string(reinterpret_cast<const char*>(b.data()), n);
}

}  // namespace

bool ReadSoundFont(const ReadAt& read, uint64_t fileSize, SoundFontInfo* info, std::string* error) {
  *info = SoundFontInfo{};
  uint8_t h[12];
  if (fileSize < 12 || read(0, h, 12) != 12) return Fail(error, "too short");
  if (std::memcmp(h, "RIFF", 4) != 0 || std::memcmp(h + 8, "sfbk", 4) != 0) return Fail(error, "not a soundfont");
  uint64_t end = std::min<uint64_t>(fileSize, 8 + uint64_t(Le32(h + 4)));
  bool haveInfo = false, haveSamples = false, havePresets = false;
  uint64_t pos = 12;
  while (pos + 12 <= end) {
    uint8_t lh[12];
    if (read(pos, lh, 12) != 12) return Fail(error, "read error");
    uint64_t len = Le32(lh + 4);
    if (std::memcmp(lh, "LIST", 4) != 0 || len < 4 || len > end - pos - 8) {
      if (len > end - pos - 8) return Fail(error, "chunk past the end");
      pos += 8 + len + (len & 1);
      continue;
    }
    uint64_t sub = pos + 12, subEnd = pos + 8 + len;
    while (sub + 8 <= subEnd) {
      uint8_t ch[8];
      if (read(sub, ch, 8) != 8) return Fail(error, "read error");
      uint64_t clen = Le32(ch + 4);
      if (clen > subEnd - sub - 8) return Fail(error, "sub-chunk past its list");
      uint64_t data = sub + 8;
      if (std::memcmp(lh + 8, "INFO", 4) == 0) {
        haveInfo = true;
        std::string* target = std::memcmp(ch, "INAM", 4) == 0   ? &info->name
                              : std::memcmp(ch, "ICOP", 4) == 0 ? &info->copyright
                              : std::memcmp(ch, "ICMT", 4) == 0 ? &info->comment
                                                                : nullptr;
        if (target) {
          std::vector<uint8_t> b(size_t(std::min<uint64_t>(clen, kMaxText)));
          if (read(data, b.data(), b.size()) != b.size()) return Fail(error, "read error");
          *target = Text(b);
        }
      } else if (std::memcmp(lh + 8, "sdta", 4) == 0) {
        if (std::memcmp(ch, "smpl", 4) == 0 || std::memcmp(ch, "sm24", 4) == 0) {
          info->sampleBytes += clen;
          haveSamples = true;
        }
      } else if (std::memcmp(lh + 8, "pdta", 4) == 0 && std::memcmp(ch, "phdr", 4) == 0) {
        if (clen % 38 != 0 || clen < 38 || clen > kMaxPresetBytes) return Fail(error, "bad preset headers");
        std::vector<uint8_t> b(static_cast<size_t>(clen));
        if (read(data, b.data(), b.size()) != b.size()) return Fail(error, "read error");
        // The last record ("EOP") only terminates the list.
        for (size_t r = 0; r + 1 < b.size() / 38; ++r) {
          const uint8_t* p = b.data() + r * 38;
          size_t n = 0;
          while (n < 20 && p[n]) ++n;
          info->presets.push_back({std::string(reinterpret_cast<const char*>(p), n), Le16(p + 20), Le16(p + 22)});
        }
        havePresets = true;
      }
      sub = data + clen + (clen & 1);
    }
    pos += 8 + len + (len & 1);
  }
  if (!haveInfo || !haveSamples || !havePresets) return Fail(error, "incomplete soundfont");
  return true;
}

}  // namespace orvmidi
