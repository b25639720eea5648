#include "playlist/Playlist.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <cwctype>

#include "platform/Paths.h"
#include "playlist/Extensions.h"

namespace playlist {

std::string TPlaylistHost::ProgramFolder() const { return platform::ProgramFolder(); }
std::string TPlaylistHost::DataFolder() const { return platform::WithSlash(ProgramFolder()) + "data/"; }

TPlaylist::TPlaylist(IStreamInfoSource& info, TPlaylistHost& host) : info_(info), host_(host) {
  filesLabel_ = filesPrefix_ + "0";
}

// Marks an operation during which progress may pump events; the last one to
// end tells OnIdle.
class TPlaylist::BusyScope {
 public:
  explicit BusyScope(TPlaylist& p) : p_(p) { ++p_.busyDepth_; }
  ~BusyScope() {
    if (--p_.busyDepth_ == 0 && p_.OnIdle) {
      // A copy: the handler may replace itself.
      const std::function<void()> idle = p_.OnIdle;
      idle();
    }
  }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  TPlaylist& p_;
};

void TPlaylist::Changed() {
  if (OnChanged) OnChanged();
}

void TPlaylist::Progress(TAddProgress::Phase phase, size_t done, size_t total) {
  if (OnProgress) OnProgress(TAddProgress{phase, done, total});
}

void TPlaylist::AppendEntry(PlaylistEntry entry) {
  entries_.push_back(std::move(entry));
  Changed();
}

void TPlaylist::Clear() {
  entries_.clear();
  FocusIndex = -1;
  Changed();
}

bool TPlaylist::AddFile(const std::string& path) {
  const bool stream = IsStreamAddress(path);
  if (!InPlayableExtensions(platform::LowerAscii(FileExtension(path))) && !stream) return false;
  PlaylistEntry e;
  e.Title = path;
  e.Num = std::to_string(entries_.size() + 1) + ". ";
  if (IsAudioFile(path) && info_.Ready() && !stream) {
    e.Title = platform::ExtractFileName(path);
    engine::TStreamInfo si;
    if (info_.GetStreamInfo(path, si) && !si.Artist.empty() && !si.Title.empty())
      e.Title = si.Artist + " - " + si.Title;
  }
  if (IsVideoFile(path) || IsDvdFile(path)) e.Title = platform::ExtractFileName(path);
  e.File = path;
  entries_.push_back(std::move(e));
  Changed();
  return true;
}

void TPlaylist::AddFiles(const std::vector<std::string>& list) {
  BusyScope busy(*this);
  info_.ExpectRows(entries_.size() + list.size());
  std::vector<std::string> sorted = list;
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
  for (const auto& item : sorted) {
    if (platform::DirectoryExists(item)) AddFolder(item);
    else AddFile(item);
  }
  if (!entries_.empty()) {
    PlayingIndex = 0;
    UpdateCounters();
  }
}

void TPlaylist::ScanFolder(const std::string& folder, std::vector<std::string>& out,
                           const std::function<void(size_t)>& found) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  while (dirent* d = ::readdir(dir)) {
    std::string name = d->d_name;
    if (name == "." || name == "..") continue;
    std::string path = folder + name;
    unsigned type = d->d_type;
    if (type == DT_UNKNOWN) {
      struct stat st {};
      if (::lstat(path.c_str(), &st) != 0) continue;
      type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_REG;
    }
    if (type == DT_DIR) {
      // A plain folder is descended into; a hidden one, like a folder carrying
      // another attribute, is neither descended into nor collected.
      if (name[0] != '.') ScanFolder(path + "/", out, found);
      continue;
    }
    if (type == DT_LNK) {
      // Linked folders are not followed (a link back up would never end).
      struct stat st {};
      if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
    }
    // Extensions compare case-sensitively here, so "A.MP3" is not collected.
    if (InPlayableExtensions(FileExtension(name))) {
      out.push_back(std::move(path));
      if (found) found(out.size());
    }
  }
  ::closedir(dir);
}

void TPlaylist::AddFolder(const std::string& folder) {
  BusyScope busy(*this);
  std::string f = folder;
  if (f.empty() || f.back() != '/') f += '/';
  host_.SetLastPath(f);
  if (f.size() <= 2) return;
  std::vector<std::string> paths;
  Progress(TAddProgress::Scanning, 0, 0);
  ScanFolder(f, paths, [this](size_t n) {
    if (n % 256 == 0) Progress(TAddProgress::Scanning, n, 0);
  });
  if (paths.empty()) return;
  if (host_.ReplaceOnAdd()) {
    Clear();
    host_.SetReplaceOnAdd(false);
  }
  info_.ExpectRows(entries_.size() + paths.size());
  Progress(TAddProgress::Reading, 0, paths.size());
  for (size_t i = 0; i < paths.size(); ++i) {
    AddFile(paths[i]);
    if ((i + 1) % 64 == 0 || i + 1 == paths.size()) Progress(TAddProgress::Reading, i + 1, paths.size());
  }
  PlayingIndex = 0;
  UpdateCounters();
}

void TPlaylist::Renumber() {
  for (size_t i = 0; i < entries_.size(); ++i) entries_[i].Num = std::to_string(i + 1) + ". ";
  Changed();
}

void TPlaylist::UpdateCounters() {
  filesLabel_ = filesPrefix_ + std::to_string(entries_.size());
  UpdateTimes();
}

