#include "plugins/PluginCtrl.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstring>
#include <mutex>
#include <set>

#include "engine/Dynamic_Bass.h"
#include "engine/EngineTypes.h"
#include "platform/DynamicLibrary.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "plugins/Drawers.h"
#include "plugins/PluginCtrlState.h"
#include "plugins/VisDrive2.h"
#include "plugins/WasabiAPI.h"

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

// Set by the program before the host starts; read on the UI thread only.
std::string& SettingsFileChoice() {
  static std::string path;
  return path;
}

std::string PluginSettingsFile() {
  const std::string& chosen = SettingsFileChoice();
  return chosen.empty() ? platform::ProgramFolder() + "plugins/plugin.ini" : chosen;
}

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

constexpr platform::UINT WM_GETTEXT = 0x000D;
constexpr platform::UINT WM_GETTEXTLENGTH = 0x000E;

// Extended file information asked with query 290 (four 32-bit fields in the classic layout).
struct TExtendedFileInfo {
  const char* filename;
  const char* metadata;
  char* ret;
  int32_t retlen;
};

std::string Trimmed(const char* p) {
  std::string s = p ? p : "";
  size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return {};
  return s.substr(a, s.find_last_not_of(" \t\r\n") - a + 1);
}

platform::LRESULT AnswerExtendedInfo(TExtendedFileInfo* info) {
  THostState& h = Host();
  if (!info || !info->metadata) return 1;
  const std::string field = info->metadata;
  if (field != "title" && field != "artist") return 1;
  std::string answer;
  std::string file = Trimmed(info->filename);
  if (!file.empty()) {
    // The title of the mirror entry with that file name (empty when none).
    for (size_t i = 0; i < h.listFiles.size(); ++i)
      if (h.listFiles[i] == info->filename) {
        answer = i < h.listTitles.size() ? h.listTitles[i] : std::string();
        break;
      }
  } else {
    if (info->retlen <= 0) return 1;
    answer = field == "title" ? "Dirizevi Revivize" : "Velloran";
  }
  // Copied into the caller's buffer: a pointer to ours would outlive the next query.
  if (info->ret && info->retlen > 0) {
    size_t n = std::min(answer.size(), size_t(info->retlen) - 1);
    std::memcpy(info->ret, answer.data(), n);
    info->ret[n] = 0;
  }
  return 1;
}

std::string HostWindowText() { return VisChannelAttrb().Title + " - Winamp"; }

// The drawer embed service's private request to the host window's thread.
constexpr platform::UINT kMsgGenDrawer = platform::WM_APP + 50;

// The service function plug-ins get from query 505; drawers are made on the UI thread.
::HWND GenDrawerService(embedWindowState* state) {
  THostState& h = Host();
  if (!h.hostWindow) return nullptr;
  return reinterpret_cast<::HWND>(
      platform::SendMessage(h.hostWindow, kMsgGenDrawer, 0, reinterpret_cast<platform::LPARAM>(state)));
}

