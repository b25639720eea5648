#include "plugins/PluginCtrl.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstring>
#include <mutex>

#include "engine/Dynamic_Bass.h"
#include "engine/EngineTypes.h"
#include "platform/DynamicLibrary.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "plugins/PluginCtrlState.h"

namespace plugins {

THostState& Host() {
  static THostState* h = new THostState;  // never destroyed: plug-in threads may outlive statics
  return *h;
}

namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

bool SameNameNoCase(const std::string& a, const std::string& b) { return Upper(a) == Upper(b); }

// ---------------------------------------------------------------------------
// Output emulator: the record every input module's outMod points to.

uint32_t BytesPerSecond() {
  THostState& h = Host();
  return uint32_t(h.outBits.load() / 8) * uint32_t(h.outRate.load()) * uint32_t(h.outChans.load());
}

int MsOfBytes(int64_t bytes) {
  uint32_t b = BytesPerSecond();
  if (b == 0) return 0;
  return int(std::llround(double(bytes) * 1000.0 / b));
}

void OutConfig(HWND) {
  platform::ShowMessage("No configuration is needed.", platform::kCaptionConfirm, platform::MsgIcon::Information);
}
void OutAbout(HWND) {
  platform::ShowMessage("This is a Winamp output plug-in emulator using BASS", platform::kCaptionConfirm,
                        platform::MsgIcon::Information);
}
void OutInit() { Host().outInitialised = true; }
void OutQuit() { Host().outInitialised = false; }

// The output stream's procedure (audio library thread). It never waits: with
// nothing to give it answers 0 and the library retries (the stream stalls).
DWORD CALLBACK EmulatorReader(HSTREAM, void* buffer, DWORD length, void*) {
  THostState& h = Host();
  bool ended = h.endOfInput.load(std::memory_order_acquire);
  uint32_t n;
  {
    std::lock_guard lock(h.ring.ReaderLock());
    n = h.ring.Read(buffer, length, std::max(1, h.outFrameBytes.load()));
  }
  if (n == 0 && !ended) {
    // A writer silent for 3 s has stopped: end the stream rather than stall for ever.
    auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    int64_t since = h.underrunSince.load();
    if (since == 0) {
      h.underrunSince = now;
      return 0;
    }
    if (now - since < std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::seconds(3)).count())
      return 0;
    return BASS_STREAMPROC_END;
  }
  h.underrunSince = 0;
  if (n < length && ended) return n | BASS_STREAMPROC_END;
  return n;
}

void OutClose() {
  THostState& h = Host();
  DWORD s = h.outStream.exchange(0);
  if (s && h.bass) {
    if (h.bass->BASS_ChannelIsActive(s) == BASS_ACTIVE_PLAYING) h.bass->BASS_ChannelStop(s);
    h.bass->BASS_StreamFree(s);
  }
}

int OutOpen(int rate, int channels, int bits, int, int) {
  THostState& h = Host();
  if (!h.outInitialised || !h.bass) return -1;
  OutClose();
  HSTREAM s = 0;
  if (rate > 0 && channels > 0 && (bits == 8 || bits == 16))
    s = h.bass->BASS_StreamCreate(DWORD(rate), DWORD(channels), bits == 8 ? BASS_SAMPLE_8BITS : 0, &EmulatorReader,
                                  nullptr);
  if (s) {
    h.outRate = rate;
    h.outBits = bits;
    h.outChans = channels;
    h.outFrameBytes = bits / 8 * channels;
    uint32_t unit = uint32_t(bits / 8) * uint32_t(rate) * uint32_t(channels) * 2 / 10;
    h.outUnit = unit;
    uint32_t size = h.ring.Size();
    if ((size < 2 * unit || size > 4 * unit) && !h.ring.Resize(3 * unit)) {
      h.bass->BASS_StreamFree(s);
      s = 0;
    } else {
      h.timeOffset = 0;
      h.positionBase = 0;
      h.outStream = s;
      platform::PostMessage(h.engineWindow, engine::WM_PLUGIN_STREAMHANDLE, s, 0);
    }
  }
  h.ring.Reset();
  h.written = 0;
  h.seekPending = false;
  h.prebuffering = true;
  h.endOfInput = false;
  h.underrunSince = 0;
  return s ? 0 : -1;
}

