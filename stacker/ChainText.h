// The chain text: the chain in one line, as kept in plugin.ini and in chain
// files. Entries are separated by single spaces; each is the library's file
// name, "," the module index, "," the enabled flag ("dsp_gain.so,0,1").
//
// Reading takes at most kChainTextMax bytes; a piece cut by that limit is dropped
// whole. Pieces without a comma are skipped; a missing enabled flag means 1.
// Parsing never fails and checks nothing beyond the syntax: names and indexes
// are checked by IsChainLibraryName / IsChainModuleIndex before anything loads.
// Pure functions, safe on any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pilvo {

inline constexpr size_t kChainTextMax = 1024;
inline constexpr int kMaxModules = 8;

struct TChainPiece {
  std::string LibraryName;
  int ModuleIndex = -1;  // -1 when the index is not a number in 0..2^31
  int Enabled = 1;       // 0 or 1
  bool operator==(const TChainPiece&) const = default;
};

std::vector<TChainPiece> ParseChainText(std::string_view text);

// Joins whole pieces, never more than kChainTextMax bytes: a piece that would
// pass the limit is left out with everything after it (`dropped` counts them).
std::string FormatChainText(const std::vector<TChainPiece>& pieces, size_t* dropped = nullptr);

// A bare file name of a DSP library in the plug-in folder: "dsp_" + anything +
// ".so" (letter case free), no folder separator, no "..", no blank or control
// character, at most 255 bytes.
bool IsChainLibraryName(std::string_view name);
bool IsChainModuleIndex(int index);

}  // namespace pilvo
