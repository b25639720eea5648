// Reader of CUE sheets describing raw disc images (BIN/CUE): files, tracks, their modes and index
// points. Input is untrusted text; positions are checked against the data files' sizes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvcd {

constexpr uint32_t kSectorBytes = 2352;  // one raw CD sector: 1/75 s of 16-bit stereo 44.1 kHz
// Cue sheets are text of a few kilobytes; a larger file is not one.
constexpr size_t kMaxCueSheetBytes = 1u << 20;

struct CueTrack {
  int number = 0;           // as written in the sheet (1..99)
  bool audio = true;        // AUDIO, not MODEn/...
  uint32_t sectorBytes = kSectorBytes;  // bytes per sector in the data file
  size_t file = 0;          // index into CueSheet::files
  int64_t index0 = -1;      // pregap start in sectors within the file, -1 when absent
  int64_t index1 = -1;      // track start in sectors within the file
  uint64_t startByte = 0;   // filled by Resolve(): byte offset of INDEX 01 in the file
  uint64_t lengthBytes = 0; // filled by Resolve(): bytes up to the next track (or the file end)
  uint32_t pregapSectors = 0;  // PREGAP (not stored in the file) plus INDEX 00..01
};

struct CueSheet {
  std::vector<std::string> files;  // paths as resolved against the sheet's folder
  std::vector<CueTrack> tracks;
  std::string title, performer;
};

// Parses the sheet text; "folder" is prefixed to relative FILE names. False with a reason on
// malformed sheets.
bool ParseCue(const std::string& text, const std::string& folder, CueSheet* sheet, std::string* error = nullptr);

// Fills the byte positions of the tracks from the data files' sizes (one entry per file).
bool ResolveCue(CueSheet* sheet, const std::vector<uint64_t>& fileSizes, std::string* error = nullptr);

}  // namespace orvcd
