#include "AsfHeader.h"

#include <cstring>

namespace orvwma {
namespace {

// GUIDs as stored in the file (little-endian first three fields).
const uint8_t kHeader[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                             0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const uint8_t kFileProps[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const uint8_t kStreamProps[16] = {0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11,
                                  0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const uint8_t kContentDesc[16] = {0x33, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                  0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const uint8_t kExtContentDesc[16] = {0x40, 0xA4, 0xD0, 0xD2, 0x07, 0xE3, 0xD2, 0x11,
                                     0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50};
const uint8_t kStreamBitrate[16] = {0xCE, 0x75, 0xF8, 0x7B, 0x8D, 0x46, 0xD1, 0x11,
                                    0x8D, 0x82, 0x00, 0x60, 0x97, 0xC9, 0xA2, 0xB2};
const uint8_t kAudioMedia[16] = {0x40, 0x9E, 0x69, 0xF8, 0x4D, 0x5B, 0xCF, 0x11,
                                 0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint64_t Le64(const uint8_t* p) { return uint64_t(Le32(p)) | uint64_t(Le32(p + 4)) << 32; }

bool Fail(std::string* error, const char* what) {
  if (error) *error = what;
  return false;
}

void PutUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out.push_back(char(c));
  } else if (c < 0x800) {
    out.push_back(char(0xC0 | c >> 6));
    out.push_back(char(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(char(0xE0 | c >> 12));
    out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(char(0x80 | (c & 0x3F)));
  } else {
    out.push_back(char(0xF0 | c >> 18));
    out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(char(0x80 | (c & 0x3F)));
  }
}

// UTF-16LE to UTF-8, up to the first zero; bad surrogates become U+FFFD.
std::string Utf16(const uint8_t* p, size_t bytes) {
  std::string out;
  for (size_t i = 0; i + 1 < bytes; i += 2) {
    uint32_t c = Le16(p + i);
    if (c == 0) break;
    if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes) {
      uint32_t d = Le16(p + i + 2);
      if (d >= 0xDC00 && d < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (d - 0xDC00);
        i += 2;
      } else {
        c = 0xFFFD;
      }
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    PutUtf8(out, c);
  }
  return out;
}

bool ParseExtContent(const uint8_t* p, size_t n, AsfInfo* info) {
  if (n < 2) return false;
  uint16_t count = Le16(p);
  size_t i = 2;
  for (uint16_t k = 0; k < count; ++k) {
    if (i + 2 > n) return false;
    uint16_t nameLen = Le16(p + i);
    i += 2;
    if (nameLen > n - i) return false;
    std::string name = Utf16(p + i, nameLen);
    i += nameLen;
    if (i + 4 > n) return false;
    uint16_t type = Le16(p + i), valueLen = Le16(p + i + 2);
    i += 4;
    if (valueLen > n - i) return false;
    const uint8_t* v = p + i;
    i += valueLen;
    std::string value;
    switch (type) {
      case 0: value = Utf16(v, valueLen); break;
      case 2: value = valueLen >= 4 && Le32(v) ? "1" : "0"; break;
      case 3: if (valueLen >= 4) value = std::to_string(Le32(v)); break;
      case 4: if (valueLen >= 8) value = std::to_string(Le64(v)); break;
      case 5: if (valueLen >= 2) value = std::to_string(Le16(v)); break;
      default: continue;  // byte arrays (pictures...) are no text
    }
    if (!name.empty()) info->attributes.emplace_back(name, value);
  }
  return true;
}

}  // namespace

uint64_t AsfHeaderSize(const uint8_t* data, size_t size) {
  if (size < 30 || std::memcmp(data, kHeader, 16) != 0) return 0;
  uint64_t s = Le64(data + 16);
  return s >= 30 ? s : 0;
}

bool ParseAsfHeader(const uint8_t* data, size_t size, AsfInfo* info, std::string* error) {
  *info = AsfInfo{};
  uint64_t hsize = AsfHeaderSize(data, size);
  if (!hsize) return Fail(error, "not an ASF header");
  if (hsize > size) return Fail(error, "header truncated");
  uint32_t objects = Le32(data + 24);
  size_t pos = 30;
  uint32_t maxBitrate = 0, streamBitrate = 0;
  for (uint32_t k = 0; k < objects && pos + 24 <= hsize; ++k) {
    const uint8_t* o = data + pos;
    uint64_t osize = Le64(o + 16);
    if (osize < 24 || osize > hsize - pos) return Fail(error, "object past the header");
    const uint8_t* d = o + 24;
    size_t n = size_t(osize - 24);
    if (std::memcmp(o, kFileProps, 16) == 0) {
      if (n < 80) return Fail(error, "short file properties");
      info->fileSize = Le64(d + 16);
      uint64_t play = Le64(d + 40), preroll = Le64(d + 56);
      uint64_t ms = play / 10000;
      info->durationMs = ms > preroll ? ms - preroll : 0;
      info->seekable = (Le32(d + 64) & 2) != 0;
      info->broadcast = (Le32(d + 64) & 1) != 0;
      maxBitrate = Le32(d + 76);
    } else if (std::memcmp(o, kContentDesc, 16) == 0) {
      if (n < 10) return Fail(error, "short content description");
      static const char* kNames[5] = {"Title", "Author", "Copyright", "Description", "Rating"};
      size_t at = 10;
      for (int f = 0; f < 5; ++f) {
        uint16_t len = Le16(d + 2 * f);
        if (len > n - at) return Fail(error, "content description past its object");
        std::string v = Utf16(d + at, len);
        at += len;
        if (!v.empty()) info->attributes.emplace_back(kNames[f], v);
      }
    } else if (std::memcmp(o, kExtContentDesc, 16) == 0) {
      if (!ParseExtContent(d, n, info)) return Fail(error, "bad extended content description");
    } else if (std::memcmp(o, kStreamProps, 16) == 0) {
      if (n < 54) return Fail(error, "short stream properties");
      uint32_t specific = Le32(d + 40);
      if (std::memcmp(d, kAudioMedia, 16) == 0 && info->audioFormatTag == 0 && specific >= 16 && specific <= n - 54) {
        const uint8_t* w = d + 54;
        info->audioFormatTag = Le16(w);
        info->channels = Le16(w + 2);
        info->sampleRate = Le32(w + 4);
        streamBitrate = Le32(w + 8) * 8;
      }
    } else if (std::memcmp(o, kStreamBitrate, 16) == 0) {
      if (n >= 8 && Le16(d) >= 1 && !streamBitrate) streamBitrate = Le32(d + 4);
    }
    pos += size_t(osize);
  }
  info->bitrate = streamBitrate ? streamBitrate : maxBitrate;
  return true;
}

std::string AsfTagBlock(const AsfInfo& info) {
  std::string block;
  auto add = [&](const std::string& k, const std::string& v) {
    block += k;
    block += '=';
    block += v;
    block.push_back('\0');
  };
  for (const auto& [k, v] : info.attributes) add(k, v);
  add("Bitrate", std::to_string(info.bitrate));
  add("FileSize", std::to_string(info.fileSize));
  add("Duration", std::to_string(info.durationMs));
  block.push_back('\0');
  return block;
}

}  // namespace orvwma
