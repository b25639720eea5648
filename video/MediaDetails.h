// Media details of a video file (the video properties window and
// `orvella media`): what the streams of the file are, read with libavformat
// and named as the player's report names them.
//
// Only regular files are read; probing is bounded (bytes and duration) and a
// deadline stops a read that takes too long, so a FIFO or a hostile file
// cannot hang the caller.
//
// Threads: any; no shared state.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace video {

struct TMediaDetails {
  std::string File, Status, MediaVideoMajorType, MediaOtherMajorType, MediaVideoSubType, MediaOtherSubType,
      MediaDuration, MediaVideoFourCC, MediaVideoWidth, MediaVideoHeight, MediaVideoBitPlanes, MediaVideoComp,
      MediaAudioMajorType, MediaAudioSubType, MediaAudioFormatTag, MediaAudioFormat, MediaAudioHertz,
      MediaAudioBitrate, MediaAudioChannels, MediaMpeg1Width, MediaMpeg1Height, MediaMpeg1Bits, MediaMpeg1Comp,
      MediaMpeg2Width, MediaMpeg2Height, MediaMpeg2Bits, MediaMpeg2Comp, MediaMpegAudioTag;

  // The 28 fields by name, in report order.
  std::vector<std::pair<std::string, std::string>> Fields() const;
};

// Reads `file`; failures are in Status (see the report's texts). `deadlineMs` bounds the read.
TMediaDetails ReadMediaDetails(const std::string& file, int deadlineMs = 5000);
// Reads from memory (the fuzz target): the same naming, without the file checks.
TMediaDetails ReadMediaDetailsFromMemory(const uint8_t* data, size_t size, int deadlineMs = 2000);

// Codec name of a four-character code (case-insensitive), or "Unknown FourCC Codec".
std::string FourccCodecName(const std::string& code);
size_t FourccTableSize();
// Minutes and seconds below one hour, else hours, minutes and seconds; two digits each.
std::string FormatStreamTime(int64_t seconds);
// Name of a wave format tag, or "Unknown".
std::string WaveFormatTagName(unsigned tag);

// The report lines "Name=value" of the details (the properties window's file part).
std::vector<std::string> MediaDetailsLines(const TMediaDetails& d);

}  // namespace video
