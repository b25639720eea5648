#include "tags/WMAfile.h"

#include <cmath>
#include <cstring>

#include "platform/Encoding.h"
#include "tags/ByteSource.h"
#include "tags/TextUtil.h"

namespace tags {

namespace {

// GUIDs as stored in the file (first three fields little-endian).
constexpr uint8_t kHeaderObject[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                       0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr uint8_t kFileProperties[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                         0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr uint8_t kStreamProperties[16] = {0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11,
                                           0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr uint8_t kContentDescription[16] = {0x33, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                             0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr uint8_t kExtendedContent[16] = {0x40, 0xA4, 0xD0, 0xD2, 0x07, 0xE3, 0xD2, 0x11,
                                          0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50};
constexpr size_t kMaxChars = 250;
const char* const kChannelModes[] = {"Unknown", "Mono", "Stereo", "3Ch", "4Ch", "5Ch", "5.1Ch"};

// Sequential reader over the source; any short read marks it failed.
struct Cursor {
  ByteSource& src;
  int64_t pos;
  bool ok = true;
  bool eof = false;
  bool Read(void* dst, size_t n) {
    if (!ok) return false;
    int64_t got = src.ReadAt(pos, dst, n);
    if (got < 0) ok = false;
    if (got != int64_t(n)) {
      eof = true;
      return false;
    }
    pos += int64_t(n);
    return true;
  }
  uint16_t U16() {
    uint8_t b[2] = {};
    Read(b, 2);
    return LE16(b);
  }
  uint32_t U32() {
    uint8_t b[4] = {};
    Read(b, 4);
    return LE32(b);
  }
  // A UTF-16 little-endian string of byteLength bytes; at most 250 characters are kept.
  std::string String(size_t byteLength) {
    std::string raw(std::min(byteLength, kMaxChars * 2), '\0');
    if (!Read(raw.data(), raw.size())) return {};
    pos += int64_t(byteLength - raw.size());
    std::string text = platform::Utf16LEToUtf8(raw);
    return std::string(CutAtZero(text));
  }
};

}  // namespace

void TWMAfile::ResetData() {
  valid_ = false;
  fileSize_ = 0;
  channels_ = 0;
  sampleRate_ = 0;
  duration_ = 0;
  bitRate_ = 0;
  title_.clear();
  artist_.clear();
  album_.clear();
  track_ = 0;
  year_.clear();
  genre_.clear();
  comment_.clear();
}

std::string TWMAfile::ChannelMode() const { return kChannelModes[channels_ >= 0 && channels_ <= 6 ? channels_ : 0]; }

bool TWMAfile::ReadFromFile(const std::string& path) {
  ResetData();
  FileSource src;
  if (!src.Open(path)) return false;
  return ReadFromSource(src);
}

bool TWMAfile::ReadFromMemory(const void* data, size_t size) {
  MemorySource src(data, size);
  return ReadFromSource(src);
}

bool TWMAfile::ReadFromSource(ByteSource& src) {
  ResetData();
  fileSize_ = src.Size();
  Cursor c{src, 0};
  uint8_t guid[16];
  if (!c.Read(guid, 16)) return c.ok;
  if (std::memcmp(guid, kHeaderObject, 16) != 0) return true;
  c.pos += 8;
  const uint32_t objects = c.U32();
  c.pos += 2;

  uint32_t maxBitRate = 0, avgBytes = 0;
  double playSeconds = 0;
  int channels = 0, sampleRate = 0;
  std::string title, artist, album, track, year, genre, comment;
  for (uint32_t i = 0; i < objects && c.ok && !c.eof; ++i) {
    const int64_t start = c.pos;
    if (!c.Read(guid, 16)) break;
    const uint32_t size = c.U32();
    if (size < 24 || c.eof) break;
    if (std::memcmp(guid, kFileProperties, 16) == 0) {
      c.pos += 44;
      const uint64_t play = uint64_t(c.U32()) | (uint64_t(c.U32()) << 32);
      c.pos += 8;
      const uint64_t preroll = uint64_t(c.U32()) | (uint64_t(c.U32()) << 32);
      c.pos += 12;
      maxBitRate = c.U32();
      // Play duration is in 100 ns units and includes the preroll (given in ms).
      if (play / 10000 > preroll) playSeconds = double(play / 10000 - preroll) / 1000.0;
    } else if (std::memcmp(guid, kStreamProperties, 16) == 0) {
      c.pos += 60;
      channels = c.U16();
      sampleRate = int(c.U32());
      avgBytes = c.U32();
    } else if (std::memcmp(guid, kContentDescription, 16) == 0) {
      c.pos += 4;
      uint16_t len[5];
      for (uint16_t& l : len) l = c.U16();
      std::string* into[5] = {&title, &artist, nullptr, &comment, nullptr};
      for (int k = 0; k < 5; ++k) {
        if (len[k] == 0) continue;
        std::string s = c.String(len[k]);
        if (into[k]) *into[k] = s;
      }
    } else if (std::memcmp(guid, kExtendedContent, 16) == 0) {
      c.pos += 4;
      const uint16_t count = c.U16();
      for (uint16_t k = 0; k < count && c.ok && !c.eof; ++k) {
        const std::string name = UpperAscii(Trim(c.String(c.U16())));
        const uint16_t type = c.U16();
        const uint16_t valueLength = c.U16();
        if (type != 0) {
          c.pos += valueLength;
          continue;
        }
        const std::string value = c.String(valueLength);
        if (name == "WM/TITLE") title = value;
        else if (name == "WM/AUTHOR") artist = value;
        else if (name == "WM/ALBUMTITLE") album = value;
        else if (name == "WM/TRACK") track = value;
        else if (name == "WM/YEAR") year = value;
        else if (name == "WM/GENRE") genre = value;
        else if (name == "WM/DESCRIPTION") comment = value;
      }
    }
    c.pos = start + size;
  }
  if (!c.ok) return false;

  valid_ = maxBitRate > 0 && maxBitRate < 320000 && channels >= 1 && channels <= 6 && sampleRate >= 8000 &&
           sampleRate <= 96000 && avgBytes > 0 && avgBytes < 40000;
  if (valid_) {
    channels_ = channels;
    sampleRate_ = sampleRate;
    // The header's play duration is exact; the size-based estimate only stands in when it is missing.
    duration_ = playSeconds > 0 ? playSeconds : double(fileSize_) * 8 / maxBitRate;
    bitRate_ = int(std::lround(avgBytes * 8 / 1000.0));
    title_ = Trim(title);
    artist_ = Trim(artist);
    album_ = Trim(album);
    track_ = int(StrToIntDef(Trim(track), 0));
    year_ = Trim(year);
    genre_ = Trim(genre);
    comment_ = Trim(comment);
  }
  return true;
}

}  // namespace tags
