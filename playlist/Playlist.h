// TPlaylist: the playlist model without widgets. It owns the entries, the
// selection, the playing and selected indices, the time column and the counters;
// the main window reads and moves PlayingIndex and decides what plays next.
//
// Collaborators come through the constructor: the stream information source
// (the engine, usually behind a TStreamInfoCache) and the host (the main window's
// side: stop/play, current entry, last used folder, the replace-on-add flag).
//
// Threads: UI thread only. Long adds report progress through OnProgress, from
// which a window may process its events; the model must not be changed from there.
// Busy() is true for the whole of such an operation (adds, the time column):
// whoever reacts to events that arrive meanwhile (the end of play) waits for
// OnIdle, which runs once the outermost operation is complete.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "playlist/StreamInfoSource.h"

namespace playlist {

struct PlaylistEntry {
  std::string Num;    // 1-based position followed by ". "
  std::string Title;  // display title
  std::string Time;   // duration text, empty until known
  std::string File;   // local path or stream address: what is played, sorted and saved
  bool Selected = false;
};

// What the playlist needs of the main window. The defaults keep the state here,
// so headless users (tests, the command line) need not implement anything.
class TPlaylistHost {
 public:
  virtual ~TPlaylistHost() = default;
  virtual void Stop() {}
  // Plays the entry at PlayingIndex.
  virtual void Play() {}
  // The main window's current index and CurrentFile, set on double-click.
  virtual void SetCurrent(int /*index*/, const std::string& /*file*/) {}
  // Shown modally when a MIDI entry cannot play for lack of the soundfont.
  virtual void ShowSoundfontNotice() {}
  virtual std::string ProgramFolder() const;
  // Where "Default.plf" lives: the program folder's "data/" unless the host keeps it elsewhere.
  virtual std::string DataFolder() const;
  virtual std::string LastPath() const { return lastPath_; }
  virtual void SetLastPath(const std::string& folder) { lastPath_ = folder; }
  // One-shot: the next folder add replaces the playlist.
  virtual bool ReplaceOnAdd() const { return replaceOnAdd_; }
  virtual void SetReplaceOnAdd(bool on) { replaceOnAdd_ = on; }

 private:
  std::string lastPath_;
  bool replaceOnAdd_ = false;
};

struct TAddProgress {
  enum Phase { Scanning, Reading, Times } phase = Scanning;
  size_t done = 0;   // files found (Scanning) or handled so far
  size_t total = 0;  // 0 while scanning (unknown)
};

class TPlaylist {
 public:
  TPlaylist(IStreamInfoSource& info, TPlaylistHost& host);

  // Rows.
  int Count() const { return static_cast<int>(entries_.size()); }
  bool Empty() const { return entries_.empty(); }
  const PlaylistEntry& Entry(int index) const { return entries_.at(static_cast<size_t>(index)); }
  const std::vector<PlaylistEntry>& Entries() const { return entries_; }
  // Appends a row as given (files and imports use this; nothing is checked).
  void AppendEntry(PlaylistEntry entry);
  // Clears all rows (no counter update; RemoveAll does both).
  void Clear();

  // State.
  int PlayingIndex = 0;
  int SelectedIndex = 0;
  bool Playable = true;
  std::string SortKey;  // "", "title", "filename" or "path"
  int SortDirection = 0;
  uint32_t TotalTime = 0;  // ms, sum of the last UpdateTimes
  // Row with the keyboard-focus mark (-1: none).
  int FocusIndex = -1;

  // Adding.
  bool AddFile(const std::string& path);
  void AddFiles(const std::vector<std::string>& list);
  void AddFolder(const std::string& folder);
  // Playable files under `folder` (ending with '/'), recursively, in directory order.
  static void ScanFolder(const std::string& folder, std::vector<std::string>& out,
                         const std::function<void(size_t)>& found = {});

  // Counters and times.
  void Renumber();
  void UpdateCounters();
  void UpdateTimes();
  // Localised prefix of the file count label ("FormPL.StringFiles").
  void SetFilesPrefix(std::string prefix) { filesPrefix_ = std::move(prefix); }
  const std::string& FilesLabel() const { return filesLabel_; }
  const std::string& TotalTimeLabel() const { return totalLabel_; }

  // Selection.
  void SetSelected(int index, bool selected);
  void ClearSelection();
  int SelectedCount() const;

  // Removing.
  void RemoveSelected();
  void RemoveAll();

  // Sorting.
  void Sort(const std::string& key);
  void Reverse();
  void Random() { Renumber(); }

  // Double-click on the selected row: checks and asks the host to play it.
  void PlaySelected();
  // The row at PlayingIndex gets the focus mark (after the main window moved it).
  void FocusPlaying();

  // Playlist files (PlaylistFiles.cpp). Load and Save report file errors in a
  // message box and return false; the entries are unchanged by a failed load.
  bool SavePlaylist(const std::string& file) const;
  bool LoadPlaylist(const std::string& file);
  bool ImportPlaylist(const std::string& file);
  // "Default.plf" in the host's data folder.
  std::string DefaultPlaylistPath() const;
  bool SaveDefaultPlaylist() const;
  bool LoadDefaultPlaylist();

  // Notifications for a window over the model.
  std::function<void()> OnChanged;
  std::function<void(const TAddProgress&)> OnProgress;
  // An add or a time-column update is under way (progress may pump events).
  bool Busy() const { return busyDepth_ > 0; }
  // Runs when the outermost busy operation has finished (the playback logic's).
  std::function<void()> OnIdle;

  IStreamInfoSource& InfoSource() { return info_; }
  TPlaylistHost& Host() { return host_; }

 private:
  void Changed();
  void SortRows();
  void Progress(TAddProgress::Phase phase, size_t done, size_t total);
  class BusyScope;

  IStreamInfoSource& info_;
  TPlaylistHost& host_;
  std::vector<PlaylistEntry> entries_;
  std::string filesPrefix_ = "Files: ";
  std::string filesLabel_;
  std::string totalLabel_ = "00:00:00";
  int busyDepth_ = 0;
};

// Duration in ms shown as a time of day, "hh:mm:ss" (whole days wrap).
std::string FormatTimeOfDay(uint32_t ms);
// Case-insensitive comparison in the user's collation order (<0, 0, >0).
int CompareText(const std::string& a, const std::string& b);

// Playback order helpers for the main window.
// Index to play after the entry at `playing` ended, or -1 to stop: the last entry
// always stops; repeat stays; shuffle picks randomBelow(count) (0..count-1).
int IndexAfterEnd(int count, int playing, bool repeat, bool shuffle, const std::function<int(int)>& randomBelow);
// Next/Previous ignore shuffle and repeat and do nothing at the ends (-1).
int NextIndex(int count, int playing);
int PreviousIndex(int count, int playing);

}  // namespace playlist
