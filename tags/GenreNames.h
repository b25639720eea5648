// The 148 ID3v1 genre names as extended by Winamp, indices 0 to 147.
#pragma once

#include <array>
#include <string>

namespace tags {

inline constexpr int kGenreCount = 148;
// Built once (static storage); safe to read from any thread.
extern const std::array<std::string, kGenreCount> GenreNames;

}  // namespace tags
