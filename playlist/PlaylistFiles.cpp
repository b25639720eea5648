#include "playlist/PlaylistFiles.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
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

bool TLineReader::Next(std::string_view& line) {
  const size_t n = text_.size();
  if (pos_ >= n) return false;
  size_t i = pos_;
  while (i < n && text_[i] != '\r' && text_[i] != '\n') ++i;
  line = i - pos_ > kMaxPlaylistLine ? std::string_view() : text_.substr(pos_, i - pos_);
  if (i < n && text_[i] == '\r' && i + 1 < n && text_[i + 1] == '\n') ++i;
  pos_ = i + 1;
  return true;
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

size_t ReadPlfEntries(std::string_view text, TEntrySink& sink) {
  size_t count = 0;
  TLineReader reader(text);
  std::string_view view;
  while (count < kMaxPlaylistEntries && reader.Next(view)) {
    if (view.empty()) continue;  // gives nothing to play
    const std::string line(view);
    std::string title, file, time;
    size_t bar = line.find('|');
    if (bar == std::string::npos) {
      time = line;
    } else {
      title = line.substr(0, bar);
      std::string rest = line.substr(bar + 1);
      size_t bar2 = rest.find('|');
      if (bar2 == std::string::npos) {
        // A single "|": no File; what follows is the Time.
        time = rest;
      } else {
        file = rest.substr(0, bar2);
        time = rest.substr(bar2 + 1);
      }
    }
    sink.Add(std::move(title), std::move(file), std::move(time));
    ++count;
  }
  return count;
}

std::vector<PlaylistEntry> ParsePlf(std::string_view text) {
  struct Entries : TEntrySink {
    std::vector<PlaylistEntry> out;
    void Add(std::string title, std::string file, std::string time) override {
      PlaylistEntry e;
      e.Title = std::move(title);
      e.File = std::move(file);
      e.Time = std::move(time);
      e.Num = std::to_string(out.size() + 1) + ". ";
      out.push_back(std::move(e));
    }
  } entries;
  ReadPlfEntries(text, entries);
  return std::move(entries.out);
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
  return platform::WithSlash(host_.DataFolder()) + "Default.plf";
}

bool TPlaylist::SaveDefaultPlaylist() const {
  std::error_code ec;
  std::filesystem::create_directories(host_.DataFolder(), ec);
  return SavePlaylist(DefaultPlaylistPath());
}

bool TPlaylist::LoadDefaultPlaylist() {
  const std::string path = DefaultPlaylistPath();
  return platform::FileExists(path) && LoadPlaylist(path);
}

// ---- foreign playlists ----

std::string DetectPlaylistKindText(std::string_view text, std::string_view fileName) {
  std::string first;
  TLineReader reader(text);
  std::string_view line;
  while (reader.Next(line)) {
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

// The sink of one reading, full once it has taken the most entries one file may give.
class Entries {
 public:
  explicit Entries(TEntrySink& sink) : sink_(sink) {}
  bool Full() const { return count_ >= kMaxPlaylistEntries; }
  void Add(std::string title, std::string path) {
    sink_.Add(std::move(title), std::move(path), std::string());
    ++count_;
  }

 private:
  TEntrySink& sink_;
  size_t count_ = 0;
};

void ParseM3U(TLineReader& lines, Entries& out) {
  std::string_view raw;
  while (!out.Full() && lines.Next(raw)) {
    const std::string line = TrimText(raw);
    const std::string head = UpperAscii(line.substr(0, 7));
    if (head == "#EXTINF") {
      size_t comma = line.find(',', 6);
      // The path is the next line as it stands.
      std::string_view next;
      std::string path = lines.Next(next) ? std::string(next) : std::string();
      out.Add(comma == std::string::npos ? std::string() : line.substr(comma + 1), std::move(path));
    } else if (head != "#EXTM3U") {
      out.Add(platform::ExtractFileName(line), line);
    }
  }
}

void ParseBSPlayer(TLineReader& lines, Entries& out) {
  std::string_view raw;
  while (!out.Full() && lines.Next(raw)) {
    std::string line = TrimText(raw);
    std::string title = platform::ExtractFileName(line);
    out.Add(std::move(title), std::move(line));
  }
}

void ParseLightAlloy(TLineReader& lines, Entries& out) {
  std::string_view raw;
  while (!out.Full() && lines.Next(raw)) {
    std::string line = TrimText(raw);
    if (line.empty()) continue;
    std::string_view next;
    std::string title = lines.Next(next) && next.size() > 3 ? std::string(next.substr(3)) : std::string();
    out.Add(std::move(title), std::move(line));
  }
}

void ParseMPC(TLineReader& lines, Entries& out) {
  std::string_view raw;
  while (!out.Full() && lines.Next(raw)) {
    const std::string line = TrimText(raw);
    size_t at = line.find("filename,");
    if (at == std::string::npos) continue;
    std::string path = line.substr(at + 9);
    std::string title = platform::ExtractFileName(path);
    out.Add(std::move(title), std::move(path));
  }
}

void ParsePLS(TLineReader& lines, Entries& out) {
  std::string_view raw;
  while (!out.Full() && lines.Next(raw)) {
    const std::string line = TrimText(raw);
    if (platform::LowerAscii(line.substr(0, 4)) != "file") continue;
    size_t eq = line.find('=');
    std::string path = eq == std::string::npos ? std::string() : line.substr(eq + 1);
    std::string title = platform::ExtractFileName(path);
    out.Add(std::move(title), std::move(path));
  }
}

void ParseASX(TLineReader& lines, Entries& out) {
  std::string_view raw;
  while (!out.Full() && lines.Next(raw)) {
    const std::string line = TrimText(raw);
    if (platform::LowerAscii(line.substr(0, 7)) != "<entry>") continue;
    std::string path;
    size_t q1 = line.find('"');
    if (q1 != std::string::npos) {
      size_t q2 = line.find('"', q1 + 1);
      path = line.substr(q1 + 1, q2 == std::string::npos ? std::string::npos : q2 - q1 - 1);
    }
    std::string title = platform::ExtractFileName(path);
    out.Add(std::move(title), std::move(path));
  }
}

}  // namespace

bool ReadForeignEntries(std::string_view kind, std::string_view text, TEntrySink& sink) {
  TLineReader lines(text);
  Entries out(sink);
  if (EqualsNoCase(kind, kKindM3U)) ParseM3U(lines, out);
  else if (EqualsNoCase(kind, kKindBSPlayer)) ParseBSPlayer(lines, out);
  else if (EqualsNoCase(kind, kKindLightAlloy)) ParseLightAlloy(lines, out);
  else if (EqualsNoCase(kind, kKindMPC)) ParseMPC(lines, out);
  else if (EqualsNoCase(kind, kKindPLS)) ParsePLS(lines, out);
  else if (EqualsNoCase(kind, kKindASX)) ParseASX(lines, out);
  else if (EqualsNoCase(kind, kKindBSPlayerCrypted)) {
    // Encrypted: nothing can be read, which is not a failure.
  } else {
    return false;
  }
  return true;
}

bool ParseForeignPlaylist(std::string_view kind, std::string_view text, std::vector<std::string>& titles,
                          std::vector<std::string>& paths) {
  struct Lists : TEntrySink {
    std::vector<std::string>& titles;
    std::vector<std::string>& paths;
    Lists(std::vector<std::string>& t, std::vector<std::string>& p) : titles(t), paths(p) {}
    void Add(std::string title, std::string path, std::string) override {
      titles.push_back(std::move(title));
      paths.push_back(std::move(path));
    }
  } lists(titles, paths);
  titles.clear();
  paths.clear();
  return ReadForeignEntries(kind, text, lists);
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
