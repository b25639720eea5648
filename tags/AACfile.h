// Raw AAC stream (ADIF or ADTS) with its ID3v1, ID3v2 and APE tags.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tags/APETag.h"
#include "tags/ID3v1.h"
#include "tags/ID3v2.h"

namespace tags {

class ByteSource;

class TAACfile {
 public:
  TAACfile() { ResetData(); }
  void ResetData();
  // False when one of the three tag reads fails or an I/O error occurs.
  bool ReadFromFile(const std::string& path);
  bool ReadFromSource(ByteSource& src);
  bool ReadFromMemory(const void* data, size_t size);

  int64_t FileSize() const { return fileSize_; }
  uint8_t HeaderTypeID() const { return headerTypeID_; }    // 0 unknown, 1 ADIF, 2 ADTS
  uint8_t MPEGVersionID() const { return mpegVersionID_; }  // 0 unknown, 1 MPEG-2, 2 MPEG-4
  uint8_t ProfileID() const { return profileID_; }          // 0 unknown, 1 Main, 2 LC, 3 SSR, 4 LTP
  uint8_t Channels() const { return channels_; }
  int SampleRate() const { return sampleRate_; }
  int BitRate() const { return bitRate_; }                  // bits per second
  uint8_t BitRateTypeID() const { return bitRateTypeID_; }  // 0 unknown, 1 CBR, 2 VBR
  int Frames() const { return frames_; }
  double Duration() const;  // seconds
  bool Valid() const;
  std::string HeaderType() const;
  std::string Version() const;
  std::string Profile() const;
  std::string BitRateType() const;
  const TID3v1& ID3v1() const { return id3v1_; }
  const TID3v2& ID3v2() const { return id3v2_; }
  const TAPETag& APEtag() const { return ape_; }

 private:
  bool ReadADIF(ByteSource& src, int64_t start);
  bool ReadADTS(ByteSource& src, int64_t start);

  int64_t fileSize_;
  uint8_t headerTypeID_, mpegVersionID_, profileID_, channels_;
  int sampleRate_;
  int bitRate_;
  uint8_t bitRateTypeID_;
  int frames_;
  TID3v1 id3v1_;
  TID3v2 id3v2_;
  TAPETag ape_;
};

}  // namespace tags
