#include "app/PlayableExtensions.h"

#include "platform/Paths.h"

namespace app {

bool IsPlayableFile(std::string_view path) {
  std::string ext = platform::LowerAscii(platform::ExtractFileExt(path));
  for (std::string_view e : kPlayableExtensions)
    if (ext == e) return true;
  return false;
}

bool IsStreamAddress(std::string_view text) {
  std::string lower = platform::LowerAscii(text.substr(0, 8));
  for (std::string_view scheme : {"http://", "https://", "ftp://", "mms://", "rtsp://"})
    if (lower.starts_with(scheme)) return true;
  return false;
}

}  // namespace app