// The hidden host window DSP modules are parented to; it answers their queries.
platform::LRESULT HostWindowProc(platform::HWND hwnd, platform::UINT msg, platform::WPARAM w, platform::LPARAM l) {
  THostState& h = Host();
  switch (msg) {
    case kMsgGenDrawer:
      return reinterpret_cast<platform::LRESULT>(
          MakeGenDrawerFrame(reinterpret_cast<embedWindowState*>(l), h.mainWindow, h.engineWindow, h.dataMessage));
    case WM_GETTEXT: {
      if (w == 0 || !l) return 0;
      std::string text = HostWindowText();
      size_t n = std::min(text.size(), size_t(w) - 1);
      std::memcpy(reinterpret_cast<char*>(l), text.data(), n);
      reinterpret_cast<char*>(l)[n] = 0;
      return platform::LRESULT(n);
    }
    case WM_GETTEXTLENGTH:
      return platform::LRESULT(HostWindowText().size());
    case platform::WM_USER:
      break;
    default:
      return platform::DefWindowProc(hwnd, msg, w, l);
  }
  const int mode = h.mode.load();
  switch (l) {
    case 0:
      return 8257;
    case 104:
      return mode == 3 ? 1 : mode == 4 ? 3 : 0;
    case 105:
      if (w == 0) return mode == 3 && h.positionMs ? h.positionMs() : -1;
      if (w == 1) return h.duration.load() / 1000;
      return 0;
    case 124:
      return platform::LRESULT(h.listFiles.size());
    case 125:
      // The plug-in's wParam is never read: it may be anything.
      return h.listFiles.empty() ? -1 : h.listPosition;
    case 126: {
      const TChannelAttrb& a = VisChannelAttrb();
      if (w == 0) return a.SampleRate;
      if (w == 1) return a.BitRate;
      if (w == 2) return a.Channels;
      return 0;
    }
    case 211:
      return reinterpret_cast<platform::LRESULT>(InternedString(w < h.listFiles.size() ? h.listFiles[w] : ""));
    case 212:
      return reinterpret_cast<platform::LRESULT>(InternedString(w < h.listTitles.size() ? h.listTitles[w] : ""));
    case 260:
      if (w == 1) return reinterpret_cast<platform::LRESULT>(h.hostWindow);
      if (w == 2) return reinterpret_cast<platform::LRESULT>(h.miniBrowser);
      return 0;
    case 290:
      return AnswerExtendedInfo(reinterpret_cast<TExtendedFileInfo*>(w));
    case 334:
      return AnswerHostQuery(0, 334);
    case 3025:
      return reinterpret_cast<platform::LRESULT>(h.service);
    case 241:
      return AnswerMiniBrowserQuery(w);
    case 503:
      return AnswerGenexBitmap();
    case 505:
      // No service to offer without the library that makes the drawers.
      if (w == 0) return MiniBrowserLib() ? reinterpret_cast<platform::LRESULT>(&GenDrawerService) : 0;
      return reinterpret_cast<platform::LRESULT>(
          MakeGenDrawerFrame(reinterpret_cast<embedWindowState*>(w), h.mainWindow, h.engineWindow, h.dataMessage));
    default:
      return 0;
  }
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
  h.mode = 0;  // the engine's copies start as a new engine's state
  h.duration = 0;
  for (auto& s : h.slots) s = TInputSlot{};
  h.selected = -1;
  if (!h.ring.Resize(kInitialRingSize)) return false;
  h.silence.assign(kSilenceSize, 0);
  g_outModule.hMainWindow = mainWindow;
  g_outModule.Init();
  h.dspBuffer = std::make_shared<std::vector<uint8_t>>(kDSPBufferSize);
  h.hostWindow = platform::CreateProcWindow(&HostWindowProc);
  h.hostWindowProc = platform::GetWindowProc(h.hostWindow);
  h.iniPath = PluginSettingsFile();
  h.service = WasabiServiceManager();
  InstallFaultHandler();
  h.ready = h.outInitialised.load();
  return h.ready;
}

bool PluginCtrlReady() { return Host().ready; }

void SetPluginSettingsFile(const std::string& path) {
  SettingsFileChoice() = path;
  Host().iniPath = PluginSettingsFile();
}

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

void SetPlaylistMirror(int position, std::vector<std::string> files, std::vector<std::string> titles) {
  THostState& h = Host();
  titles.resize(files.size());
  h.listPosition = files.empty() ? -1 : position;
  h.listFiles = std::move(files);
  h.listTitles = std::move(titles);
}

void SetHostPositionSource(std::function<int()> positionMs) { Host().positionMs = std::move(positionMs); }

platform::HWND HostWindow() { return Host().hostWindow; }

const char* InternedString(const std::string& s) {
  static std::mutex m;
  static std::set<std::string>* pool = new std::set<std::string>;  // plug-ins may keep the pointers
  std::lock_guard lock(m);
  return pool->insert(s).first->c_str();
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
      return reinterpret_cast<platform::LRESULT>(
          InternedString(wParam < h.listFiles.size() ? h.listFiles[wParam] : std::string()));
    case 334:
      if (h.iniPath.empty()) h.iniPath = PluginSettingsFile();
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
uint64_t DecodedAheadOfRing(const std::function<uint64_t()>& decoded, uint64_t* pos) {
  THostState& h = Host();
  std::lock_guard writer(h.ring.WriterLock());
  *pos = decoded();
  return uint64_t(h.ring.Used()) + h.inFlight.load();
}
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
