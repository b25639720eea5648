#include "tags/AACfile.h"

#include <cmath>
#include <cstring>

#include "tags/ByteSource.h"
#include "tags/TextUtil.h"

namespace tags {

namespace {

constexpr int kSampleRates[16] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050,
                                  16000, 12000, 11025, 8000,  0,     0,     0,     0};
const char* const kHeaderTypes[] = {"Unknown", "ADIF", "ADTS"};
const char* const kVersions[] = {"Unknown", "MPEG-2", "MPEG-4"};
const char* const kProfiles[] = {"Unknown", "AAC Main", "AAC LC", "AAC SSR", "AAC LTP"};
const char* const kBitRateTypes[] = {"Unknown", "CBR", "VBR"};

// n bits (n <= 25) at bit position p of buf: the 4 bytes at p / 8 as a big-endian number,
// shifted left by p mod 8, top n bits kept. buf must hold 4 bytes from p / 8.
uint32_t Bits(const uint8_t* buf, int p, int n) {
  uint32_t v = BE32(buf + p / 8) << (p % 8);
  return v >> (32 - n);
}

}  // namespace

void TAACfile::ResetData() {
  fileSize_ = 0;
  headerTypeID_ = mpegVersionID_ = profileID_ = channels_ = 0;
  sampleRate_ = 0;
  bitRate_ = 0;
  bitRateTypeID_ = 0;
  frames_ = 0;
  id3v1_.ResetData();
  id3v2_.ResetData();
  ape_.ResetData();
}

bool TAACfile::ReadFromFile(const std::string& path) {
  ResetData();
  FileSource src;
  if (!src.Open(path)) return false;
  return ReadFromSource(src);
}

bool TAACfile::ReadFromMemory(const void* data, size_t size) {
  MemorySource src(data, size);
  return ReadFromSource(src);
}

bool TAACfile::ReadFromSource(ByteSource& src) {
  ResetData();
  if (!id3v2_.ReadFromSource(src) || !id3v1_.ReadFromSource(src) || !ape_.ReadFromSource(src)) return false;
  fileSize_ = src.Size();
  const int64_t start = id3v2_.TagSize();
  uint8_t head[4];
  int64_t got = src.ReadAt(start, head, 4);
  if (got < 0) return false;
  if (got == 4 && std::memcmp(head, "ADIF", 4) == 0) return ReadADIF(src, start);
  if (got == 4 && head[0] == 0xFF && (head[1] & 0xF0) == 0xF0) return ReadADTS(src, start);
  return true;
}

bool TAACfile::ReadADIF(ByteSource& src, int64_t start) {
  headerTypeID_ = 1;
  uint8_t buf[40] = {};
  if (src.ReadAt(start, buf, 32) < 0) return false;
  int p = Bits(buf, 32, 1) ? 107 : 35;
  bitRateTypeID_ = Bits(buf, p, 1) ? 2 : 1;
  bitRate_ = int(Bits(buf, p + 1, 23));
  p += bitRateTypeID_ == 1 ? 52 : 32;
  mpegVersionID_ = 2;
  profileID_ = uint8_t(Bits(buf, p, 2) + 1);
  sampleRate_ = kSampleRates[Bits(buf, p + 2, 4)];
  channels_ = uint8_t(Bits(buf, p + 6, 4) + Bits(buf, p + 10, 4) + Bits(buf, p + 14, 4) + Bits(buf, p + 18, 2));
  return true;
}

bool TAACfile::ReadADTS(ByteSource& src, int64_t start) {
  headerTypeID_ = 2;
  int64_t o = 0;
  int frames = 0;
  uint8_t h[12];
  while (start + o < fileSize_) {
    std::memset(h, 0, sizeof h);
    if (src.ReadAt(start + o, h, 8) < 0) return false;
    // Whatever follows the last frame (a tag, junk) ends the walk without being counted.
    if (Bits(h, 0, 12) != 0xFFF) break;
    ++frames;
    mpegVersionID_ = Bits(h, 12, 1) ? 1 : 2;
    profileID_ = uint8_t(Bits(h, 16, 2) + 1);
    sampleRate_ = kSampleRates[Bits(h, 18, 4)];
    channels_ = uint8_t(Bits(h, 23, 3));
    // Frame length and buffer fullness sit at the same place in MPEG-2 and MPEG-4 headers.
    const int frameLength = int(Bits(h, 30, 13));
    bitRateTypeID_ = Bits(h, 43, 11) == 0x7FF ? 2 : 1;
    if (frameLength < 7) break;
    o += frameLength;
    if (bitRateTypeID_ == 1) break;
  }
  frames_ = frames;
  if (frames > 0) bitRate_ = int(std::lround(sampleRate_ * (double(o) * 8 / 1024 / frames)));
  return true;
}

double TAACfile::Duration() const {
  if (bitRate_ == 0) return 0;
  return double(fileSize_ - id3v2_.TagSize()) * 8 / bitRate_;
}

bool TAACfile::Valid() const { return headerTypeID_ != 0 && channels_ != 0 && sampleRate_ != 0 && bitRate_ != 0; }

std::string TAACfile::HeaderType() const { return kHeaderTypes[headerTypeID_ <= 2 ? headerTypeID_ : 0]; }
std::string TAACfile::Version() const { return kVersions[mpegVersionID_ <= 2 ? mpegVersionID_ : 0]; }
std::string TAACfile::Profile() const { return kProfiles[profileID_ <= 4 ? profileID_ : 0]; }
std::string TAACfile::BitRateType() const { return kBitRateTypes[bitRateTypeID_ <= 2 ? bitRateTypeID_ : 0]; }

}  // namespace tags