int OutWrite(char* data, int length) {
  THostState& h = Host();
  int result = 1;
  if (length >= 0) {
    std::lock_guard lock(h.ring.WriterLock());
    if (h.ring.Write(data, uint32_t(length))) {
      h.written += length;
      result = 0;
    }
  }
  if (h.prebuffering.load()) {
    if (h.ring.Free() > 8192 && h.ring.Used() < 2 * h.outUnit.load()) return result;
    h.prebuffering = false;
    DWORD s = h.outStream.load();
    if (s) {
      h.resumed = false;
      h.bass->BASS_ChannelPlay(s, TRUE);
      QWORD base = h.bass->BASS_ChannelGetPosition(s, BASS_POS_BYTE);
      h.positionBase = base == QWORD(-1) ? 0 : int64_t(base);
      {
        std::lock_guard lock(h.infoMutex);
        h.channelInfo.BitsPerSample = int16_t(h.outBits.load());
        h.channelInfo.SampleRate = h.outRate.load();
        h.channelInfo.Channels = int16_t(h.outChans.load());
      }
      platform::PostMessage(h.engineWindow, engine::WM_PLUGIN_STARTPLAY, 0,
                            reinterpret_cast<platform::LPARAM>(&h.channelInfo));
    }
  }
  return result;
}

int OutCanWrite() {
  uint32_t free = Host().ring.Free();
  return free ? int(free - 1) : 0;
}

int OutIsPlaying() {
  THostState& h = Host();
  DWORD s = h.outStream.load();
  if (!s || !h.bass) return 0;
  DWORD a = h.bass->BASS_ChannelIsActive(s);
  return a == BASS_ACTIVE_PLAYING || a == BASS_ACTIVE_STALLED ? 1 : 0;
}

int OutPause(int pause) {
  THostState& h = Host();
  DWORD s = h.outStream.load();
  if (!s || !h.bass) return 0;
  bool wasPaused = h.bass->BASS_ChannelIsActive(s) == BASS_ACTIVE_PAUSED;
  if (pause) {
    if (!wasPaused) h.bass->BASS_ChannelPause(s);
  } else {
    h.resumed = true;
    if (wasPaused) {
      h.bass->BASS_ChannelPlay(s, FALSE);
    } else {
      h.bass->BASS_ChannelPlay(s, TRUE);
      QWORD base = h.bass->BASS_ChannelGetPosition(s, BASS_POS_BYTE);
      h.positionBase = base == QWORD(-1) ? 0 : int64_t(base);
    }
  }
  return wasPaused ? 1 : 0;
}

void OutSetVolume(int volume) {
  THostState& h = Host();
  if (!h.bass) return;
  volume = std::clamp(volume, 0, 255);
  h.bass->BASS_SetConfig(BASS_CONFIG_GVOL_STREAM, DWORD(volume) * 39);
}

void OutSetPan(int pan) {
  THostState& h = Host();
  DWORD s = h.outStream.load();
  if (s && h.bass) h.bass->BASS_ChannelSetAttribute(s, BASS_ATTRIB_PAN, float(pan) / 128.0f);
}

void OutFlush(int timeMs) {
  THostState& h = Host();
  DWORD s = h.outStream.load();
  DWORD state = s && h.bass ? h.bass->BASS_ChannelIsActive(s) : BASS_ACTIVE_STOPPED;
  bool restartPrebuffer = state == BASS_ACTIVE_PLAYING || state == BASS_ACTIVE_STALLED;
  if (state == BASS_ACTIVE_PAUSED && !h.seekPending.load()) return;  // a flush while paused is ignored
  if (s) {
    h.bass->BASS_ChannelStop(s);
    // Output time counts from here: the stream's own position goes on from what it had taken.
    QWORD base = h.bass->BASS_ChannelGetPosition(s, BASS_POS_BYTE);
    h.positionBase = base == QWORD(-1) ? 0 : int64_t(base);
  }
  if (restartPrebuffer) h.prebuffering = true;
  h.timeOffset = timeMs;
  h.ring.Reset();
  h.written = 0;
  h.seekPending = false;
}

