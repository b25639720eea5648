// The stacker's chain: DSP modules of the plug-in folder, run one after the
// other over every block the host hands over.
//
// Threads:
// - the user-interface thread (the host's GUI thread, or the host's thread
//   in Init/Quit when there is no GUI) makes every edit and every sub-module
//   call other than processing: LoadChainEntry, AddChainEntry, the entry
//   operations, selection and scrolling, UnloadAll;
// - the host's audio thread calls ModifySamples. It walks the chain under a
//   short lock; edits hold that lock only to link, unlink or swap entries,
//   never across a sub-module call, so a block waits at most for one such
//   swap and an edit at most for one block;
// - one configuration thread per entry while its Config runs.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "plugins/sdk/winamp_dsp.h"
#include "plugins/sdk/winamp_dsp1.h"
#include "stacker/ChainText.h"

namespace pilvo {

// Kinds of sub-module: Winamp 1.x records (winampDSPGetHeader) and 2.x records
// (winampDSPGetHeader2).
enum : int { kKind1 = 1, kKind2 = 2 };

// Results of AddChainEntry.
enum : int { kAdded = 0, kDuplicate = 1, kNotStarted = 2, kOutOfMemory = 3 };

// Frames per block the chain takes at most; larger blocks pass untouched.
inline constexpr int kMaxBlockFrames = 8192;
// Widest frame: 8 channels of 32-bit samples.
inline constexpr int kMaxFrameBytes = 32;

// A library opened for one of its modules (not yet in the chain). The library
// handle is owned: Close() or handing it to AddChainEntry releases it.
struct TOpenedModule {
  int Kind = 0;
  void* Library = nullptr;
  void* Module = nullptr;  // winampDSPModule* (kind 2) or winampDSPModule1* (kind 1)
  std::string LibraryName;
  int ModuleIndex = -1;
  dev_t Dev = 0;
  ino_t Ino = 0;
  const char* Description() const;
  void Close();
};

struct TConfigRun;

struct TChainEntry {
  int Kind = 0;
  std::string LibraryName;
  int ModuleIndex = 0;
  std::atomic<int> Enabled{1};
  void* Library = nullptr;
  void* Module = nullptr;
  dev_t Dev = 0;
  ino_t Ino = 0;
  std::shared_ptr<TConfigRun> Config;  // the thread running Config, or none
  std::atomic<bool> Faulted{false};    // bypassed after a fault until reloaded
  bool Offline = false;                // being reloaded (guarded by the chain lock)
  const char* Description() const;
};

class TStacker {
 public:
  struct Options {
    std::string PluginFolder;  // without a trailing "/"
    std::string SelfPath;      // the stacker library's own file, never taken as an entry
    HWND HostWindow = nullptr; // given to sub-modules as hwndParent
    const void* SelfHeader = nullptr;
  };
  explicit TStacker(Options options);
  ~TStacker();
  TStacker(const TStacker&) = delete;
  TStacker& operator=(const TStacker&) = delete;

  const Options& Opts() const { return options_; }
  void SetHostWindow(HWND hwnd) { options_.HostWindow = hwnd; }
  std::string LibraryPath(const std::string& name) const { return options_.PluginFolder + "/" + name; }

  // ---- user-interface thread
  // Opens the library of that name in the plug-in folder and takes its module.
  // False for names that are not bare dsp_*.so names, indexes outside 0..7, the
  // stacker itself, libraries without either entry point or with a wrong header
  // version, and missing modules.
  bool OpenModule(const std::string& name, int index, TOpenedModule* out) const;
  // The descriptions of a library's modules (getModule from 0 until NULL, at most 8).
  static std::vector<std::string> ModuleDescriptions(const TOpenedModule& lib);
  // Opens and adds; false (library freed) when anything fails.
  bool LoadChainEntry(const std::string& name, int index, int enabled);
  // kAdded (the library now belongs to the chain), kDuplicate, kNotStarted or
  // kOutOfMemory (the library is still the caller's).
  int AddChainEntry(TOpenedModule& opened, int enabled);
  void RemoveChainEntry();
  void MoveEntryUp();
  void MoveEntryDown();
  void ToggleEntry();
  void ConfigureEntry();
  void ReloadEntry();
  // Unloads every entry in chain order; the pieces they had, for saving.
  std::vector<TChainPiece> UnloadAll();
  void LoadChainText(std::string_view text);
  std::vector<TChainPiece> Pieces() const;

  int Count() const { return int(chain_.size()); }
  const TChainEntry* Entry(int i) const { return i >= 0 && i < Count() ? chain_[size_t(i)].get() : nullptr; }

  // Selection and the four visible rows.
  static constexpr int kRows = 4;
  int Selected() const { return selected_; }
  int FirstVisible() const { return first_; }
  void SelectRow(int index);      // capped at the last entry
  void SelectNext();              // Down
  void SelectPrevious();          // Up
  void SelectFirst();             // Home
  void SelectLast();              // End
  void PageUp();
  void PageDown();
  void ScrollUp();                // Ctrl+Up, the small up arrow
  void ScrollDown();              // Ctrl+Down, the small down arrow
  void ScrollToThumb(int y);      // a press or drag on the scroll bar at window y
  int ThumbOffset() const;        // 0..40 pixels below the top of the track

  // Called after every change the window shows.
  std::function<void()> OnChanged;

  // Time a configuration thread that ignores the quit request is waited for.
  int configWaitMs = 2000;

  // ---- audio thread
  int ModifySamples(short* samples, int count, int bits, int channels, int rate);

  // Statistics (any thread).
  int64_t LongestAudioWaitNs() const { return longestWaitNs_.load(std::memory_order_relaxed); }
  int Faults() const { return faults_.load(std::memory_order_relaxed); }

 private:
  void Changed();
  bool StopConfig(TChainEntry& e);    // false: the thread still runs and owns the library now
  void Unload(std::unique_ptr<TChainEntry> e);
  void KeepSelectionVisible();

  Options options_;
  dev_t selfDev_ = 0;
  ino_t selfIno_ = 0;
  std::vector<std::unique_ptr<TChainEntry>> chain_;  // edited under mutex_
  int selected_ = -1;
  int first_ = 0;

  std::mutex mutex_;                 // the chain and the scratch buffer
  std::vector<uint8_t> scratch_;     // 4 blocks of the widest size, guarded by mutex_
  std::atomic<int> live_{0};         // entries in the chain (skips the lock when 0)
  std::atomic<int64_t> longestWaitNs_{0};
  std::atomic<int> faults_{0};
};

}  // namespace pilvo
