#include "app/Lyrics.h"

#include <algorithm>
#include <cctype>

namespace app {

namespace {

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

std::string UpperFileName(const std::string& path) {
  const size_t cut = path.find_last_of("/\\");
  std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

// At most 255 characters (whole UTF-8 sequences).
std::string Cut255(const std::string& s) {
  size_t chars = 0, i = 0;
  for (; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80 && ++chars > 255) break;
  }
  return s.substr(0, i);
}

}  // namespace

std::pair<std::string, std::string> SplitStreamTitle(const std::string& text) {
  const std::string t = Trim(text);
  if (t.empty()) return {};
  std::string artist, title;
  const size_t dash = t.find(" - ");
  if (dash == std::string::npos) {
    title = t;
  } else {
    artist = t.substr(0, dash);
    title = t.substr(dash + 3);
  }
  const size_t open = artist.find('[');
  const size_t close = artist.find(']');
  if (open != std::string::npos && close != std::string::npos && open < close) artist = artist.substr(close + 1);
  return {Trim(artist), Trim(title)};
}

bool TLyrics::GenWindowShow(int slot, int kind, const std::string& fileName, platform::HWND window) {
  if (slot < 0 || slot >= kSlotCount) return false;
  const bool lyrics = UpperFileName(fileName) == kLyricsPlugin;
  if (kind == kShown) {
    slots_[static_cast<size_t>(slot)] = window;
    if (lyrics) {
      present_ = true;
      record_ = {};
      record_.window = window;
      LocateLyricsControls();
    }
  } else if (lyrics) {
    present_ = false;
  }
  return true;
}

bool TLyrics::GenWindowShow(uintptr_t record) {
  if (record == 0) return false;
  const auto* notice = reinterpret_cast<const TGenWindowNotice*>(record);
  return GenWindowShow(notice->slot, notice->kind, notice->fileName ? notice->fileName : "", notice->window);
}

bool TLyrics::LocateLyricsControls() {
  // The plug-in's window holds no tab control or edit boxes of ours to find:
  // nothing is located and the plug-in is not driven.
  record_.tab = record_.page = record_.upper = record_.lower = record_.search = record_.display = nullptr;
  return false;
}

void TLyrics::ForceRefreshLyrics(const TNowPlaying& now) {
  ++refreshes_;
  last_ = now.netRadio ? SplitStreamTitle(now.title) : std::pair{now.artist, now.title};
  if (BrowserShown && BrowserLyrics && BrowserShown()) BrowserLyrics(Cut255(last_.first), Cut255(last_.second));
  if (!present_) return;
  if (record_.display) {
    if (SendLyricsQuery) SendLyricsQuery(record_, Cut255(last_.first), Cut255(last_.second));
  } else {
    LocateLyricsControls();
  }
}

}  // namespace app
