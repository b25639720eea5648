// Tag texts read from an ID3v1 or ID3v2 tag held in memory (network streams).
#pragma once

#include <string>

namespace tags {

struct TMP3TagInfo {
  std::string Title, Artist, Album, Year, Comment, Genre;  // UTF-8
  int Track = 0;
};

}  // namespace tags
