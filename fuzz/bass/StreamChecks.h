// What a decoded stream of the audio library must hold whatever its input, shared by the decoder
// fuzz targets: whole sample frames only, a stream that ends, a length equal to what was decoded,
// positions where they were set, tags that are what they say, file positions inside the file.
// Anything else aborts (a finding).
#pragma once

#include "bass.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace fuzzcheck {

// The library, started once on the silent output (no sound device is touched); aborts when it
// cannot start.
inline void StartLibrary() {
  static const bool started = [] {
    setenv("ORVELLA_BASS_OUTPUT", "silent", 1);
    return BASS_Init(0, 44100, 0, nullptr, nullptr) != 0;
  }();
  if (!started) std::abort();
}

// The decoding flags the targets pick with one input byte: float, 8-bit and mono output.
inline DWORD DecodeFlags(uint8_t fmt) {
  return BASS_STREAM_DECODE | (fmt & 1 ? BASS_SAMPLE_FLOAT : 0) | (fmt & 2 ? BASS_SAMPLE_8BITS : 0) |
         (fmt & 4 ? BASS_SAMPLE_MONO : 0);
}

inline DWORD SampleBytes(DWORD flags) { return flags & BASS_SAMPLE_FLOAT ? 4 : flags & BASS_SAMPLE_8BITS ? 1 : 2; }

// Decodes the stream to its end, seeks in it and reads its tags and file positions; returns the
// bytes decoded. `maxChans`: the most channels the decoder can hand out.
inline QWORD CheckStream(DWORD h, size_t fileSize, DWORD maxChans) {
  BASS_CHANNELINFO info;
  if (!BASS_ChannelGetInfo(h, &info) || info.chans < 1 || info.chans > maxChans) std::abort();
  const DWORD frame = info.chans * SampleBytes(info.flags);
  std::vector<uint8_t> buf(20000);
  QWORD total = 0;
  bool ended = false;
  // A stream made from at most a few hundred kilobytes holds some minutes of samples at most.
  for (int i = 0; i < 1000000; ++i) {
    DWORD n = BASS_ChannelGetData(h, buf.data(), DWORD(buf.size()));
    if (n == DWORD(-1) || n == 0) {
      ended = true;
      break;
    }
    if (n % frame) std::abort();
    total += n;
  }
  if (!ended) std::abort();
  if (BASS_ChannelGetLength(h, BASS_POS_BYTE) != total) std::abort();
  if (BASS_ChannelGetPosition(h, BASS_POS_BYTE) != total) std::abort();
  for (QWORD pos : {total / 2 / frame * frame, QWORD(frame), total, QWORD(0)}) {
    if (pos > total) continue;
    if (BASS_ChannelSetPosition(h, pos, BASS_POS_BYTE) && BASS_ChannelGetPosition(h, BASS_POS_BYTE) != pos)
      std::abort();
    DWORD n = BASS_ChannelGetData(h, buf.data(), DWORD(buf.size()));
    if (n != DWORD(-1) && n % frame) std::abort();
  }
  for (DWORD t : {DWORD(BASS_TAG_ID3), DWORD(BASS_TAG_ID3V2)}) {
    const char* tag = BASS_ChannelGetTags(h, t);
    if (tag && t == BASS_TAG_ID3 && std::memcmp(tag, "TAG", 3) != 0) std::abort();
    if (tag && t == BASS_TAG_ID3V2 && std::memcmp(tag, "ID3", 3) != 0) std::abort();
  }
  if (BASS_StreamGetFilePosition(h, BASS_FILEPOS_END) != fileSize) std::abort();
  // The audio starts at the end of the file at most: there, when nothing follows the headers.
  if (BASS_StreamGetFilePosition(h, BASS_FILEPOS_START) > fileSize) std::abort();
  if (BASS_StreamGetFilePosition(h, BASS_FILEPOS_CURRENT) > fileSize) std::abort();
  return total;
}

}  // namespace fuzzcheck
