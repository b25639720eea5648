#include "Mp4Length.h"

#include <cstring>

namespace orvaddon {
namespace {

uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
uint64_t Be64(const uint8_t* p) { return uint64_t(Be32(p)) << 32 | Be32(p + 4); }

struct Walker {
  const Mp4Read& read;
  int boxes = 0;  // bound on the work a hostile file can cause

  // Calls "visit(type, dataStart, dataEnd)" for each box in [start, end); false on a bad size.
  template <class F> bool Each(uint64_t start, uint64_t end, F visit) {
    uint64_t pos = start;
    while (pos + 8 <= end) {
      if (++boxes > 100000) return false;
      uint8_t h[16];
      if (read(pos, h, 8) != 8) return false;
      uint64_t size = Be32(h), header = 8;
      if (size == 1) {
        if (pos + 16 > end || read(pos + 8, h + 8, 8) != 8) return false;
        size = Be64(h + 8);
        header = 16;
      } else if (size == 0) {
        size = end - pos;
      }
      if (size < header || size > end - pos) return false;
      if (!visit(h + 4, pos + header, pos + size)) return false;
      pos += size;
    }
    return true;
  }
};

}  // namespace

bool ReadMp4Audio(const Mp4Read& read, uint64_t fileSize, Mp4Audio* out) {
  Walker w{read};
  bool found = false;
  auto trak = [&](uint64_t s, uint64_t e) {
    Mp4Audio a;
    bool sound = false, haveFrames = false;
    std::function<bool(const uint8_t*, uint64_t, uint64_t)> visit = [&](const uint8_t* type, uint64_t ds,
                                                                      uint64_t de) -> bool {
      if (!std::memcmp(type, "mdia", 4) || !std::memcmp(type, "minf", 4) || !std::memcmp(type, "stbl", 4) ||
          !std::memcmp(type, "edts", 4))
        return w.Each(ds, de, visit);
      uint8_t b[40];
      if (!std::memcmp(type, "hdlr", 4)) {
        if (de - ds >= 12 && read(ds, b, 12) == 12) sound = !std::memcmp(b + 8, "soun", 4);
      } else if (!std::memcmp(type, "mdhd", 4)) {
        if (de - ds >= 24 && read(ds, b, 24) == 24) a.timescale = Be32(b + (b[0] == 1 ? 20 : 12));
      } else if (!std::memcmp(type, "stsz", 4)) {
        if (de - ds >= 12 && read(ds, b, 12) == 12) {
          a.frames = Be32(b + 8);
          haveFrames = true;
        }
      } else if (!std::memcmp(type, "elst", 4)) {
        // Version 0 entries hold 32-bit times (20 bytes with the header), version 1 64-bit (28).
        if (de - ds >= 20 && read(ds, b, 20) == 20 && Be32(b + 4) >= 1) {
          int64_t media = int64_t(int32_t(Be32(b + 12)));
          if (b[0] == 1) media = de - ds >= 28 && read(ds, b, 28) == 28 ? int64_t(Be64(b + 16)) : 0;
          a.skip = media > 0 ? uint64_t(media) : 0;
        }
      } else if (!std::memcmp(type, "stsd", 4)) {
        // Version/flags, entry count, then the first sample entry: an audio entry has its rate
        // (16.16) 32 bytes into the entry.
        if (de - ds >= 8 + 36 && read(ds + 8, b, 36) == 36) a.sampleRate = Be32(b + 32) >> 16;
      }
      return true;
    };
    if (!w.Each(s, e, visit)) return false;
    if (sound && haveFrames && !found) {
      *out = a;
      found = true;
    }
    return true;
  };
  bool ok = w.Each(0, fileSize, [&](const uint8_t* type, uint64_t ds, uint64_t de) {
    if (std::memcmp(type, "moov", 4) != 0) return true;
    return w.Each(ds, de, [&](const uint8_t* t, uint64_t s, uint64_t e) {
      return std::memcmp(t, "trak", 4) == 0 ? trak(s, e) : true;
    });
  });
  return ok && found;
}

}  // namespace orvaddon
