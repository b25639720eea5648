#include "playlist/Extensions.h"

#include <algorithm>

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

template <size_t N>
bool InTable(const std::array<const char*, N>& table, std::string_view ext) {
  if (ext.empty()) return false;
  return std::any_of(table.begin(), table.end(), [&](const char* e) { return ext == e; });
}

std::string LowerExt(std::string_view path) { return platform::LowerAscii(FileExtension(path)); }

}  // namespace

std::string FileExtension(std::string_view path) { return platform::ExtractFileExt(path); }

bool InPlayableExtensions(std::string_view ext) { return InTable(PlayableExtensions, ext); }

bool IsAudioFile(std::string_view path) { return InTable(AudioExtensions, LowerExt(path)); }
bool IsVideoFile(std::string_view path) { return InTable(VideoExtensions, LowerExt(path)); }
bool IsDvdFile(std::string_view path) { return InTable(DvdExtensions, LowerExt(path)); }
bool IsPlayableFile(std::string_view path) { return InTable(PlayableExtensions, LowerExt(path)); }

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
