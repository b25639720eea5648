// Stream header walks of our own (see HeaderWalks.h).
#include "HeaderWalks.h"

#include <algorithm>
#include <cstring>

namespace orvbass {

// The Vorbis comment header as a BASS tag list ("KEY=value\0...\0\0"). FFmpeg rewrites the header
// it keeps, so the original is read from the file's first Ogg pages.
std::string ParseVorbisComment(const std::vector<uint8_t>& p) {
  if (p.size() < 7 + 8 || p[0] != 3 || std::memcmp(p.data() + 1, "vorbis", 6) != 0) return {};
  size_t q = 7, end = p.size();
  auto rd32 = [&](uint32_t& v) {
    if (q + 4 > end) return false;
    v = uint32_t(p[q]) | uint32_t(p[q + 1]) << 8 | uint32_t(p[q + 2]) << 16 | uint32_t(p[q + 3]) << 24;
    q += 4;
    return true;
  };
  uint32_t vendor, count;
  if (!rd32(vendor) || vendor > end - q) return {};
  q += vendor;
  if (!rd32(count)) return {};
  std::string out;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t len;
    if (!rd32(len) || len > end - q) break;
    std::string s(reinterpret_cast<const char*>(p.data() + q), len);
    q += len;
    s = s.c_str();  // an embedded zero would cut the list
    if (s.empty()) continue;
    out += s;
    out += '\0';
  }
  out += '\0';
  return out;
}

std::string OggComments(const ReadAtFn& read) {
  std::vector<uint8_t> packet;
  int packets = 0;
  uint32_t serial = 0;
  bool first = true;
  QWORD pos = 0;
  auto next = [&](void* buf, size_t n) {
    if (n == 0) return true;  // an empty page body has no buffer to read into
    size_t got = read(pos, buf, n);
    pos += got;
    return got == n;
  };
  for (int page = 0; page < 64; ++page) {
    uint8_t h[27];
    if (!next(h, 27) || std::memcmp(h, "OggS", 4) != 0) break;
    uint32_t ser = uint32_t(h[14]) | uint32_t(h[15]) << 8 | uint32_t(h[16]) << 16 | uint32_t(h[17]) << 24;
    uint8_t lace[255];
    int nseg = h[26];
    if (!next(lace, size_t(nseg))) break;
    size_t body = 0;
    for (int i = 0; i < nseg; ++i) body += lace[i];
    std::vector<uint8_t> data(body);
    if (!next(data.data(), body)) break;
    if (first) {
      serial = ser;
      first = false;
    }
    if (ser != serial) continue;
    size_t at = 0;
    for (int i = 0; i < nseg; ++i) {
      if (packets == 1) packet.insert(packet.end(), data.begin() + long(at), data.begin() + long(at + lace[i]));
      at += lace[i];
      if (lace[i] < 255) {
        if (++packets == 2) return ParseVorbisComment(packet);
      }
    }
    if (packet.size() > (16u << 20)) break;
  }
  return {};
}

