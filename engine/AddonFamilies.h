// Run-time bindings of the add-ons that export their own function families
// (CD, MIDI, mixer). Each family is resolved completely or not at all.
// UI thread only.
#pragma once

#include <array>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "bass/addons/basscd.h"
#include "bass/addons/bassmidi.h"
#include "bass/addons/bassmix.h"
#include "engine/Dynamic_Bass.h"
#include "platform/DynamicLibrary.h"
#include "platform/Messages.h"

namespace engine {

struct TBassCD {
#define ORVELLA_PTR(name) decltype(&::name) name = nullptr;
  ORVELLA_BASSCD_FUNCTIONS(ORVELLA_PTR)
#undef ORVELLA_PTR
};

struct TBassMIDI {
#define ORVELLA_PTR(name) decltype(&::name) name = nullptr;
  ORVELLA_BASSMIDI_FUNCTIONS(ORVELLA_PTR)
#undef ORVELLA_PTR
};

struct TBassMix {
#define ORVELLA_PTR(name) decltype(&::name) name = nullptr;
  ORVELLA_BASSMIX_FUNCTIONS(ORVELLA_PTR)
#undef ORVELLA_PTR
};

// Lyric texts handed from the lyric procedure (a library thread) to the UI thread.
// Each text is copied whole (at most 255 characters) into a fixed ring owned here,
// so a text stays readable after the stream that produced it is gone and no pending
// text is ever overwritten while the UI is busy. When kCapacity texts are pending the
// oldest is dropped and counted. The lock is held only for one copy; Push never allocates.
class TLyricQueue {
 public:
  static constexpr size_t kCapacity = 4096;
  static constexpr size_t kTextSize = 256;
  // UI thread, before the first lyric sync: takes the ring's memory (none until MIDI is used).
  void Reserve();
  void Push(const char* text);          // library thread
  bool Take(std::string& text);         // UI thread: the oldest pending text
  size_t Pending() const;
  size_t Dropped() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::array<char, kTextSize>> texts_;  // guarded by mutex_
  size_t head_ = 0, count_ = 0, dropped_ = 0;       // guarded by mutex_
};

// What the lyric procedure needs, on a library thread: the window to post to and the queue.
struct TLyricRecord {
  std::atomic<platform::HWND> window{nullptr};
  std::atomic<DWORD> channel{0};
  const TBassMIDI* midi = nullptr;
  TLyricQueue queue;
};

class TAddonFamilies {
 public:
  ~TAddonFamilies();

  bool LoadCD(const std::string& path);
  bool LoadMIDI(const std::string& path);
  bool LoadMixer(const std::string& path);
  bool CDLoaded() const { return cdLib_.IsOpen(); }
  bool MIDILoaded() const { return midiLib_.IsOpen(); }
  bool MixerLoaded() const { return mixLib_.IsOpen(); }
  bool MixerVersionOk() const;

  // "A: product" entries of drives 0..3, up to the first that does not answer.
  std::vector<std::string> ListDrives() const;
  DWORD CDStreamCreateFile(const std::string& name, DWORD flags) const;
  DWORD CDTrackLength(DWORD drive, DWORD track) const;

  DWORD MIDIStreamCreateFile(const std::string& name, DWORD flags, DWORD freq) const;
  // Sets the lyric sync; the lyric procedure posts the mark's text to `window`.
  HSYNC SetLyricSync(TBassCore& bass, DWORD channel, platform::HWND window);
  void FreeFont(DWORD font) const;
  // The lyric texts posted so far and not yet taken.
  TLyricQueue& Lyrics() { return lyric_.queue; }

  TBassCD cd;
  TBassMIDI midi;
  TBassMix mix;

 private:
  platform::DynamicLibrary cdLib_, midiLib_, mixLib_;
  TLyricRecord lyric_;
};

}  // namespace engine