int OutGetOutputTime() {
  THostState& h = Host();
  DWORD s = h.outStream.load();
  if (BytesPerSecond() == 0) return 0;
  int64_t pos = 0;
  if (s && h.bass) {
    QWORD p = h.bass->BASS_ChannelGetPosition(s, BASS_POS_BYTE);
    if (p != QWORD(-1)) pos = std::max<int64_t>(0, int64_t(p) - h.positionBase.load());
  }
  return MsOfBytes(pos) + h.timeOffset.load();
}

int OutGetWrittenTime() {
  THostState& h = Host();
  if (BytesPerSecond() == 0) return 0;
  return MsOfBytes(h.written.load()) + h.timeOffset.load();
}

Out_Module g_outModule = {
    16,      "BASS Winamp output plug-in emulator",
    65537,   nullptr,
    nullptr, &OutConfig,
    &OutAbout, &OutInit,
    &OutQuit,  &OutOpen,
    &OutClose, &OutWrite,
    &OutCanWrite, &OutIsPlaying,
    &OutPause, &OutSetVolume,
    &OutSetPan, &OutFlush,
    &OutGetOutputTime, &OutGetWrittenTime,
};

// ---------------------------------------------------------------------------
// Host functions installed in input modules (called on the plug-in's thread).

void SAVSAInit(int, int) {}
void SAVSADeInit() {}
void SAAddPCMData(void*, int, int, int) {}
int SAGetMode() { return 0; }
int SAAdd(void*, int, int) { return 0; }
void VSAAddPCMData(void*, int, int, int) {}
int VSAGetMode(int*, int*) { return 0; }
int VSAAdd(void*, int) { return 0; }
void VSASetInfo(int, int) {}
int DspIsActive() { return Host().dspActive.load() ? 1 : 0; }
int DspDoSamples(short* samples, int count, int bits, int channels, int rate) {
  return DSPDoSamples(samples, count, bits, channels, rate);
}

void HostSetInfo(int bitrate, int rate, int channels, int) {
  THostState& h = Host();
  if (bitrate == -1 && rate == -1 && channels == -1) return;
  {
    std::lock_guard lock(h.infoMutex);
    if (bitrate != -1) h.channelInfo.BitRate = bitrate;
    if (rate != -1) h.channelInfo.SampleRate = rate;
    if (channels != -1) h.channelInfo.Channels = int16_t(channels);
  }
  platform::PostMessage(h.engineWindow, engine::WM_PLUGIN_SETINFO, 0,
                        reinterpret_cast<platform::LPARAM>(&h.channelInfo));
}

