// Reader of the ASF header object of Windows Media files: content description, extended content
// description, file and stream properties. Input is untrusted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace orvwma {

struct AsfInfo {
  uint64_t fileSize = 0;
  uint64_t durationMs = 0;  // play duration less the preroll
  uint32_t bitrate = 0;     // bit/s of the audio stream (or the file's maximum)
  uint16_t audioFormatTag = 0;  // 0x160..0x163 WMA, 0x55 MP3, 0 when no audio stream
  uint32_t sampleRate = 0;
  uint16_t channels = 0;
  bool seekable = false;
  bool broadcast = false;   // a live stream: sizes and durations are not valid
  // Attributes in file order, values as UTF-8 text ("Title", "Author", "WM/AlbumTitle", ...).
  std::vector<std::pair<std::string, std::string>> attributes;
};

// Size of the header object from its first 30 bytes, 0 when this is no ASF file.
uint64_t AsfHeaderSize(const uint8_t* data, size_t size);

// Parses the header object (the file's first AsfHeaderSize bytes).
bool ParseAsfHeader(const uint8_t* data, size_t size, AsfInfo* info, std::string* error = nullptr);

// The tag block "name=value\0...\0" of the attributes plus "Bitrate=", "FileSize=" and "Duration=".
std::string AsfTagBlock(const AsfInfo& info);

}  // namespace orvwma
