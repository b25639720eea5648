// The lyrics side of the main window: the general-purpose plug-in window
// slots, the lyrics plug-in's presence and window record, and the refresh that
// hands the artist and title of what plays to the plug-in browser's lyrics call
// and to the lyrics plug-in. No Qt.
//
// The lyrics plug-in is driven through the controls of its own window (a tab
// control, two edit boxes, a "Search" button). Windows of another program's
// module have no such controls to find here, so locating them reports "not
// found" and the plug-in is silently not driven, as for any plug-in whose
// layout differs.
//
// Threads: UI thread only.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "platform/Messages.h"

namespace app {

// Artist and title of a radio stream's title text: "[tag] Artist - Song"
// gives ("Artist", "Song"); a text without " - " gives ("", text).
std::pair<std::string, std::string> SplitStreamTitle(const std::string& text);

struct TLyricsWindowRecord {
  platform::HWND window = nullptr, tab = nullptr, page = nullptr;
  platform::HWND upper = nullptr, lower = nullptr;  // artist, title
  platform::HWND search = nullptr, display = nullptr;
};

// The record a general-purpose plug-in window notice points to (the engine's
// window event, posted by the drawer library with data code 97): the window's
// slot (0..7), the kind (5 shown, anything else hidden), the plug-in's path and
// its window. Owned by the sender; read once while the notice is handled.
struct TGenWindowNotice {
  int32_t slot = 0;
  int32_t kind = 0;
  const char* fileName = nullptr;
  platform::HWND window = nullptr;
};

class TLyrics {
 public:
  static constexpr int kSlotCount = 8;
  static constexpr int kShown = 5;  // the window-event kind for "shown"
  static constexpr const char* kLyricsPlugin = "GEN_LEOSLYRICS.DLL";

  // The engine's window event for a general-purpose plug-in window. A slot
  // outside 0..7 is refused (false) and changes nothing.
  bool GenWindowShow(int slot, int kind, const std::string& fileName, platform::HWND window);
  // The same from the event's whole pointer-sized value (a TGenWindowNotice*);
  // false for a null record.
  bool GenWindowShow(uintptr_t record);

  // Finds the lyrics plug-in's controls in its window; false when not found.
  bool LocateLyricsControls();

  // What plays, as ForceRefreshLyrics takes it.
  struct TNowPlaying {
    bool netRadio = false;
    std::string title, artist;  // the engine's
  };
  // Hands the artist and title of what plays to the plug-in browser (when its
  // window is shown) and to the lyrics plug-in (when present).
  void ForceRefreshLyrics(const TNowPlaying& now);

  const std::array<platform::HWND, kSlotCount>& PluginWindowSlots() const { return slots_; }
  const TLyricsWindowRecord& LyricsWindow() const { return record_; }
  bool LyricsPresent() const { return present_; }
  int Refreshes() const { return refreshes_; }
  const std::pair<std::string, std::string>& LastQuery() const { return last_; }

  // The plug-in browser: whether its window is shown, and its lyrics call
  // (artist and title, each at most 255 characters). Empty without the browser library.
  std::function<bool()> BrowserShown;
  std::function<void(const std::string& artist, const std::string& title)> BrowserLyrics;
  // Puts artist and title into the plug-in's edit boxes and presses "Search".
  std::function<void(const TLyricsWindowRecord&, const std::string& artist, const std::string& title)> SendLyricsQuery;

 private:
  std::array<platform::HWND, kSlotCount> slots_{};
  TLyricsWindowRecord record_;
  bool present_ = false;
  int refreshes_ = 0;
  std::pair<std::string, std::string> last_;
};

}  // namespace app
