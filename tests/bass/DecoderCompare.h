// Two decoders of one file compared on everything a caller of the library can observe: the core's
// own decoders (PCM, libFLAC) against its FFmpeg decoder, which they must equal to the bit.
#pragma once

#include "BassTestUtil.h"
#include "bass_addon.h"

#include <algorithm>
#include <cstddef>
#include <string>

namespace dc {

inline const ORV_CORE_API* Core() {
  return static_cast<const ORV_CORE_API*>(BASS_GetConfigPtr(BASS_CONFIG_ORV_ADDON_API));
}

inline BASS_CHANNELINFO Info(HSTREAM h) {
  BASS_CHANNELINFO i{};
  EXPECT_TRUE(BASS_ChannelGetInfo(h, &i));
  return i;
}

inline std::string FlagName(DWORD f) {
  std::string s = f & BASS_SAMPLE_FLOAT ? "float" : f & BASS_SAMPLE_8BITS ? "8bit" : "16bit";
  return f & BASS_SAMPLE_MONO ? s + "+mono" : s;
}

inline const DWORD kFlagSets[] = {0,
                                  BASS_SAMPLE_8BITS,
                                  BASS_SAMPLE_FLOAT,
                                  BASS_SAMPLE_MONO,
                                  BASS_SAMPLE_MONO | BASS_SAMPLE_8BITS,
                                  BASS_SAMPLE_MONO | BASS_SAMPLE_FLOAT};

inline QWORD FrameBytes(const BASS_CHANNELINFO& i) {
  return QWORD(i.chans) * (i.flags & BASS_SAMPLE_FLOAT ? 4 : i.flags & BASS_SAMPLE_8BITS ? 1 : 2);
}

// The ID3v2 block as a whole (its header says how long it is).
inline std::string Id3v2Block(const char* t) {
  if (!t) return {};
  const size_t body = size_t(t[6] & 0x7F) << 21 | size_t(t[7] & 0x7F) << 14 | size_t(t[8] & 0x7F) << 7 | (t[9] & 0x7F);
  return std::string(t, 10 + body + ((t[5] & 0x10) ? 10 : 0));
}

// `ours` against `ref` (FFmpeg's), both fresh streams of one file with the same flags; frees both.
// `oursRead`: ours has read nothing beyond the audio's end once decoded (it reads the file itself).
// `refMayRefuseSeeks`: FFmpeg's route refuses some seeks (into a FLAC file's first or last frame
// once it decoded to the end); it is then the reference of the decodes only.
inline void ExpectSameStreams(HSTREAM ours, HSTREAM ref, bool oursRead, bool refMayRefuseSeeks) {
  const BASS_CHANNELINFO a = Info(ours), b = Info(ref);
  EXPECT_EQ(a.freq, b.freq);
  EXPECT_EQ(a.chans, b.chans);
  EXPECT_EQ(a.flags, b.flags);
  EXPECT_EQ(a.ctype, b.ctype);
  EXPECT_EQ(a.origres, b.origres);
  EXPECT_EQ(BASS_StreamGetFilePosition(ours, BASS_FILEPOS_START), BASS_StreamGetFilePosition(ref, BASS_FILEPOS_START));
  EXPECT_EQ(BASS_StreamGetFilePosition(ours, BASS_FILEPOS_END), BASS_StreamGetFilePosition(ref, BASS_FILEPOS_END));
  for (DWORD t : {DWORD(BASS_TAG_ID3), DWORD(BASS_TAG_ID3V2), DWORD(BASS_TAG_OGG)}) {
    const char* ta = BASS_ChannelGetTags(ours, t);
    const char* tb = BASS_ChannelGetTags(ref, t);
    EXPECT_EQ(ta == nullptr, tb == nullptr) << "tag " << t;
    if (ta && tb && t == BASS_TAG_ID3) {
      EXPECT_EQ(std::memcmp(ta, tb, 128), 0);
    }
    if (ta && tb && t == BASS_TAG_ID3V2) {
      EXPECT_EQ(Id3v2Block(ta), Id3v2Block(tb));
    }
  }
  const QWORD lenBefore = BASS_ChannelGetLength(ours, BASS_POS_BYTE);
  const auto straight = bt::DecodeAll(ours, 10007);
  const auto expected = bt::DecodeAll(ref, 4093);
  ASSERT_EQ(straight.size(), expected.size());
  EXPECT_TRUE(straight == expected) << "decodes differ";
  EXPECT_EQ(lenBefore, QWORD(straight.size())) << "the length is known before decoding";
  EXPECT_EQ(BASS_ChannelGetLength(ours, BASS_POS_BYTE), BASS_ChannelGetLength(ref, BASS_POS_BYTE));
  if (oursRead) {
    // The decoder has read the audio up to its end, and no further.
    const QWORD cur = BASS_StreamGetFilePosition(ours, BASS_FILEPOS_CURRENT);
    EXPECT_GT(cur, BASS_StreamGetFilePosition(ours, BASS_FILEPOS_START));
    EXPECT_LE(cur, BASS_StreamGetFilePosition(ours, BASS_FILEPOS_END));
  }

  // Seeks: exact to the frame, in bytes and in seconds, anywhere, also back, to the end, and
  // around a block of 4096 (both decoders).
  const QWORD fb = FrameBytes(a);
  const QWORD frames = straight.size() / fb;
  for (QWORD f : {frames / 2, QWORD(1), frames - 1, QWORD(0), frames / 3 + 7, frames, frames - 4700, QWORD(4095),
                  QWORD(4096), QWORD(4097)}) {
    if (f > frames) continue;
    for (HSTREAM h : {ours, ref}) {
      if (h == ref && refMayRefuseSeeks && !BASS_ChannelSetPosition(h, f * fb, BASS_POS_BYTE)) continue;
      ASSERT_TRUE(BASS_ChannelSetPosition(h, f * fb, BASS_POS_BYTE)) << f;
      EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), f * fb);
      std::vector<uint8_t> got(size_t(1500 * fb));
      DWORD n = BASS_ChannelGetData(h, got.data(), DWORD(got.size()));
      if (n == DWORD(-1)) n = 0;
      const size_t want = size_t(std::min<QWORD>(1500, frames - f) * fb);
      ASSERT_EQ(n, DWORD(want)) << "after a seek to frame " << f << (h == ours ? " (ours)" : " (FFmpeg)");
      EXPECT_EQ(std::memcmp(got.data(), straight.data() + f * fb, want), 0) << "after a seek to frame " << f;
    }
  }
  const double secs = std::min(0.25, BASS_ChannelBytes2Seconds(ours, straight.size()) / 2);
  const QWORD at = BASS_ChannelSeconds2Bytes(ours, secs);
  ASSERT_TRUE(BASS_ChannelSetPosition(ours, at, BASS_POS_BYTE));
  EXPECT_EQ(BASS_ChannelGetPosition(ours, BASS_POS_BYTE), at);
  const auto rest = bt::DecodeAll(ours, 3001);
  EXPECT_TRUE(rest.size() + at == straight.size() &&
              std::equal(rest.begin(), rest.end(), straight.begin() + std::ptrdiff_t(at)))
      << "after a seek in seconds";
  const bool refSeeked = BASS_ChannelSetPosition(ref, BASS_ChannelSeconds2Bytes(ref, secs), BASS_POS_BYTE);
  EXPECT_TRUE(refSeeked || refMayRefuseSeeks);
  if (refSeeked) {
    EXPECT_EQ(BASS_ChannelGetPosition(ref, BASS_POS_BYTE), at);
    EXPECT_EQ(bt::DecodeAll(ref, 3001), rest) << "after a seek in seconds";
  }
  BASS_StreamFree(ours);
  BASS_StreamFree(ref);
}

}  // namespace dc
