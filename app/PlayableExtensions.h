// The file types the player opens, in the order the open dialog and the
// association list show them (lower case, with the dot).
#pragma once

#include <array>
#include <string_view>

namespace app {

inline constexpr std::array<std::string_view, 31> kPlayableExtensions = {
    ".wav", ".mp3", ".ogg", ".wma", ".flac", ".avi", ".mpg", ".flv", ".mov", ".wmv", ".mp4",
    ".divx", ".mkv", ".3gp", ".ifo", ".vob", ".aiff", ".aac", ".ac3", ".ape", ".mp1", ".mp2",
    ".cda", ".mid", ".kar", ".mod", ".mtm", ".s3m", ".xm", ".it", ".mo3"};

// True for a playable extension (any case) of `path`.
bool IsPlayableFile(std::string_view path);
// "http://", "https://", "ftp://", "mms://" and similar addresses.
bool IsStreamAddress(std::string_view text);

}  // namespace app
