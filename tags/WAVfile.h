// RIFF WAVE header: format chunk and data chunk wherever they lie.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tags {

class ByteSource;

class TWAVfile {
 public:
  TWAVfile() { ResetData(); }
  void ResetData();
  // True when the first 44 bytes could be read.
  bool ReadFromFile(const std::string& path);
  bool ReadFromSource(ByteSource& src);
  bool ReadFromMemory(const void* data, size_t size);

  bool Valid() const { return valid_; }
  uint8_t Channels() const { return channels_; }
  int SampleRate() const { return sampleRate_; }
  uint8_t BitsPerSample() const { return bitsPerSample_; }
  int64_t FileSize() const { return fileSize_; }  // RIFF size + 8
  // Codec: the format tag, or an extensible header's sub-format.
  uint16_t FormatTag() const { return formatTag_; }
  int64_t DataSize() const { return dataSize_; }
  double Duration() const;  // seconds
  std::string ChannelMode() const;

 private:
  bool valid_;
  uint8_t channels_;
  int sampleRate_;
  uint8_t bitsPerSample_;
  int64_t fileSize_;
  uint16_t formatTag_;
  int64_t dataSize_;  // -1: no data chunk seen
};

}  // namespace tags