// The hidden host window plug-ins are parented to; it answers their queries.
platform::LRESULT HostWindowProc(platform::HWND, platform::UINT msg, platform::WPARAM w, platform::LPARAM l) {
  if (msg == platform::WM_USER) return AnswerHostQuery(w, l);
  return 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Set-up

bool InitPluginCtrl(platform::HWND engineWindow, platform::HWND mainWindow, platform::HWND miniBrowser,
                    platform::UINT dataMessage, engine::TBassCore* bass) {
  THostState& h = Host();
  if (h.ready) return true;
  if (!engineWindow) return false;
  h.engineWindow = engineWindow;
  h.mainWindow = mainWindow;
  h.miniBrowser = miniBrowser;
  h.dataMessage = dataMessage;
  h.bass = bass;
  for (auto& s : h.slots) s = TInputSlot{};
  h.selected = -1;
  if (!h.ring.Resize(kInitialRingSize)) return false;
  h.silence.assign(kSilenceSize, 0);
  g_outModule.hMainWindow = mainWindow;
  g_outModule.Init();
  h.dspBuffer = std::make_shared<std::vector<uint8_t>>(kDSPBufferSize);
  h.hostWindow = platform::CreateProcWindow(&HostWindowProc);
  h.hostWindowProc = platform::GetWindowProc(h.hostWindow);
  h.iniPath = platform::ProgramFolder() + "plugins/plugin.ini";
  InstallFaultHandler();
  h.ready = h.outInitialised.load();
  return h.ready;
}

bool PluginCtrlReady() { return Host().ready; }

void QuitPluginCtrl() {
  THostState& h = Host();
  if (!h.ready) return;
  StopPlayThread();
  OutClose();
  h.selected = -1;
  for (auto& s : h.slots) {
    if (!s.module) continue;
    if (s.module->Quit) s.module->Quit();
    s.lib.Close();
    s = TInputSlot{};
  }
  DeactivateDSPModule();
  UnloadDSPPlugin();
  g_outModule.Quit();
  h.ring.Resize(0);
  h.silence.clear();
  h.dspBuffer.reset();
  if (h.hostWindow) {
    if (platform::GetWindowProc(h.hostWindow) != h.hostWindowProc)
      platform::SetWindowProc(h.hostWindow, h.hostWindowProc);
    platform::DestroyWindow(h.hostWindow);
  }
  h.hostWindow = nullptr;
  h.ready = false;
  h.bass = nullptr;
}

// ---------------------------------------------------------------------------
// Input plug-in table

int GetPluginIndex(const std::string& name) {
  THostState& h = Host();
  for (int i = 0; i < kMaxInputPlugins; ++i)
    if (h.slots[i].module && SameNameNoCase(h.slots[i].info.Name, name)) return i;
  return -1;
}

bool IsPluginLoaded(const std::string& name) { return GetPluginIndex(name) >= 0; }

int LoadInputPlugin(const std::string& name) {
  THostState& h = Host();
  if (!h.outInitialised) return plNotReady;
  if (IsPluginLoaded(name)) return plAlreadyLoaded;
  int slot = -1;
  for (int i = 0; i < kMaxInputPlugins && slot < 0; ++i)
    if (!h.slots[i].module) slot = i;
  if (slot < 0) return plTableFull;
  std::string path = !name.empty() && name[0] == '/' ? name : platform::ProgramFolder() + "plugins/" + name;
  TInputSlot& s = h.slots[slot];
  if (!s.lib.Open(path)) return plLoadFailed;
  auto get = s.lib.Function<winampGetInModule2Func>("winampGetInModule2");
  In_Module* m = get ? get() : nullptr;
  if (!m) {
    s.lib.Close();
    return plNotInputPlugin;
  }
  m->hMainWindow = reinterpret_cast<HWND>(h.engineWindow);
  m->hDllInstance = s.lib.Handle();
  m->outMod = &g_outModule;
  if (m->Init) m->Init();
  // The hooks go in only after Init: a plug-in may reset its record there.
  m->SAVSAInit = &SAVSAInit;
  m->SAVSADeInit = &SAVSADeInit;
  m->SAAddPCMData = &SAAddPCMData;
  m->SAGetMode = &SAGetMode;
  m->SAAdd = &SAAdd;
  m->VSAAddPCMData = &VSAAddPCMData;
  m->VSAGetMode = &VSAGetMode;
  m->VSAAdd = &VSAAdd;
  m->VSASetInfo = &VSASetInfo;
  m->dsp_isactive = &DspIsActive;
  m->dsp_dosamples = &DspDoSamples;
  m->SetInfo = &HostSetInfo;
  s.module = m;
  s.info.Name = name;
  s.info.Version = m->version;
  s.info.Description = m->description ? m->description : "";
  s.info.FileExtensions = m->FileExtensions ? m->FileExtensions : "";
  s.info.Seekable = m->is_seekable;
  s.info.DLLHandle = s.lib.Handle();
  return plLoaded;
}

int UnloadInputPlugin(const std::string& name) {
  THostState& h = Host();
  int slot = GetPluginIndex(name);
  if (slot < 0) return plNotLoaded;
  if (slot == h.selected) return plInUse;
  TInputSlot& s = h.slots[slot];
  if (s.module->Quit) s.module->Quit();
  s.lib.Close();
  if (s.lib.IsOpen()) return plFreeFailed;
  s = TInputSlot{};
  return plUnloaded;
}

In_Module* GetInputModule(int slot) {
  if (slot < 0 || slot >= kMaxInputPlugins) return nullptr;
  return Host().slots[slot].module;
}

TPluginInfo GetPluginInfo(int slot) {
  if (!GetInputModule(slot)) return TPluginInfo{};
  return Host().slots[slot].info;
}

int SelectInputPlugin(int slot) {
  if (slot < -1 || slot >= kMaxInputPlugins) return -1;
  if (slot >= 0 && !GetInputModule(slot)) return -1;
  Host().selected = slot;
  return 0;
}

int SelectedPlugin() { return Host().selected; }

std::string GetSelectedPluginName() {
  int s = Host().selected;
  return s >= 0 && GetInputModule(s) ? Host().slots[s].info.Name : std::string();
}

int FindPluginForExt(const std::string& ext) {
  std::string e = Upper(ext);
  for (int i = 0; i < kMaxInputPlugins; ++i)
    if (GetInputModule(i) && Upper(Host().slots[i].info.FileExtensions).find(e) != std::string::npos) return i;
  return -1;
}

std::string ExtensionPattern(const std::string& extensions) {
  if (extensions.empty()) return {};
  std::string p = "*.";
  for (size_t i = 0; i < extensions.size(); ++i) {
    p += extensions[i];
    if (extensions[i] == ';' && i + 1 < extensions.size()) p += "*.";
  }
  return platform::LowerAscii(p);
}

std::string GetPluginExtFilter() {
  if (!Host().outInitialised) return {};
  std::string filter;
  for (int i = 0; i < kMaxInputPlugins; ++i)
    if (GetInputModule(i)) filter += ExtensionPattern(Host().slots[i].info.FileExtensions) + ";";
  return filter;
}

int GetPluginOutputTime() {
  In_Module* m = GetInputModule(Host().selected);
  return m && m->GetOutputTime ? m->GetOutputTime() : 0;
}

// ---------------------------------------------------------------------------
// Shared engine state and queries

void SetPlayerMode(int mode) { Host().mode = mode; }
void SetStreamDuration(int32_t ms) { Host().duration = ms; }

void SetChannelState(int kind, DWORD decodeChannel, DWORD outputChannel, int channels, int sampleRate) {
  THostState& h = Host();
  h.kind = kind;
  h.decodeChannel = decodeChannel;
  h.outputChannel = outputChannel;
  h.channels = channels;
  h.sampleRate = sampleRate;
}

void SetPlaylistMirror(int position, std::vector<std::string> files) {
  Host().listPosition = position;
  Host().listFiles = std::move(files);
}

void SetServiceObject(void* service) { Host().service = service; }

platform::LRESULT AnswerHostQuery(platform::WPARAM wParam, platform::LPARAM lParam) {
  THostState& h = Host();
  switch (lParam) {
    case 0:
      return 0x5010;
    case 125:
      return h.listPosition;
    case 211:
      if (wParam < h.listFiles.size()) return reinterpret_cast<platform::LRESULT>(h.listFiles[wParam].c_str());
      return reinterpret_cast<platform::LRESULT>("");
    case 334:
      if (h.iniPath.empty()) h.iniPath = platform::ProgramFolder() + "plugins/plugin.ini";
      return reinterpret_cast<platform::LRESULT>(h.iniPath.c_str());
    case 3025:
      return reinterpret_cast<platform::LRESULT>(h.service);
    default:
      return 0;
  }
}

ChannelInfo ChannelInfoSnapshot() {
  std::lock_guard lock(Host().infoMutex);
  return Host().channelInfo;
}

Out_Module* OutputModule() { return &g_outModule; }
void SetEndOfInput() { Host().endOfInput.store(true, std::memory_order_release); }
void SetSeekPending() { Host().seekPending = true; }
bool EndOfInput() { return Host().endOfInput.load(); }

uint32_t RingUsed() { return Host().ring.Used(); }
uint32_t RingSize() { return Host().ring.Size(); }

void ResetRing() {
  THostState& h = Host();
  // Under both locks: a fill step in progress finishes (and sets its flags) first.
  std::scoped_lock lock(h.ring.WriterLock(), h.ring.ReaderLock());
  h.ring.ResetHeld();
  h.prebuffering = true;
  h.endOfInput = false;
}

}  // namespace plugins
