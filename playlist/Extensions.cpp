#include "playlist/Extensions.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/Paths.h"

namespace playlist {

const std::array<const char*, 31> PlayableExtensions = {
    ".wav", ".mp3", ".ogg", ".wma", ".flac", ".avi", ".mpg", ".flv", ".mov", ".wmv", ".mp4",
    ".divx", ".mkv", ".3gp", ".ifo", ".vob", ".aiff", ".aac", ".ac3", ".ape", ".mp1", ".mp2",
    ".cda", ".mid", ".kar", ".mod", ".mtm", ".s3m", ".xm", ".it", ".mo3"};
const std::array<const char*, 20> AudioExtensions = {
    ".wav", ".mp3", ".ogg", ".wma", ".aiff", ".aac", ".ac3", ".ape", ".flac", ".mp1",
    ".mp2", ".cda", ".mid", ".kar", ".mod", ".mtm", ".s3m", ".xm", ".it", ".mo3"};
const std::array<const char*, 8> VideoExtensions = {".avi", ".mpg", ".flv", ".mov",
                                                    ".wmv", ".mp4", ".divx", ".mkv"};
const std::array<const char*, 2> DvdExtensions = {".ifo", ".vob"};

namespace {

std::vector<std::string>& AddOnExts() {
  static std::vector<std::string> exts;
  return exts;
}

template <size_t N>
bool InTable(const std::array<const char*, N>& table, std::string_view ext) {
  if (ext.empty()) return false;
  return std::any_of(table.begin(), table.end(), [&](const char* e) { return ext == e; });
}

std::string LowerExt(std::string_view path) { return platform::LowerAscii(FileExtension(path)); }

}  // namespace

std::string FileExtension(std::string_view path) { return platform::ExtractFileExt(path); }

void SetAddOnExtensions(std::string_view list) {
  std::vector<std::string> exts;
  size_t at = 0;
  while (at < list.size()) {
    size_t end = list.find(';', at);
    if (end == std::string_view::npos) end = list.size();
    std::string_view item = list.substr(at, end - at);
    at = end + 1;
    if (item.substr(0, 1) == "*") item.remove_prefix(1);
    if (item.size() < 2 || item[0] != '.' || item.find_first_of("*?/") != std::string_view::npos) continue;
    std::string e = platform::LowerAscii(item);
    if (InTable(PlayableExtensions, e) || std::find(exts.begin(), exts.end(), e) != exts.end()) continue;
    exts.push_back(e);
  }
  AddOnExts() = std::move(exts);
}

const std::vector<std::string>& AddOnExtensions() { return AddOnExts(); }

bool IsAddOnExtension(std::string_view lowerExt) {
  const auto& exts = AddOnExts();
  return !lowerExt.empty() && std::find(exts.begin(), exts.end(), lowerExt) != exts.end();
}

bool InPlayableExtensions(std::string_view ext) { return InTable(PlayableExtensions, ext) || IsAddOnExtension(ext); }

bool IsAudioFile(std::string_view path) {
  const std::string ext = LowerExt(path);
  return InTable(AudioExtensions, ext) || IsAddOnExtension(ext);
}
bool IsVideoFile(std::string_view path) { return InTable(VideoExtensions, LowerExt(path)); }
bool IsDvdFile(std::string_view path) { return InTable(DvdExtensions, LowerExt(path)); }
bool IsPlayableFile(std::string_view path) { return InPlayableExtensions(LowerExt(path)); }

bool IsStreamAddress(std::string_view path) {
  return path.substr(0, 7) == "http://" || path.substr(0, 8) == "https://" || path.substr(0, 6) == "mms://";
}

bool IsMidiFile(std::string_view path) {
  std::string ext = LowerExt(path);
  return ext == ".mid" || ext == ".kar";
}

bool SoundfontPresent(const std::string& programFolder) {
  return platform::FileExists(platform::WithSlash(programFolder) + "plugins/CT4MGM.SF2");
}

bool SoundfontPresent() { return SoundfontPresent(platform::ProgramFolder()); }

int ChoosePlayMode(std::string_view path, int previousMode) {
  int mode = previousMode;
  if (IsAudioFile(path)) mode = 1;
  if (IsVideoFile(path)) mode = 2;
  if (IsDvdFile(path)) mode = 3;
  if (IsStreamAddress(path)) mode = 1;
  return mode;
}

}  // namespace playlist
