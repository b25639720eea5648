// Reads the descriptive parts of a SoundFont 2 file (RIFF "sfbk"): names, preset list and the size
// of the sample data, without reading the samples. Input is untrusted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orvmidi {

struct SoundFontPreset {
  std::string name;
  int preset;
  int bank;
};

struct SoundFontInfo {
  std::string name, copyright, comment;
  uint64_t sampleBytes = 0;  // size of the "smpl" chunk (plus "sm24")
  std::vector<SoundFontPreset> presets;
};

// Reads "n" bytes at "offset" into "buf"; returns the count actually read.
using ReadAt = std::function<size_t(uint64_t offset, void* buf, size_t n)>;

bool ReadSoundFont(const ReadAt& read, uint64_t fileSize, SoundFontInfo* info, std::string* error = nullptr);

}  // namespace orvmidi
