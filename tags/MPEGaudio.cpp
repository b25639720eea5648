#include "tags/MPEGaudio.h"

#include <cmath>
#include <cstring>

#include "tags/ByteSource.h"
#include "tags/TextUtil.h"

namespace tags {

namespace {

// kbit/s by [MPEG 1 ? 0 : 1][layer index 1..3][bit-rate index]
constexpr int kBitRates[2][4][16] = {
    {{0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0}},
    {{0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0}}};

constexpr int kSampleRates[4][4] = {
    {11025, 12000, 8000, 0}, {0, 0, 0, 0}, {22050, 24000, 16000, 0}, {44100, 48000, 32000, 0}};

const char* const kVersionTexts[4] = {"MPEG 2.5", "MPEG ?", "MPEG 2", "MPEG 1"};
const char* const kLayerTexts[4] = {"Layer ?", "Layer III", "Layer II", "Layer I"};
const char* const kModeTexts[5] = {"Stereo", "Joint Stereo", "Dual Channel", "Mono", "Unknown"};
const char* const kEmphasisTexts[4] = {"None", "50/15 ms", "Unknown", "CCIT J.17"};

int TableRate(const TFrameHeader& h) {
  if (h.VersionID == 1 || h.LayerID == 0 || h.VersionID > 3 || h.LayerID > 3) return 0;
  return kBitRates[h.VersionID == 3 ? 0 : 1][h.LayerID][h.BitRateID & 15];
}

int SampleRateOf(const TFrameHeader& h) { return h.VersionID > 3 ? 0 : kSampleRates[h.VersionID][h.SampleRateID & 3]; }

}  // namespace

void TMPEGaudio::ResetData() {
  fileLength_ = 0;
  vbr_ = TVBRHeader{};
  infoBitRate_ = 0;
  frame_ = TFrameHeader{};
  vendor_.clear();
  audioStart_ = audioEnd_ = 0;
  id3v1_.ResetData();
  id3v2_.ResetData();
  ape_.ResetData();
}

bool TMPEGaudio::IsFrameHeader(const uint8_t* b) {
  if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0) return false;
  if (((b[1] >> 3) & 3) == 1 || ((b[1] >> 1) & 3) == 0) return false;
  const int br = b[2] >> 4;
  if (br == 15 || br == 0) return false;  // free format is not accepted
  if (((b[2] >> 2) & 3) == 3) return false;
  if ((b[3] & 3) == 2) return false;
  return true;
}

void TMPEGaudio::DecodeHeader(const uint8_t* b, TFrameHeader& h) {
  std::memcpy(h.Data, b, 4);
  h.VersionID = (b[1] >> 3) & 3;
  h.LayerID = (b[1] >> 1) & 3;
  h.ProtectionBit = (b[1] & 1) == 0;
  h.BitRateID = b[2] >> 4;
  h.SampleRateID = (b[2] >> 2) & 3;
  h.PaddingBit = (b[2] >> 1) & 1;
  h.PrivateBit = b[2] & 1;
  h.ModeID = b[3] >> 6;
  h.ModeExtensionID = (b[3] >> 4) & 3;
  h.CopyrightBit = (b[3] >> 3) & 1;
  h.OriginalBit = (b[3] >> 2) & 1;
  h.EmphasisID = b[3] & 3;
}

int TMPEGaudio::FrameLength(const TFrameHeader& h) {
  const int sr = SampleRateOf(h);
  const int br = TableRate(h);
  if (sr == 0 || br == 0) return 0;
  // A Layer I frame is counted in 4-byte slots (12 of them per kbit/s-per-kHz), padding included.
  if (h.LayerID == 3) return 4 * ((12 * br * 1000) / sr + (h.PaddingBit ? 1 : 0));
  const int coef = (h.VersionID == 3 || h.LayerID == 2) ? 144 : 72;
  return (coef * br * 1000) / sr + (h.PaddingBit ? 1 : 0);
}

int TMPEGaudio::Coefficient() const {
  if (frame_.LayerID == 3) return 48;  // 384 samples per frame in every version
  if (frame_.VersionID == 3 || frame_.LayerID == 2) return 144;
  return 72;
}

int TMPEGaudio::PaddingLength() const {
  if (!frame_.PaddingBit) return 0;
  return frame_.LayerID == 3 ? 4 : 1;
}

int TMPEGaudio::TableBitRate() const { return TableRate(frame_); }

bool TMPEGaudio::FindFrame(const uint8_t* block) {
  constexpr int kLast = kBlockSize - 1;  // 3457
  for (int i = 0; i <= kLast - 1728; ++i) {
    if (!IsFrameHeader(block + i)) continue;
    TFrameHeader h;
    DecodeHeader(block + i, h);
    const int len = FrameLength(h);
    if (len <= 0 || i + len > kLast || !IsFrameHeader(block + i + len)) continue;
    frame_ = h;
    frame_.Found = true;
    frame_.Position = i;
    frame_.Size = len;
    frame_.ZeroAfterHeader = true;
    for (int k = 4; k < 10; ++k)
      if (block[i + k] != 0) frame_.ZeroAfterHeader = false;
    const bool mono = h.ModeID == 3;
    const int s = h.VersionID == 3 ? (mono ? 21 : 36) : (mono ? 13 : 21);
    const uint8_t* v = block + i + s;
    // "Info" is the same header written for constant bit rates (LAME, FFmpeg); its first frame may
    // carry another bit rate than the audio (MPEG 2 at low rates), so only its count is right.
    const bool info = std::memcmp(v, "Info", 4) == 0;
    infoBitRate_ = 0;
    if (info) {
      TFrameHeader next;
      DecodeHeader(block + i + len, next);
      infoBitRate_ = TableRate(next);
    }
    if (std::memcmp(v, "Xing", 4) == 0 || info) {
      vbr_.Found = true;
      vbr_.ID = info ? "Info" : "Xing";
      vbr_.Frames = BE32(v + 8);
      vbr_.Bytes = BE32(v + 12);
      vbr_.Scale = v[119];
      vbr_.VendorID.assign(reinterpret_cast<const char*>(v + 120), 8);
    } else if (std::memcmp(v, "VBRI", 4) == 0) {
      vbr_.Found = true;
      vbr_.ID = "VBRI";
      vbr_.Scale = v[9];
      vbr_.Bytes = BE32(v + 10);
      vbr_.Frames = BE32(v + 14);
    } else {
      vbr_ = TVBRHeader{};
    }
    return true;
  }
  return false;
}

