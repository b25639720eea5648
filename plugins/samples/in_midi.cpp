// in_midi.so: an input plug-in that plays standard MIDI files through
// FluidSynth with a General MIDI soundfont (the program's plugins/CT4MGM.SF2,
// else a system one). It renders on its own thread into the host's output
// module, runs the host's DSP hook, and posts the end to the host window.
//
// Threads: the host calls every In_Module function on its UI thread; the
// synthesiser belongs to the render thread while a file plays (Play and Stop
// start and join that thread).
//
// FluidSynth is opened on the first MIDI file, not with the plug-in: the host loads this plug-in at
// start, and FluidSynth pulls in some twenty libraries (audio drivers, SDL2, GLib) that a player
// that never plays MIDI does not need.
#include <dlfcn.h>
#include <fluidsynth.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "MidiTiming.h"
#include "plugins/sdk/winamp_input.h"

namespace {

constexpr int kRate = 44100;
constexpr int kFrames = 576;

extern In_Module g_module;

fluid_settings_t* g_settings = nullptr;
fluid_synth_t* g_synth = nullptr;
fluid_player_t* g_player = nullptr;
std::thread g_thread;
std::atomic<bool> g_stop{false}, g_paused{false};
std::atomic<int> g_seekTo{-1};
std::string g_file;
inmidi::TMidiTiming g_timing;

#define ORV_IN_MIDI_FLUID(X)                                                                             \
  X(fluid_set_log_function) X(new_fluid_settings) X(delete_fluid_settings) X(fluid_settings_setnum)     \
  X(fluid_settings_setint) X(new_fluid_synth) X(delete_fluid_synth) X(fluid_synth_sfload)               \
  X(fluid_synth_all_notes_off) X(fluid_synth_system_reset) X(fluid_synth_write_s16) X(new_fluid_player) \
  X(delete_fluid_player) X(fluid_player_add) X(fluid_player_play) X(fluid_player_stop)                  \
  X(fluid_player_seek) X(fluid_player_get_status)

struct TFluid {
#define ORV_IN_MIDI_PTR(name) decltype(&::name) name = nullptr;
  ORV_IN_MIDI_FLUID(ORV_IN_MIDI_PTR)
#undef ORV_IN_MIDI_PTR
};
TFluid FS;  // valid once LoadFluid() returned true

// Loads FluidSynth once; false when it or one of its functions is missing (MIDI files then fail
// to play, as without a soundfont).
bool LoadFluid() {
  static bool loaded = false;
  static std::once_flag once;
  std::call_once(once, [] {
    void* lib = nullptr;
    for (const char* name : {"libfluidsynth.so.3", "libfluidsynth.so.2", "libfluidsynth.so"})
      if ((lib = dlopen(name, RTLD_NOW | RTLD_LOCAL))) break;
    if (!lib) return;
    // Kept loaded for good: its GLib-based libraries cannot be loaded a second time.
    TFluid api;
#define ORV_IN_MIDI_RESOLVE(name)                                       \
  api.name = reinterpret_cast<decltype(&::name)>(dlsym(lib, #name)); \
  if (!api.name) return;
    ORV_IN_MIDI_FLUID(ORV_IN_MIDI_RESOLVE)
#undef ORV_IN_MIDI_RESOLVE
    FS = api;
    loaded = true;
  });
  return loaded;
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The soundfont beside this library first, then the usual system fonts.
std::string FindSoundFont() {
  Dl_info info{};
  std::vector<std::string> candidates;
  if (dladdr(reinterpret_cast<void*>(&FindSoundFont), &info) && info.dli_fname) {
    std::string self = info.dli_fname;
    std::string folder = self.substr(0, self.rfind('/') + 1);
    candidates.push_back(folder + "CT4MGM.SF2");
  }
  for (const char* p : {"/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/FluidR3_GM.sf2",
                        "/usr/share/sounds/sf2/TimGM6mb.sf2", "/usr/share/soundfonts/default.sf2"})
    candidates.emplace_back(p);
  for (const auto& c : candidates)
    if (Exists(c)) return c;
  return {};
}

bool EnsureSynth() {
  if (g_synth) return true;
  std::string font = FindSoundFont();
  if (font.empty() || !LoadFluid()) return false;
  FS.fluid_set_log_function(FLUID_WARN, nullptr, nullptr);
  FS.fluid_set_log_function(FLUID_INFO, nullptr, nullptr);
  FS.fluid_set_log_function(FLUID_DBG, nullptr, nullptr);
  g_settings = FS.new_fluid_settings();
  FS.fluid_settings_setnum(g_settings, "synth.sample-rate", kRate);
  FS.fluid_settings_setnum(g_settings, "synth.gain", 0.5);
  FS.fluid_settings_setint(g_settings, "synth.threadsafe-api", 0);
  g_synth = FS.new_fluid_synth(g_settings);
  if (!g_synth || FS.fluid_synth_sfload(g_synth, font.c_str(), 1) == FLUID_FAILED) {
    if (g_synth) FS.delete_fluid_synth(g_synth);
    FS.delete_fluid_settings(g_settings);
    g_synth = nullptr;
    g_settings = nullptr;
    return false;
  }
  return true;
}

void Render() {
  std::vector<int16_t> buf(size_t(kFrames) * 2 * 2);  // room for a DSP module that doubles the frames
  bool ended = false;
  int64_t renderedFrames = 0;
  int startMs = 0;
  const int lengthMs = g_timing.LengthMs();
  while (!g_stop) {
    int seek = g_seekTo.exchange(-1);
    if (seek >= 0) {
      FS.fluid_synth_all_notes_off(g_synth, -1);
      FS.fluid_player_seek(g_player, int(g_timing.MsToTicks(seek)));
      g_module.outMod->Flush(seek);
      ended = false;
      startMs = seek;
      renderedFrames = 0;
    }
    if (ended || FS.fluid_player_get_status(g_player) == FLUID_PLAYER_DONE) {
      if (!ended) PostMessage(g_module.hMainWindow, WM_WA_MPEG_EOF, 0, 0);
      ended = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    FS.fluid_synth_write_s16(g_synth, kFrames, buf.data(), 0, 2, buf.data(), 1, 2);
    renderedFrames += kFrames;
    // The player idles a while after the last event: the song ends once its notes
    // have died away (at most 2 s of release after the last event).
    int64_t atMs = startMs + renderedFrames * 1000 / kRate;
    if (atMs >= lengthMs) {
      int peak = 0;
      for (int i = 0; i < kFrames * 2; ++i) peak = std::max(peak, std::abs(int(buf[size_t(i)])));
      if (peak < 4 || atMs >= lengthMs + 2000) {
        PostMessage(g_module.hMainWindow, WM_WA_MPEG_EOF, 0, 0);
        ended = true;
        continue;
      }
    }
    int n = kFrames;
    if (g_module.dsp_isactive && g_module.dsp_isactive())
      n = g_module.dsp_dosamples(buf.data(), n, 16, 2, kRate);
    int bytes = n * 4;
    while (!g_stop && g_seekTo.load() < 0 && g_module.outMod->CanWrite() < bytes)
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
    if (g_stop || g_seekTo.load() >= 0) continue;
    g_module.outMod->Write(reinterpret_cast<char*>(buf.data()), bytes);
  }
}

void Config(HWND) {}
void About(HWND) {}
void Init() {}

void Stop() {
  g_stop = true;
  if (g_thread.joinable()) g_thread.join();
  if (g_player) {
    FS.fluid_player_stop(g_player);
    FS.delete_fluid_player(g_player);
    g_player = nullptr;
  }
  if (g_synth) FS.fluid_synth_system_reset(g_synth);
  if (g_module.outMod) g_module.outMod->Close();
}

void Quit() {
  Stop();
  if (g_synth) FS.delete_fluid_synth(g_synth);
  if (g_settings) FS.delete_fluid_settings(g_settings);
  g_synth = nullptr;
  g_settings = nullptr;
}

std::string BaseName(const std::string& path) {
  std::string name = path.substr(path.rfind('/') + 1);
  return name.substr(0, name.rfind('.'));
}

void GetFileInfo(const char* file, char* title, int* length) {
  std::string path = file ? file : g_file;
  inmidi::TMidiTiming t = file ? inmidi::ReadMidiTiming(path) : g_timing;
  if (title) std::snprintf(title, 256, "%s", t.title.empty() ? BaseName(path).c_str() : t.title.c_str());
  if (length) *length = t.LengthMs();
}

int InfoBox(const char*, HWND) { return 0; }
int IsOurFile(const char*) { return 0; }

int Play(const char* file) {
  Stop();
  g_timing = inmidi::ReadMidiTiming(file);
  if (!g_timing.ok || !EnsureSynth()) return 1;
  g_player = FS.new_fluid_player(g_synth);
  if (!g_player || FS.fluid_player_add(g_player, file) != FLUID_OK || FS.fluid_player_play(g_player) != FLUID_OK) {
    if (g_player) FS.delete_fluid_player(g_player);
    g_player = nullptr;
    return 1;
  }
  if (g_module.outMod->Open(kRate, 2, 16, -1, -1) != 0) {
    Stop();
    return 1;
  }
  g_file = file;
  g_stop = false;
  g_paused = false;
  g_seekTo = -1;
  g_module.SetInfo(kRate * 2 * 16, kRate, 2, 1);
  g_thread = std::thread(&Render);
  return 0;
}

void Pause() {
  g_paused = true;
  g_module.outMod->Pause(1);
}
void UnPause() {
  g_paused = false;
  g_module.outMod->Pause(0);
}
int IsPaused() { return g_paused ? 1 : 0; }
int GetLength() { return g_timing.LengthMs(); }
int GetOutputTime() { return g_module.outMod ? g_module.outMod->GetOutputTime() : 0; }
void SetOutputTime(int ms) { g_seekTo = ms < 0 ? 0 : ms; }
void SetVolume(int v) { g_module.outMod->SetVolume(v); }
void SetPan(int p) { g_module.outMod->SetPan(p); }
void EQSet(int, char*, int) {}

In_Module g_module = {IN_VER,       "Orvella MIDI player (FluidSynth)",
                      nullptr,      nullptr,
                      "MID;MIDI;RMI;KAR\0MIDI files (*.mid;*.midi;*.rmi;*.kar)\0",
                      1,            1,
                      &Config,      &About,
                      &Init,        &Quit,
                      &GetFileInfo, &InfoBox,
                      &IsOurFile,   &Play,
                      &Pause,       &UnPause,
                      &IsPaused,    &Stop,
                      &GetLength,   &GetOutputTime,
                      &SetOutputTime, &SetVolume,
                      &SetPan,      nullptr,
                      nullptr,      nullptr,
                      nullptr,      nullptr,
                      nullptr,      nullptr,
                      nullptr,      nullptr,
                      nullptr,      nullptr,
                      &EQSet,       nullptr,
                      nullptr};

}  // namespace

extern "C" __attribute__((visibility("default"))) In_Module* winampGetInModule2() { return &g_module; }
