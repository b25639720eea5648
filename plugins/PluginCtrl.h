// PluginCtrl: the Winamp plug-in host. Input plug-in table, the output emulator
// and its sample ring, the DSP library and module table, and the play thread
// that runs the engine's dual-channel mode. One module-level instance, set up by
// the engine's constructor (InitPluginCtrl) and torn down by its destructor.
//
// Threads:
// - every function of this header runs on the UI thread (the engine's thread),
//   except where noted;
// - input plug-ins call the output module, SetInfo, dsp_isactive and
//   dsp_dosamples from their decoding threads;
// - the play thread (one per stream in dual-channel mode) writes the ring; the
//   audio library's thread reads it in the stream procedures;
// - other threads reach the engine only by messages posted to its window.
// A module is never started or quit mid-block: activation and deactivation
// keep new ModifySamples calls out and wait for the one in progress. That wait
// (like the wait for the play thread to end) goes on answering sends, since a
// module may query the host window from ModifySamples; a call that has not
// returned after a few seconds is left behind with its module, which is never
// called again and whose library stays loaded, and "DSP error" is reported.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bass/bass.h"
#include "platform/Messages.h"
#include "plugins/sdk/winamp_channel_info.h"
#include "plugins/sdk/winamp_dsp.h"
#include "plugins/sdk/winamp_input.h"

namespace engine {
class TBassCore;
}

namespace plugins {

// Thread message asking the play thread to fill the ring.
constexpr platform::UINT WM_PLAYTHREAD_FILL = platform::WM_USER + 114;
// Posted to the engine window when a DSP module faulted on the play thread or
// was left behind inside a call.
constexpr platform::UINT WM_PLUGIN_DSPERROR = platform::WM_USER + 119;

constexpr int kMaxInputPlugins = 8;
constexpr int kMaxDSPModules = 8;
constexpr uint32_t kInitialRingSize = 88200;
constexpr uint32_t kSilenceSize = 4608;
constexpr uint32_t kDSPBufferSize = 36864;

struct TPluginInfo {
  std::string Name;
  int32_t Version = 0;
  std::string Description;
  std::string FileExtensions;
  int32_t Seekable = 0;
  void* DLLHandle = nullptr;
};

// Load results.
enum : int {
  plLoaded = 0,
  plNotReady = 1,
  plAlreadyLoaded = 2,
  plTableFull = 3,
  plLoadFailed = 4,
  plNotInputPlugin = 5,
  plUnloaded = 0,
  plFreeFailed = 6,
  plNotLoaded = 7,
  plInUse = 8,
};

// Set-up and shut-down. `bass` is the engine's binding of the audio library; it
// must outlive QuitPluginCtrl.
bool InitPluginCtrl(platform::HWND engineWindow, platform::HWND mainWindow, platform::HWND miniBrowser,
                    platform::UINT dataMessage, engine::TBassCore* bass);
void QuitPluginCtrl();
bool PluginCtrlReady();
// The settings file plug-ins are told of (query 334): "plugins/plugin.ini" in
// the program folder unless the program names another one (an installed
// program folder is not the user's to write). An empty path restores that.
void SetPluginSettingsFile(const std::string& path);

// Input plug-ins. Names are relative to the plugins/ folder; a name starting
// with '/' is taken as a path.
int LoadInputPlugin(const std::string& name);
int UnloadInputPlugin(const std::string& name);
int GetPluginIndex(const std::string& name);
bool IsPluginLoaded(const std::string& name);
In_Module* GetInputModule(int slot);
TPluginInfo GetPluginInfo(int slot);
int SelectInputPlugin(int slot);
int SelectedPlugin();
std::string GetSelectedPluginName();
int FindPluginForExt(const std::string& ext);
std::string GetPluginExtFilter();
int GetPluginOutputTime();
// The dialog pattern of one extension string ("MP3;MP2" -> "*.mp3;*.mp2").
std::string ExtensionPattern(const std::string& extensions);

// Engine state the host keeps for plug-in queries and the play path.
void SetPlayerMode(int mode);
void SetStreamDuration(int32_t ms);
void SetChannelState(int kind, DWORD decodeChannel, DWORD outputChannel, int channels, int sampleRate);
// Playlist mirror and service object answered to plug-in queries.
// Playlist mirror: files and titles in list order, and the playing index (-1 none).
void SetPlaylistMirror(int position, std::vector<std::string> files, std::vector<std::string> titles = {});
// Where the host window's position answer comes from (the engine's position in ms).
void SetHostPositionSource(std::function<int()> positionMs);
// The hidden host window DSP modules get as hwndParent.
platform::HWND HostWindow();
// Strings handed to plug-ins stay valid for the rest of the run (one copy per distinct text).
const char* InternedString(const std::string& s);
void SetServiceObject(void* service);
// Answers a WM_USER query a plug-in sent to the engine window (input plug-ins'
// hMainWindow); the hidden host window answers the fuller table of DSP modules.
platform::LRESULT AnswerHostQuery(platform::WPARAM wParam, platform::LPARAM lParam);

// The channel information record as SetInfo and the output left it (a copy:
// the record itself is written by plug-in threads).
ChannelInfo ChannelInfoSnapshot();

// Output emulator.
Out_Module* OutputModule();
void SetEndOfInput();     // the plug-in reported its end
void SetSeekPending();    // the engine is about to seek the plug-in
bool EndOfInput();

// The sample ring (shared by the emulator and the play thread).
uint32_t RingUsed();
// Decoded but not yet in the output: the ring and the fill step in work, read together with the
// decoder's position (`decoded` is called under the ring's writer lock, so no fill step is half
// done between the two).
uint64_t DecodedAheadOfRing(const std::function<uint64_t()>& decoded, uint64_t* pos);
uint32_t RingSize();
void ResetRing();

// DSP plug-ins.
bool IsDSPBufferReady();
// Loads the library (or returns the loaded one); modules listed in `modules`.
int LoadDSPPlugin(const std::string& path, winampDSPHeader** header, winampDSPModule** modules);
int ActivateDSPModule(int index);
int DeactivateDSPModule();
int UnloadDSPPlugin();
bool IsDSPActive();
int ActiveDSPModule();
int DSPModuleCount();
std::string GetDSPLibraryName();
// Runs the active module over a block (the dsp_dosamples of input modules).
int DSPDoSamples(short* samples, int count, int bits, int channels, int rate);

// Play thread (dual-channel mode).
DWORD StartPlayThread(DWORD readChannel, DWORD sourceChannel, int rate, bool pad, int bits, int channels);
void StopPlayThread();
bool PlayThreadRunning();
// Block size in bytes of the fill step for a format.
uint32_t PlayBlockBytes(int bits, int channels, int rate);
// Times a DSP module faulted on the play thread or was left behind since the host started.
int DSPFaultCount();

// Runs call(arg) on the calling thread under the fault guard ModifySamples runs under on the play
// thread: a fault inside (SIGSEGV, SIGBUS, SIGFPE, SIGILL) returns false instead of ending the
// program. For the managers' calls of a plug-in's Config and About; calls may nest.
bool RunPluginGuarded(void (*call)(void*), void* arg);

}  // namespace plugins
