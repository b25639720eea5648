// MPEG audio stream header (MPEG 1, 2, 2.5; Layers I, II, III): the first
// valid frame after a leading ID3v2 tag, a Xing or VBRI header, bit rate,
// duration, frame count and the encoder string. Reads the file's ID3v2 and
// ID3v1 tags with its own tag objects as part of the analysis.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tags/APETag.h"
#include "tags/ID3v1.h"
#include "tags/ID3v2.h"
#include "tags/MP3TagInfo.h"

namespace tags {

class ByteSource;

struct TFrameHeader {
  bool Found = false;
  int64_t Position = 0;  // file offset of the frame's first byte
  int Size = 0;          // frame length in bytes
  bool ZeroAfterHeader = false;
  uint8_t Data[4] = {};
  uint8_t VersionID = 1;  // 0 MPEG 2.5, 1 reserved, 2 MPEG 2, 3 MPEG 1
  uint8_t LayerID = 0;    // 0 reserved, 1 Layer III, 2 Layer II, 3 Layer I
  bool ProtectionBit = false;  // true: a CRC follows the header
  uint8_t BitRateID = 0;
  uint8_t SampleRateID = 3;
  bool PaddingBit = false;
  bool PrivateBit = false;
  uint8_t ModeID = 4;  // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
  uint8_t ModeExtensionID = 4;
  bool CopyrightBit = false;
  bool OriginalBit = false;
  uint8_t EmphasisID = 2;
};

struct TVBRHeader {
  bool Found = false;
  std::string ID;  // "Xing", "Info" (the same header on a constant bit rate) or "VBRI"
  uint32_t Frames = 0;
  uint32_t Bytes = 0;
  uint8_t Scale = 0;
  std::string VendorID;  // Xing only
};

class TMPEGaudio {
 public:
  static constexpr int kBlockSize = 3458;

  TMPEGaudio() { ResetData(); }
  void ResetData();
  // True when the file could be opened and read without error, whether or not a frame was found.
  bool ReadFromFile(const std::string& path);
  bool ReadFromSource(ByteSource& src);
  bool ReadFromMemory(const void* data, size_t size);
  // type 1: a 128-byte ID3v1 tag; type 2: an ID3v2 tag of the given length; other types: false.
  static bool ReadTagFromBuffer(const void* data, size_t length, int type, TMP3TagInfo& record);

  int64_t FileLength() const { return fileLength_; }
  int SampleRate() const;
  int BitRate() const;      // kbit/s
  double Duration() const;  // seconds
  int64_t Frames() const;
  bool Valid() const;
  int Channels() const { return frame_.ModeID == 3 ? 1 : 2; }
  std::string Version() const;
  std::string Layer() const;
  std::string ChannelMode() const;
  std::string Emphasis() const;
  const std::string& Vendor() const { return vendor_; }
  int64_t AudioStart() const { return audioStart_; }
  int64_t AudioEnd() const { return audioEnd_; }
  const TFrameHeader& FrameHeader() const { return frame_; }
  const TVBRHeader& VBR() const { return vbr_; }
  const TID3v1& ID3v1() const { return id3v1_; }
  const TID3v2& ID3v2() const { return id3v2_; }
  const TAPETag& APEtag() const { return ape_; }

  // Exposed for tests: whether 4 bytes form an accepted frame header, and its length in bytes.
  static bool IsFrameHeader(const uint8_t* b);
  static int FrameLength(const TFrameHeader& h);

 private:
  static void DecodeHeader(const uint8_t* b, TFrameHeader& h);
  bool FindFrame(const uint8_t* block);
  void FindVendor(const uint8_t* block, int span);
  int Coefficient() const;
  int PaddingLength() const;
  int TableBitRate() const;

  int64_t fileLength_;
  TVBRHeader vbr_;
  TFrameHeader frame_;
  std::string vendor_;
  int64_t audioStart_, audioEnd_;
  int infoBitRate_ = 0;  // the bit rate of the frame after an "Info" header: the stream's
  TID3v1 id3v1_;
  TID3v2 id3v2_;
  TAPETag ape_;
};

}  // namespace tags
