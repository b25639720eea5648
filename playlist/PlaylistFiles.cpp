#include "playlist/PlaylistFiles.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/IniFile.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "playlist/Extensions.h"

namespace playlist {
namespace {

std::string UpperAscii(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return r;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return platform::LowerAscii(a) == platform::LowerAscii(b);
}

// A title or time read back from a line must not split it: line breaks become blanks.
std::string OneLine(std::string s) {
  for (char& c : s)
    if (c == '\r' || c == '\n') c = ' ';
  return s;
}

bool IsAbsoluteOrAddress(std::string_view path) {
  return (!path.empty() && path[0] == '/') || path.find("://") != std::string_view::npos;
}

void ShowFileError(const char* format, const std::string& file, int err) {
  std::string text = format;
  text.replace(text.find("%s"), 2, file);
  text.replace(text.find("%s"), 2, std::strerror(err ? err : EIO));
  platform::ShowMessage(text, platform::kCaptionError, platform::MsgIcon::Error);
}

}  // namespace

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  const size_t n = text.size();
  for (size_t i = 0; i < n; ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      lines.emplace_back(text.substr(start, i - start));
      if (text[i] == '\r' && i + 1 < n && text[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  if (start < n) lines.emplace_back(text.substr(start));
  return lines;
}

std::string TrimText(std::string_view s) {
  size_t a = 0, b = s.size();
  while (a < b && static_cast<unsigned char>(s[a]) <= ' ') ++a;
  while (b > a && static_cast<unsigned char>(s[b - 1]) <= ' ') --b;
  return std::string(s.substr(a, b - a));
}

bool ReadWholeFile(const std::string& file, std::string& text) {
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return false;
  if (S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    return false;
  }
  if (static_cast<uint64_t>(st.st_size) > kMaxPlaylistFileSize) {
    errno = EFBIG;
    return false;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    errno = EIO;
    return false;
  }
  return true;
}

// ---- ".plf" ----

std::string PlfText(const std::vector<PlaylistEntry>& entries) {
  std::string out;
  for (const auto& e : entries) out += OneLine(e.Title) + "|" + OneLine(e.File) + "|" + OneLine(e.Time) + "\r\n";
  return out;
}

std::vector<PlaylistEntry> ParsePlf(std::string_view text) {
  std::vector<PlaylistEntry> out;
  for (const std::string& line : SplitLines(text)) {
    if (line.empty()) continue;  // gives nothing to play
    PlaylistEntry e;
    size_t bar = line.find('|');
    if (bar == std::string::npos) {
      e.Time = line;
    } else {
      e.Title = line.substr(0, bar);
      std::string rest = line.substr(bar + 1);
      size_t bar2 = rest.find('|');
      if (bar2 == std::string::npos) {
        // A single "|": no File; what follows is the Time.
        e.Time = rest;
      } else {
        e.File = rest.substr(0, bar2);
        e.Time = rest.substr(bar2 + 1);
      }
    }
    e.Num = std::to_string(out.size() + 1) + ". ";
    out.push_back(std::move(e));
  }
  return out;
}

bool TPlaylist::SavePlaylist(const std::string& file) const {
  if (platform::WriteFileAtomic(file, PlfText(entries_))) return true;
  ShowFileError("Cannot create file \"%s\". %s", file, errno);
  return false;
}

bool TPlaylist::LoadPlaylist(const std::string& file) {
  if (!platform::FileExists(file)) return false;
  std::string text;
  // Read before clearing: a file that cannot be read leaves the playlist as it was.
  if (!ReadWholeFile(file, text)) {
    ShowFileError("Cannot open file \"%s\". %s", file, errno);
    return false;
  }
  Clear();
  entries_ = ParsePlf(text);
  PlayingIndex = 0;
  UpdateCounters();
  Renumber();
  return true;
}

std::string TPlaylist::DefaultPlaylistPath() const {
  return platform::WithSlash(host_.ProgramFolder()) + "data/Default.plf";
}

bool TPlaylist::SaveDefaultPlaylist() const {
  const std::string dataFolder = platform::WithSlash(host_.ProgramFolder()) + "data";
  if (!platform::DirectoryExists(dataFolder)) ::mkdir(dataFolder.c_str(), 0755);
  return SavePlaylist(DefaultPlaylistPath());
}

bool TPlaylist::LoadDefaultPlaylist() {
  const std::string path = DefaultPlaylistPath();
  return platform::FileExists(path) && LoadPlaylist(path);
}

// ---- foreign playlists ----

std::string DetectPlaylistKindText(std::string_view text, std::string_view fileName) {
  std::string first;
  for (const std::string& line : SplitLines(text)) {
    if (!TrimText(line).empty()) {
      first = line;
      break;
    }
  }
  const std::string trimmed = TrimText(first);
  if (trimmed == "#EXTM3U") return kKindM3U;
  if (first.compare(0, 4, "BSPL") == 0) return kKindBSPlayerCrypted;
  if (trimmed == "MPCPLAYLIST") return kKindMPC;
  if (platform::LowerAscii(first.substr(0, 4)) == "<asx") return kKindASX;
  const std::string ext = platform::LowerAscii(FileExtension(fileName));
  if (ext == ".m3u") return kKindM3U;
  if (ext == ".bsl") return kKindBSPlayer;
  if (ext == ".mpcpl") return kKindMPC;
  if (ext == ".lap") return kKindLightAlloy;
  if (ext == ".pls") return kKindPLS;
  if (ext == ".asx") return kKindASX;
  return kKindUnknown;
}

std::string DetectPlaylistKind(const std::string& file) {
  if (!platform::FileExists(file)) return kKindUnknown;
  std::string text;
  if (!ReadWholeFile(file, text)) text.clear();
  return DetectPlaylistKindText(text, file);
}

namespace {

void ParseM3U(const std::vector<std::string>& lines, std::vector<std::string>& titles, std::vector<std::string>& paths) {
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string line = TrimText(lines[i]);
    const std::string head = UpperAscii(line.substr(0, 7));
    if (head == "#EXTINF") {
      size_t comma = line.find(',', 6);
      titles.push_back(comma == std::string::npos ? std::string() : line.substr(comma + 1));
      // The path is the next line as it stands.
      paths.push_back(i + 1 < lines.size() ? lines[++i] : std::string());
    } else if (head != "#EXTM3U") {
      paths.push_back(line);
      titles.push_back(platform::ExtractFileName(line));
    }
  }
}

void ParseBSPlayer(const std::vector<std::string>& lines, std::vector<std::string>& titles,
                   std::vector<std::string>& paths) {
  for (const std::string& raw : lines) {
    std::string line = TrimText(raw);
    titles.push_back(platform::ExtractFileName(line));
    paths.push_back(std::move(line));
  }
}

void ParseLightAlloy(const std::vector<std::string>& lines, std::vector<std::string>& titles,
                     std::vector<std::string>& paths) {
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string line = TrimText(lines[i]);
    if (line.empty()) continue;
    paths.push_back(std::move(line));
    std::string next = i + 1 < lines.size() ? lines[++i] : std::string();
    titles.push_back(next.size() > 3 ? next.substr(3) : std::string());
  }
}

void ParseMPC(const std::vector<std::string>& lines, std::vector<std::string>& titles, std::vector<std::string>& paths) {
  for (const std::string& raw : lines) {
    const std::string line = TrimText(raw);
    size_t at = line.find("filename,");
    if (at == std::string::npos) continue;
    std::string path = line.substr(at + 9);
    titles.push_back(platform::ExtractFileName(path));
    paths.push_back(std::move(path));
  }
}

void ParsePLS(const std::vector<std::string>& lines, std::vector<std::string>& titles, std::vector<std::string>& paths) {
  for (const std::string& raw : lines) {
    const std::string line = TrimText(raw);
    if (platform::LowerAscii(line.substr(0, 4)) != "file") continue;
    size_t eq = line.find('=');
    std::string path = eq == std::string::npos ? std::string() : line.substr(eq + 1);
    titles.push_back(platform::ExtractFileName(path));
    paths.push_back(std::move(path));
  }
}

void ParseASX(const std::vector<std::string>& lines, std::vector<std::string>& titles, std::vector<std::string>& paths) {
  for (const std::string& raw : lines) {
    const std::string line = TrimText(raw);
    if (platform::LowerAscii(line.substr(0, 7)) != "<entry>") continue;
    std::string path;
    size_t q1 = line.find('"');
    if (q1 != std::string::npos) {
      size_t q2 = line.find('"', q1 + 1);
      path = line.substr(q1 + 1, q2 == std::string::npos ? std::string::npos : q2 - q1 - 1);
    }
    titles.push_back(platform::ExtractFileName(path));
    paths.push_back(std::move(path));
  }
}

}  // namespace

bool ParseForeignPlaylist(std::string_view kind, std::string_view text, std::vector<std::string>& titles,
                          std::vector<std::string>& paths) {
  titles.clear();
  paths.clear();
  const std::vector<std::string> lines = SplitLines(text);
  if (EqualsNoCase(kind, kKindM3U)) ParseM3U(lines, titles, paths);
  else if (EqualsNoCase(kind, kKindBSPlayer)) ParseBSPlayer(lines, titles, paths);
  else if (EqualsNoCase(kind, kKindLightAlloy)) ParseLightAlloy(lines, titles, paths);
  else if (EqualsNoCase(kind, kKindMPC)) ParseMPC(lines, titles, paths);
  else if (EqualsNoCase(kind, kKindPLS)) ParsePLS(lines, titles, paths);
  else if (EqualsNoCase(kind, kKindASX)) ParseASX(lines, titles, paths);
  else if (EqualsNoCase(kind, kKindBSPlayerCrypted)) {
    // Encrypted: nothing can be read, which is not a failure.
  } else {
    return false;
  }
  return true;
}

bool ReadForeignPlaylist(const std::string& file, std::vector<std::string>& titles, std::vector<std::string>& paths) {
  titles.clear();
  paths.clear();
  const std::string kind = DetectPlaylistKind(file);
  if (kind == kKindUnknown) return false;
  std::string text;
  if (!ReadWholeFile(file, text)) return true;  // nothing to read: an empty list of its kind
  return ParseForeignPlaylist(kind, text, titles, paths);
}

bool TPlaylist::ImportPlaylist(const std::string& file) {
  std::vector<std::string> titles, paths;
  Clear();
  const bool known = ReadForeignPlaylist(file, titles, paths);
  const std::string folder = platform::ExtractFilePath(file);
  for (size_t i = 0; i < titles.size() && i < paths.size(); ++i) {
    // The extension is compared as written: "A.MP3" is dropped.
    if (!InPlayableExtensions(FileExtension(paths[i]))) continue;
    PlaylistEntry e;
    e.Num = std::to_string(i + 1) + ". ";
    e.Title = titles[i];
    e.File = IsAbsoluteOrAddress(paths[i]) ? paths[i] : folder + paths[i];
    entries_.push_back(std::move(e));
  }
  PlayingIndex = 0;
  UpdateCounters();
  return known;
}

}  // namespace playlist
