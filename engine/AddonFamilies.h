// Run-time bindings of the add-ons that export their own function families
// (CD, MIDI, mixer). Each family is resolved completely or not at all.
// UI thread only.
#pragma once

#include <array>
#include <atomic>
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

// What the lyric procedure needs, on a library thread: the window to post to
// and a ring of text buffers owned here, so a posted text stays readable after
// the stream that produced it is gone (the last 16 lyrics are kept).
struct TLyricRecord {
  std::atomic<platform::HWND> window{nullptr};
  std::atomic<DWORD> channel{0};
  const TBassMIDI* midi = nullptr;
  std::array<std::array<char, 256>, 16> texts{};
  std::atomic<unsigned> next{0};
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

  TBassCD cd;
  TBassMIDI midi;
  TBassMix mix;

 private:
  platform::DynamicLibrary cdLib_, midiLib_, mixLib_;
  TLyricRecord lyric_;
};

}  // namespace engine
