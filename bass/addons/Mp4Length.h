// The decoded length of the first sound track of an MP4/M4A file, from its boxes: the number of
// AAC access units (stsz) times 1024 samples, less the priming the edit list skips (elst). Input
// is untrusted; every size is checked against the file.
#pragma once

#include <cstdint>
#include <functional>

namespace orvaddon {

struct Mp4Audio {
  uint64_t frames = 0;      // access units of the sound track
  uint64_t skip = 0;        // samples the edit list skips at the start (media time)
  uint32_t timescale = 0;   // of the sound track's media
  uint32_t sampleRate = 0;  // of its sample entry
};

// Reads "n" bytes at "offset"; returns the count read.
using Mp4Read = std::function<uint32_t(uint64_t offset, void* buf, uint32_t n)>;

bool ReadMp4Audio(const Mp4Read& read, uint64_t fileSize, Mp4Audio* out);

}  // namespace orvaddon