void TMPEGaudio::FindVendor(const uint8_t* block, int span) {
  const int last = kBlockSize - 8;  // 3450
  const int lowest = last - std::min(span, last);
  for (int i = last; i >= lowest; --i) {
    if (std::memcmp(block + i, "LAME", 4) == 0) {
      vendor_.assign(reinterpret_cast<const char*>(block + i), 8);
      return;
    }
    if (std::memcmp(block + i, "GOGO", 4) == 0) {
      vendor_ = "GOGO";
      return;
    }
  }
}

bool TMPEGaudio::ReadFromFile(const std::string& path) {
  ResetData();
  FileSource src;
  if (!src.Open(path)) return false;
  return ReadFromSource(src);
}

bool TMPEGaudio::ReadFromMemory(const void* data, size_t size) {
  MemorySource src(data, size);
  return ReadFromSource(src);
}

bool TMPEGaudio::ReadFromSource(ByteSource& src) {
  ResetData();
  // Slack after the block: the header and Xing tests near its end read a little past it.
  uint8_t block[kBlockSize + 256];
  bool ok = true;
  if (id3v2_.ReadFromSource(src) && id3v1_.ReadFromSource(src)) {
    fileLength_ = src.Size();
    int64_t blockStart = id3v2_.TagSize();
    std::memset(block, 0, sizeof block);
    int64_t got = src.ReadAt(blockStart, block, kBlockSize);
    if (got < 0) {
      ok = false;
    } else {
      bool found = FindFrame(block);
      FindVendor(block, 5 * frame_.Size);
      while (!found && got == kBlockSize) {
        blockStart += kBlockSize;
        std::memset(block, 0, sizeof block);
        got = src.ReadAt(blockStart, block, kBlockSize);
        if (got < 0) {
          ok = false;
          break;
        }
        found = FindFrame(block);
      }
      if (found) {
        frame_.Position += blockStart;
        audioStart_ = frame_.Position;
        audioEnd_ = fileLength_ - id3v1_.TotalSize();
        if (vendor_.empty()) {
          const int64_t end = fileLength_ - (id3v1_.Exists() ? 128 : 0);
          const int64_t start = end - kBlockSize;
          std::memset(block, 0, sizeof block);
          // Near the start of a short file the block is what lies before the tag, left-aligned.
          int64_t tailGot = src.ReadAt(std::max<int64_t>(start, 0), block, size_t(end - std::max<int64_t>(start, 0)));
          if (tailGot < 0)
            ok = false;
          else
            FindVendor(block, 5 * frame_.Size);
        }
      }
    }
  }
  if (!frame_.Found) ResetData();
  return ok;
}

bool TMPEGaudio::ReadTagFromBuffer(const void* data, size_t length, int type, TMP3TagInfo& record) {
  record = TMP3TagInfo{};
  if (type == 1) return TID3v1::ReadFromBuffer(data, length, record);
  if (type == 2) return TID3v2::ReadFromBuffer(data, length, record);
  return false;
}

int TMPEGaudio::SampleRate() const { return SampleRateOf(frame_); }

int TMPEGaudio::BitRate() const {
  if (infoBitRate_ > 0 && vbr_.ID == "Info") return infoBitRate_;
  if (vbr_.Found && vbr_.Frames > 0) {
    const int sr = SampleRate();
    const double perFrame = double(vbr_.Bytes) / double(vbr_.Frames) - PaddingLength();
    return int(std::nearbyint(perFrame * sr / Coefficient() / 1000.0));
  }
  return TableBitRate();
}

double TMPEGaudio::Duration() const {
  if (!frame_.Found) return 0;
  const int sr = SampleRate();
  if (vbr_.Found && vbr_.Frames > 0) return sr > 0 ? double(Coefficient()) * vbr_.Frames * 8 / sr : 0;
  const int br = TableBitRate();
  if (br == 0) return 0;
  return double(audioEnd_ - audioStart_) / br / 1000.0 * 8;
}

int64_t TMPEGaudio::Frames() const {
  if (vbr_.Found) return vbr_.Frames;
  if (frame_.Size <= 0) return 0;
  return (audioEnd_ - audioStart_) / frame_.Size;
}

bool TMPEGaudio::Valid() const {
  const int br = BitRate();
  return frame_.Found && br >= 8 && br <= 448 && Duration() >= 0.1;
}

std::string TMPEGaudio::Version() const { return kVersionTexts[frame_.VersionID & 3]; }
std::string TMPEGaudio::Layer() const { return kLayerTexts[frame_.LayerID & 3]; }
std::string TMPEGaudio::ChannelMode() const { return kModeTexts[frame_.ModeID <= 4 ? frame_.ModeID : 4]; }
std::string TMPEGaudio::Emphasis() const { return kEmphasisTexts[frame_.EmphasisID & 3]; }

}  // namespace tags