bool ParseMpegHeader(const uint8_t* h, MpegHeader& m) {
  if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return false;
  int v = (h[1] >> 3) & 3, l = (h[1] >> 1) & 3, bi = h[2] >> 4, si = (h[2] >> 2) & 3, pad = (h[2] >> 1) & 1;
  if (v == 1 || l == 0 || bi == 0 || bi == 15 || si == 3) return false;
  static const int kRates[3] = {44100, 48000, 32000};
  static const int kBr[5][15] = {
      {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
      {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
      {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
      {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
      {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}};
  m.version = v == 3 ? 1 : v == 2 ? 2 : 3;
  m.layer = 4 - l;
  m.rate = kRates[si] >> (m.version - 1);
  int table = m.version == 1 ? m.layer - 1 : (m.layer == 1 ? 3 : 4);
  int br = kBr[table][bi] * 1000;
  if (m.layer == 1) {
    m.size = (12 * br / m.rate + pad) * 4;
    m.spf = 384;
  } else if (m.layer == 2 || m.version == 1) {
    m.size = 144 * br / m.rate + pad;
    m.spf = 1152;
  } else {
    m.size = 72 * br / m.rate + pad;
    m.spf = 576;
  }
  m.mono = (h[3] >> 6) == 3;
  return m.size >= 4;
}

int64_t MpegLength(const ReadAtFn& read, QWORD size, QWORD start, std::vector<QWORD>& offsets, int& spf) {
  if (start > size) return -1;
  std::vector<uint8_t> buf(1 << 16);
  QWORD bufAt = start;
  size_t bufLen = read(start, buf.data(), buf.size());
  auto at = [&](QWORD pos, size_t n) -> const uint8_t* {
    if (pos < bufAt || pos + n > bufAt + bufLen) {
      bufAt = pos;
      bufLen = read(pos, buf.data(), buf.size());
      if (bufLen < n) return nullptr;
    }
    return buf.data() + (pos - bufAt);
  };
  // First frame: a valid header followed by another one.
  QWORD pos = start;
  MpegHeader first;
  for (int tries = 0;; ++tries, ++pos) {
    if (tries > 65536) return -1;
    const uint8_t* h = at(pos, 4);
    if (!h) return -1;
    MpegHeader m, n;
    if (!ParseMpegHeader(h, m)) continue;
    const uint8_t* h2 = at(pos + QWORD(m.size), 4);
    if (h2 && ParseMpegHeader(h2, n) && n.layer == m.layer && n.rate == m.rate) {
      first = m;
      break;
    }
    if (!h2 && pos + QWORD(m.size) == size) {
      first = m;
      break;
    }
  }
  // Xing / Info header in the first frame
  if (first.layer == 3) {
    int side = first.version == 1 ? (first.mono ? 17 : 32) : (first.mono ? 9 : 17);
    const uint8_t* x = at(pos, size_t(std::min<QWORD>(first.size, size - pos)));
    if (x && first.size >= 4 + side + 8 &&
        (std::memcmp(x + 4 + side, "Xing", 4) == 0 || std::memcmp(x + 4 + side, "Info", 4) == 0)) {
      const uint8_t* p = x + 4 + side + 4;
      const uint8_t* end = x + first.size;
      auto be32 = [](const uint8_t* q) { return uint32_t(q[0]) << 24 | uint32_t(q[1]) << 16 | uint32_t(q[2]) << 8 | q[3]; };
      uint32_t flags = be32(p);
      p += 4;
      int64_t frames = -1;
      if (flags & 1) {
        frames = be32(p);
        p += 4;
      }
      if (flags & 2) p += 4;
      if (flags & 4) p += 100;
      if (flags & 8) p += 4;
      int delay = 0, padding = 0;
      if (p + 24 <= end && (std::memcmp(p, "LAME", 4) == 0 || std::memcmp(p, "Lavf", 4) == 0 ||
                            std::memcmp(p, "Lavc", 4) == 0)) {
        const uint8_t* dp = p + 21;
        delay = (dp[0] << 4) | (dp[1] >> 4);
        padding = ((dp[1] & 0x0F) << 8) | dp[2];
      }
      if (frames > 0) return std::max<int64_t>(0, frames * first.spf - delay - padding);
    }
  }
  int64_t frames = 0;
  while (pos + 4 <= size) {
    const uint8_t* h = at(pos, 4);
    MpegHeader m;
    if (!h || !ParseMpegHeader(h, m) || m.layer != first.layer || m.rate != first.rate) break;
    if (pos + QWORD(m.size) > size) break;  // a cut last frame is not decoded
    ++frames;
    offsets.push_back(pos);
    pos += QWORD(m.size);
  }
  spf = first.spf;
  return frames * first.spf;
}

namespace {

// Size of the ID3v2 tag (header, body, footer) whose 10-byte header is "h"; 0 when it is none.
QWORD Id3v2Size(const uint8_t* h) {
  if (std::memcmp(h, "ID3", 3) != 0 || h[3] == 0xFF || h[4] == 0xFF || ((h[6] | h[7] | h[8] | h[9]) & 0x80)) return 0;
  QWORD n = (QWORD(h[6]) << 21 | QWORD(h[7]) << 14 | QWORD(h[8]) << 7 | h[9]) + 10;
  return (h[5] & 0x10) ? n + 10 : n;
}

}  // namespace

Id3Blocks ReadId3Blocks(const ReadAtFn& read, QWORD size) {
  Id3Blocks out;
  uint8_t h[10];
  if (size >= 10 && read(0, h, 10) == 10) {
    const QWORD tagSize = Id3v2Size(h);
    if (tagSize && tagSize <= size && tagSize < (64u << 20)) {
      out.v2.resize(size_t(tagSize));
      std::memcpy(out.v2.data(), h, 10);
      if (read(10, out.v2.data() + 10, size_t(tagSize - 10)) != tagSize - 10) out.v2.clear();
    }
  }
  if (size >= 128) {
    char t[128];
    if (read(size - 128, t, 128) == 128 && std::memcmp(t, "TAG", 3) == 0) out.v1.assign(t, 128);
  }
  return out;
}

bool ProbeMpegAudio(const ReadAtFn& read, QWORD size, MpegStart& out) {
  QWORD pos = 0;
  // Tags written one after the other (an editor that prepended a new one) are skipped alike.
  for (int tags = 0; tags < 8; ++tags) {
    uint8_t h[10];
    if (pos + 10 > size || read(pos, h, 10) != 10) return false;
    QWORD n = Id3v2Size(h);
    if (n == 0) break;
    pos += n;
    // Padding some writers leave behind the tag's own size.
    uint8_t z[512];
    for (QWORD limit = pos + 65536; pos < size && pos < limit;) {
      size_t got = read(pos, z, std::min<QWORD>(sizeof z, size - pos));
      if (got == 0) return false;
      size_t k = 0;
      while (k < got && z[k] == 0) ++k;
      pos += k;
      if (k < got) break;
    }
  }
  uint8_t h[4], h2[4];
  MpegHeader m, n;
  if (pos + 4 > size || read(pos, h, 4) != 4 || !ParseMpegHeader(h, m)) return false;
  const QWORD next = pos + QWORD(m.size);
  if (next > size) return false;
  bool followed = next == size;
  if (!followed && next + 4 <= size && read(next, h2, 4) == 4) {
    if (ParseMpegHeader(h2, n)) followed = n.version == m.version && n.layer == m.layer && n.rate == m.rate;
    else followed = next + 128 == size && std::memcmp(h2, "TAG", 3) == 0;
  }
  if (!followed) return false;
  out.firstFrame = pos;
  out.header = m;
  out.audioStart = pos;
  out.infoFrame = out.xing = false;
  if (m.layer == 3) {
    // The info frame of an encoder: Xing/Info after the side information, VBRI at a fixed place.
    const int side = m.version == 1 ? (m.mono ? 17 : 32) : (m.mono ? 9 : 17);
    uint8_t tag[40];
    size_t got = read(pos, tag, std::min<size_t>(sizeof tag, size_t(m.size)));
    if (got >= size_t(4 + side + 4) && (std::memcmp(tag + 4 + side, "Xing", 4) == 0 ||
                                        std::memcmp(tag + 4 + side, "Info", 4) == 0))
      out.infoFrame = out.xing = true;
    else if (got >= 40 && std::memcmp(tag + 36, "VBRI", 4) == 0)
      out.infoFrame = true;
    if (out.infoFrame) out.audioStart = next;
  }
  return true;
}

namespace {

uint32_t Le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t Le32(const uint8_t* p) { return Le16(p) | Le16(p + 2) << 16; }
uint64_t Le64(const uint8_t* p) { return uint64_t(Le32(p)) | uint64_t(Le32(p + 4)) << 32; }

// The "fmt " chunk of "csize" bytes whose start ("fmt" bytes, at most 40) is given. Follows how
// FFmpeg reads WAVEFORMAT(EX/EXTENSIBLE), so both agree on what the samples are.
bool ParseWaveFmt(const uint8_t* f, size_t have, uint32_t csize, PcmLayout& out) {
  if (csize < 16 || have < 16) return false;  // 14-byte WAVEFORMAT has no bit depth: FFmpeg's
  uint32_t tag = Le16(f);
  const uint32_t chans = Le16(f + 2), rate = Le32(f + 4), align = Le16(f + 12);
  uint32_t bits = Le16(f + 14);
  uint32_t extra = 0;  // bytes after the extensible part (FFmpeg's extradata)
  const uint8_t* extraAt = nullptr;
  uint32_t mask = 0;
  bool extensible = false;
  if (csize >= 18) {
    if (have < 18) return false;
    uint32_t cb = std::min<uint32_t>(Le16(f + 16), csize - 18);
    if (tag == 0xFFFE) {
      if (cb < 22 || have < 40) return false;
      static const uint8_t kBase[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
      if (std::memcmp(f + 28, kBase, 12) != 0) return false;
      if (Le16(f + 18)) bits = Le16(f + 18);  // valid bits, when named, are the depth
      mask = Le32(f + 20);
      tag = Le32(f + 24);
      extensible = true;
      cb -= 22;
      extraAt = f + 40;
    } else {
      extraAt = f + 18;
    }
    extra = cb;
  }
  if (tag == 0xFFFE) return false;
  if (chans < 1 || chans > 8 || rate < 1 || rate > 384000) return false;
  int bytes;
  if (tag == 1) {
    if (bits < 1 || bits > 32) return false;
    bytes = int(bits + 7) / 8;
    out.coding = bytes == 1   ? PcmCoding::U8
                 : bytes == 2 ? PcmCoding::S16
                 : bytes == 3 ? PcmCoding::S24
                              : PcmCoding::S32;
    // 32-bit PCM with a two-byte extra of 1 is FFmpeg's 16-bit float.
    if (bits == 32 && extra == 2) {
      if (!extraAt || size_t(extraAt - f) + 2 > have || Le16(extraAt) == 1) return false;
    }
  } else if (tag == 3) {
    if (bits != 32 && bits != 64) return false;
    bytes = int(bits / 8);
    out.coding = bits == 32 ? PcmCoding::F32 : PcmCoding::F64;
  } else {
    return false;
  }
  if (align != chans * uint32_t(bytes)) return false;
  out.chans = int(chans);
  out.rate = int(rate);
  out.bits = int(bits);
  out.frameBytes = int(align);
  // A mask that does not name as many speakers as there are channels is ignored (as by FFmpeg).
  out.plainStereo = chans == 2 && (!extensible || mask == 3 || __builtin_popcount(mask) != 2);
  return true;
}

// Whether 16-bit PCM data starts with what FFmpeg takes for IEC 61937 (S/PDIF) bursts of
// compressed audio: it looks at the first 64 KB for their sync words.
bool LooksLikeSpdif(const ReadAtFn& read, QWORD start, QWORD size) {
  std::vector<uint8_t> b(size_t(std::min<QWORD>(65536, size - std::min(size, start))));
  b.resize(read(start, b.data(), b.size()));
  static const uint8_t kSync[4] = {0x72, 0xF8, 0x1F, 0x4E};
  return std::search(b.begin(), b.end(), kSync, kSync + 4) != b.end();
}

}  // namespace

RiffDamage FindRiffDamage(const ReadAtFn& read, QWORD size) {
  RiffDamage out;
  uint8_t h[12];
  if (size < 12 || read(0, h, 12) != 12 || std::memcmp(h + 8, "WAVE", 4) != 0) return out;
  if (std::memcmp(h, "RIFF", 4) != 0 && std::memcmp(h, "RF64", 4) != 0 && std::memcmp(h, "BW64", 4) != 0)
    return out;
  for (QWORD pos = 12; pos + 8 <= size;) {
    uint8_t c[8];
    if (read(pos, c, 8) != 8) break;
    const uint32_t csize = Le32(c + 4);
    const QWORD next = pos + 8 + csize;
    if (std::memcmp(c, "data", 4) == 0) {
      // The audio may run to the end without a size (a recording still going on, RF64's
      // 0xFFFFFFFF): what follows it is not looked at.
      if (csize == 0 || next > size) break;
      out.afterAudio = true;
    } else if (next > size) {
      out.at = pos;
      break;
    }
    pos = next + (next & 1);
  }
  return out;
}

bool WalkRiffWave(const ReadAtFn& read, QWORD size, PcmLayout& out) {
  uint8_t h[12];
  if (size < 44 || read(0, h, 12) != 12 || std::memcmp(h + 8, "WAVE", 4) != 0) return false;
  const bool riff = std::memcmp(h, "RIFF", 4) == 0;
  const bool rf64 = std::memcmp(h, "RF64", 4) == 0, bw64 = std::memcmp(h, "BW64", 4) == 0;
  if (!riff && !rf64 && !bw64) return false;  // RIFX (big-endian) is FFmpeg's
  QWORD pos = 12;
  uint64_t ds64Data = 0;
  if (rf64 || bw64) {
    uint8_t d[32];
    if (read(12, d, 32) != 32 || std::memcmp(d, "ds64", 4) != 0 || Le32(d + 4) < 24) return false;
    ds64Data = Le64(d + 16);
    if (ds64Data >> 63) return false;
    pos = 20 + QWORD(Le32(d + 4));  // not padded
  }
  bool gotFmt = false, gotData = false;
  QWORD dataStart = 0, dataEnd = 0;
  for (int chunks = 0; chunks < 65536; ++chunks) {
    uint8_t c[8];
    if (pos >= size || read(pos, c, 8) != 8) break;
    const uint32_t csize = Le32(c + 4);
    QWORD next = pos + 8 + csize;
    if (std::memcmp(c, "fmt ", 4) == 0) {
      if (!gotFmt) {
        uint8_t f[40];
        size_t have = read(pos + 8, f, std::min<size_t>(40, csize));
        if (!ParseWaveFmt(f, have, csize, out)) return false;
      }
      gotFmt = true;
    } else if (std::memcmp(c, "data", 4) == 0) {
      if (!gotData) {
        dataStart = pos + 8;
        if (rf64 || bw64) dataEnd = next = dataStart + ds64Data;
        else dataEnd = (csize == 0 || csize == 0xFFFFFFFF) ? QWORD(-1) : next;
        gotData = true;
      }
      // A data chunk without a size (a recording still going on) runs to the end.
      if (dataEnd == QWORD(-1) || dataEnd >= size) break;
    } else if (std::memcmp(c, "XMA2", 4) == 0) {
      if (!gotFmt) return false;
    } else if (std::memcmp(c, "SMV0", 4) == 0) {
      return false;
    } else if (std::memcmp(c, "LIST", 4) == 0 || std::memcmp(c, "list", 4) == 0) {
      if (csize < 4) return false;
    }
    if (next >= size) break;
    pos = next + (next & 1);
  }
  if (!gotFmt || !gotData) return false;
  const QWORD end = std::min(dataEnd, size);
  out.dataStart = dataStart;
  out.frames = end > dataStart ? (end - dataStart) / QWORD(out.frameBytes) : 0;
  out.bigEndian = false;
  out.aiff = false;
  if (out.frames == 0) return false;
  if (out.coding != PcmCoding::F32 && out.coding != PcmCoding::F64 && LooksLikeSpdif(read, dataStart, size))
    return false;
  return true;
}

namespace {

uint32_t Be16(const uint8_t* p) { return uint32_t(p[0]) << 8 | p[1]; }
uint32_t Be32(const uint8_t* p) { return Be16(p) << 16 | Be16(p + 2); }
uint64_t Be64(const uint8_t* p) { return uint64_t(Be32(p)) << 32 | Be32(p + 4); }

// The COMM chunk (its first "have" bytes; "csize" in all). "aifc": the file is AIFF-C of the first
// version, so the chunk names its compression. Reads as FFmpeg does.
bool ParseComm(const uint8_t* c, size_t have, uint32_t csize, bool aifc, PcmLayout& out) {
  if (csize < 18 || have < 18 || (csize & 1)) return false;
  const uint32_t chans = Be16(c), bits = Be16(c + 6);
  // The 80-bit extended rate: exponent and 64-bit mantissa, rounded to an integer.
  const int exp = int(Be16(c + 8)) - 16383 - 63;
  const uint64_t mant = Be64(c + 10);
  if (exp < -63 || exp > 63) return false;
  const uint64_t r = exp >= 0 ? mant << exp : (mant + (1ULL << (-exp - 1))) >> -exp;
  const int32_t rate = int32_t(uint32_t(r));
  if (rate < 1 || rate > 384000 || chans < 1 || chans > 8) return false;
  uint8_t tag[4] = {'N', 'O', 'N', 'E'};
  if (aifc && csize >= 22) {
    if (have < 22) return false;
    std::memcpy(tag, c + 18, 4);
  }
  int bytes;
  out.bigEndian = true;
  if (std::memcmp(tag, "NONE", 4) == 0 || std::memcmp(tag, "twos", 4) == 0) {
    if (bits > 32) return false;
    bytes = bits <= 8 ? 1 : bits <= 16 ? 2 : bits <= 24 ? 3 : 4;
    out.coding = bytes == 1   ? PcmCoding::S8
                 : bytes == 2 ? PcmCoding::S16
                 : bytes == 3 ? PcmCoding::S24
                              : PcmCoding::S32;
    out.bits = bytes * 8;
  } else if (std::memcmp(tag, "sowt", 4) == 0) {
    bytes = 2;
    out.coding = PcmCoding::S16;
    out.bigEndian = false;
    out.bits = int(bits);
  } else if (std::memcmp(tag, "in24", 4) == 0) {
    bytes = 3;
    out.coding = PcmCoding::S24;
    out.bits = 24;
  } else if (std::memcmp(tag, "in32", 4) == 0) {
    bytes = 4;
    out.coding = PcmCoding::S32;
    out.bits = 32;
  } else if (std::memcmp(tag, "fl32", 4) == 0) {
    bytes = 4;
    out.coding = PcmCoding::F32;
    out.bits = int(bits);
  } else if (std::memcmp(tag, "fl64", 4) == 0) {
    bytes = 8;
    out.coding = PcmCoding::F64;
    out.bits = int(bits);
  } else {
    return false;
  }
  out.chans = int(chans);
  out.rate = rate;
  out.frameBytes = bytes * int(chans);
  out.plainStereo = chans == 2;
  return true;
}

}  // namespace

bool WalkAiff(const ReadAtFn& read, QWORD size, PcmLayout& out) {
  uint8_t h[12];
  if (size < 12 || read(0, h, 12) != 12 || std::memcmp(h, "FORM", 4) != 0 || Be32(h + 4) < 4) return false;
  bool aifc;
  if (std::memcmp(h + 8, "AIFF", 4) == 0) aifc = false;
  else if (std::memcmp(h + 8, "AIFC", 4) == 0) aifc = true;
  else return false;
  // The chunks within the FORM's declared size are the file's.
  int64_t left = int64_t(Be32(h + 4)) - 4;
  QWORD pos = 12;
  bool gotComm = false, gotSsnd = false, gotChan = false;
  QWORD dataStart = 0, dataEnd = 0;
  for (int chunks = 0; left > 0 && chunks < 65536; ++chunks) {
    uint8_t c[8];
    if (read(pos, c, 8) != 8) break;
    const uint32_t csize = Be32(c + 4);
    left -= int64_t(csize) + 8;
    if (std::memcmp(c, "COMM", 4) == 0) {
      uint8_t comm[22];
      const size_t have = read(pos + 8, comm, std::min<size_t>(22, csize));
      if (!ParseComm(comm, have, csize, aifc, out)) return false;
      gotComm = true;
      if (gotSsnd) break;
    } else if (std::memcmp(c, "SSND", 4) == 0) {
      uint8_t o[4];
      if (gotSsnd || csize < 8 || read(pos + 8, o, 4) != 4) return false;
      dataEnd = pos + 8 + csize;
      dataStart = pos + 16 + Be32(o);
      gotSsnd = true;
    } else if (std::memcmp(c, "FVER", 4) == 0) {
      uint8_t v[4];
      if (read(pos + 8, v, 4) != 4) return false;
      aifc = Be32(v) == 0xA2805140;
    } else if (std::memcmp(c, "CHAN", 4) == 0) {
      // Speaker positions: they only matter to a downmix, which then is FFmpeg's.
      if (csize < 12) return false;
      gotChan = true;
    } else if (std::memcmp(c, "wave", 4) == 0 || std::memcmp(c, "APCM", 4) == 0) {
      return false;
    } else if (c[0] == 0 && c[1] == 0 && c[2] == 0 && c[3] == 0 && gotSsnd && gotComm) {
      break;
    }
    pos += 8 + QWORD(csize) + (csize & 1);
    left -= csize & 1;
    if (pos >= size) break;
  }
  if (!gotComm || !gotSsnd) return false;
  const QWORD end = std::min(dataEnd, size);
  out.dataStart = dataStart;
  out.frames = end > dataStart ? (end - dataStart) / QWORD(out.frameBytes) : 0;
  out.aiff = true;
  if (gotChan) out.plainStereo = false;
  return out.frames > 0;
}

}  // namespace orvbass