void TPlaylist::UpdateTimes() {
  BusyScope busy(*this);
  info_.ExpectRows(entries_.size());
  TotalTime = 0;
  const size_t n = entries_.size();
  const bool report = n >= 256;
  for (size_t i = 0; i < n; ++i) {
    PlaylistEntry& e = entries_[i];
    if (platform::FileExists(e.File) && IsAudioFile(e.File)) {
      engine::TStreamInfo si;
      if (info_.GetStreamInfo(e.File, si)) {
        const uint32_t d = si.Duration > 0 ? static_cast<uint32_t>(si.Duration) : 0;
        TotalTime += d;
        e.Time = FormatTimeOfDay(d);
      }
    }
    if (report && ((i + 1) % 64 == 0 || i + 1 == n)) Progress(TAddProgress::Times, i + 1, n);
  }
  totalLabel_ = FormatTimeOfDay(TotalTime);
  Changed();
}

void TPlaylist::SetSelected(int index, bool selected) {
  if (index < 0 || index >= Count()) return;
  entries_[static_cast<size_t>(index)].Selected = selected;
  if (selected) SelectedIndex = index;
}

void TPlaylist::ClearSelection() {
  for (auto& e : entries_) e.Selected = false;
}

int TPlaylist::SelectedCount() const {
  return static_cast<int>(std::count_if(entries_.begin(), entries_.end(), [](const auto& e) { return e.Selected; }));
}

void TPlaylist::RemoveSelected() {
  if (SelectedCount() == 0) return;
  std::erase_if(entries_, [](const PlaylistEntry& e) { return e.Selected; });
  if (FocusIndex >= Count()) FocusIndex = -1;
  Renumber();
  UpdateCounters();
  if (!entries_.empty()) SetSelected(std::clamp(SelectedIndex, 0, Count() - 1), true);
  Changed();
}

void TPlaylist::RemoveAll() {
  Clear();
  UpdateCounters();
}

void TPlaylist::SortRows() {
  if (!SortKey.empty()) {
    auto text = [this](const PlaylistEntry& e) {
      return SortKey == "title" ? e.Title : SortKey == "path" ? e.File : platform::ExtractFileName(e.File);
    };
    const bool ascending = SortDirection == 1;
    std::stable_sort(entries_.begin(), entries_.end(), [&](const PlaylistEntry& a, const PlaylistEntry& b) {
      const int c = CompareText(text(a), text(b));
      return (ascending ? c : -c) < 0;
    });
  }
  Renumber();
}

void TPlaylist::Sort(const std::string& key) {
  if (key != "title" && key != "path" && key != "filename") return;
  SortKey = key;
  SortDirection = 1;
  SortRows();
}

void TPlaylist::Reverse() {
  SortDirection = -SortDirection;
  SortRows();
}

void TPlaylist::PlaySelected() {
  if (entries_.empty()) return;
  Playable = true;
  if (SelectedIndex < 0 || SelectedIndex >= Count()) return;
  const std::string file = entries_[static_cast<size_t>(SelectedIndex)].File;
  if (!platform::FileExists(file) && !IsStreamAddress(file)) return;
  if (IsMidiFile(file) && !SoundfontPresent(host_.ProgramFolder())) {
    host_.ShowSoundfontNotice();
    Playable = false;
  }
  if (!Playable) return;
  host_.Stop();
  PlayingIndex = SelectedIndex;
  host_.SetCurrent(SelectedIndex, file);
  FocusIndex = SelectedIndex;
  Changed();
  host_.Play();
}

void TPlaylist::FocusPlaying() {
  FocusIndex = PlayingIndex >= 0 && PlayingIndex < Count() ? PlayingIndex : -1;
  Changed();
}

std::string FormatTimeOfDay(uint32_t ms) {
  const uint32_t s = (ms / 1000) % 86400;
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", s / 3600, (s / 60) % 60, s % 60);
  return buf;
}

namespace {

// UTF-8 to lower-case wide text; bytes that are not UTF-8 count as Latin-1.
std::wstring FoldedWide(const std::string& s) {
  std::wstring out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    char32_t cp = c;
    size_t len = 1;
    const size_t need = c >= 0xF0 && c <= 0xF4 ? 3 : c >= 0xE0 && c < 0xF0 ? 2 : c >= 0xC2 && c < 0xE0 ? 1 : 0;
    if (need) {
      char32_t v = c & (0x3F >> need);
      bool ok = true;
      for (size_t k = 1; k <= need; ++k) {
        if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) {
          ok = false;
          break;
        }
        v = (v << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
      }
      if (ok) {
        cp = v;
        len = need + 1;
      }
    }
    out.push_back(static_cast<wchar_t>(std::towlower(static_cast<wint_t>(cp))));
    i += len;
  }
  return out;
}

}  // namespace

int CompareText(const std::string& a, const std::string& b) {
  std::wstring wa = FoldedWide(a), wb = FoldedWide(b);
  int c = std::wcscoll(wa.c_str(), wb.c_str());
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

int IndexAfterEnd(int count, int playing, bool repeat, bool shuffle, const std::function<int(int)>& randomBelow) {
  if (count <= 0 || playing >= count - 1) return -1;
  if (repeat) return playing;
  if (shuffle) return std::clamp(randomBelow(count), 0, count - 1);
  return playing + 1;
}

int NextIndex(int count, int playing) { return playing < count - 1 ? playing + 1 : -1; }

int PreviousIndex(int count, int playing) {
  if (playing <= 0 || count <= 0) return -1;
  return std::min(playing - 1, count - 1);
}

}  // namespace playlist
