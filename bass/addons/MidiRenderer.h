// A MIDI file rendered by FluidSynth as a decoder of the core (ORV_DECODER).
//
// Threading: the core calls the decoder functions one at a time (channel lock held); the immutable
// parts (file events, marks, track texts) may be read from any thread while the stream exists.
#pragma once

#include "AddonCore.h"
#include "MidiFile.h"

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct _fluid_hashtable_t;  // FluidSynth's settings and synthesizer
struct _fluid_synth_t;

namespace orvmidi {

struct FontUse {
  std::string path;  // a file FluidSynth can load
  float volume = 1.0f;
};

struct Mark {
  DWORD track;
  DWORD pos;  // bytes of the output format
  std::string text;
};

// Changes asked from other threads (fonts, live events), applied by the decoder at its next call.
struct MidiControl {
  std::mutex mutex;
  bool fontsChanged = false;
  std::vector<FontUse> fonts;
  std::vector<std::array<DWORD, 3>> events;  // channel, MIDI_EVENT_xxx, parameter
  // Each channel's controller state as the decoder has applied it, by MIDI_EVENT_xxx type (read
  // by BASS_MIDI_StreamGetEvent on any thread).
  static constexpr int kEvents = 16;
  std::array<std::atomic<uint16_t>, 16 * kEvents> state{};
  // Whether a MIDI_EVENT_xxx type is kept in "state".
  static bool Tracked(DWORD event);
};

// What a stream exposes beside its audio; shared with the family functions.
struct MidiStreamInfo {
  std::vector<Mark> marks[9];         // by BASS_MIDI_MARK_xxx type
  std::vector<std::string> trackTags; // zero-separated lists, each ending with an extra zero
  DWORD frameBytes = 4;
  DWORD tracks = 0;
};

class MidiRenderer {
 public:
  // freq 0 means 44100. Fails (with a BASS error code in *error) when no font loads or FluidSynth
  // cannot start.
  static std::unique_ptr<MidiRenderer> Create(std::unique_ptr<MidiFile> file, DWORD freq, DWORD flags,
                                              const std::vector<FontUse>& fonts, int* error);
  ~MidiRenderer();

  // Fills *out with this object as the decoder (the core owns it afterwards and calls close).
  void MakeDecoder(ORV_DECODER* out, DWORD ctype);
  std::shared_ptr<const MidiStreamInfo> Info() const { return info_; }
  std::shared_ptr<MidiControl> Control() const { return control_; }
  // Called once from close(), before the renderer goes.
  void SetCloseHook(void (*hook)(void* user), void* user) {
    closeHook_ = hook;
    closeUser_ = user;
  }

  // Called while a lyric mark's position is produced (index of the mark, its byte position);
  // set before the first read.
  using LyricHook = void (*)(void* user, DWORD index, QWORD pos);
  void SetLyricHook(LyricHook hook, void* user) {
    hook_ = hook;
    hookUser_ = user;
  }

  DWORD Read(void* buffer, DWORD length, BOOL* ended);
  bool Seek(QWORD pos);
  QWORD Length() const { return total_ * info_->frameBytes; }
  const char* Tags(DWORD type) const;

 private:
  MidiRenderer() = default;
  void Dispatch(const ChannelEvent& e, bool notes);
  bool EnsureSynth();
  void ApplyControl();
  void Track(int chan, DWORD event, int value);
  void ResetState();
  void LoadFonts(const std::vector<FontUse>& fonts);
  void LiveEvent(DWORD chan, DWORD event, DWORD param);
  void Convert(const float* src, size_t frames, uint8_t* dst);

  std::unique_ptr<MidiFile> file_;
  std::shared_ptr<MidiStreamInfo> info_;
  ::_fluid_hashtable_t* settings_ = nullptr;
  ::_fluid_synth_t* synth_ = nullptr;
  std::vector<FontUse> fonts_;
  int voices_ = 0;  // polyphony asked by the core's config, 0 = FluidSynth's default
  DWORD freq_ = 44100, flags_ = 0, chans_ = 2;
  uint64_t cur_ = 0, total_ = 0;
  size_t next_ = 0;      // next channel event
  size_t nextLyric_ = 0; // next lyric mark
  std::vector<float> scratch_, mono_;  // reused render buffers
  std::shared_ptr<MidiControl> control_ = std::make_shared<MidiControl>();
  void (*closeHook_)(void*) = nullptr;
  void* closeUser_ = nullptr;
  LyricHook hook_ = nullptr;
  void* hookUser_ = nullptr;
};

}  // namespace orvmidi
