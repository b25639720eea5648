// The exported BASS_ functions: set-up, configuration, device, channels.
#include "Core.h"
#include "KeptForProcess.h"
#include "Effects.h"
#include "Fft.h"
#include "Net.h"
#include "Output.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <cmath>
#include <cstring>

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace orvbass {

static thread_local int tError = 0;
bool SetError(int code) {
  tError = code;
  return code == 0;
}
int GetError() { return tError; }

Lib& L() {
  static Lib* lib = KeptForProcess(new Lib);  // never destroyed: threads may outlive static destruction
  return *lib;
}

ChannelPtr FindChannel(DWORD handle) {
  std::lock_guard<std::mutex> lk(L().mutex);
  auto it = L().channels.find(handle);
  if (it == L().channels.end()) {
    SetError(BASS_ERROR_HANDLE);
    return nullptr;
  }
  return it->second;
}

DWORD RegisterChannel(const ChannelPtr& ch) {
  std::lock_guard<std::mutex> lk(L().mutex);
  ch->handle = L().NewHandle();
  L().channels[ch->handle] = ch;
  return ch->handle;
}

static void DropChannel(const ChannelPtr& c) {
  // Free callbacks first: they may still read the channel.
  {
    std::lock_guard<std::recursive_mutex> lk(c->mutex);
    std::vector<Sync> frees;
    for (auto& s : c->syncs)
      if (s.type == BASS_SYNC_FREE) frees.push_back(s);
    for (auto& s : frees) s.proc(s.handle, c->handle, 0, s.user);
    c->alive = false;
    c->playing = false;
    c->state = Channel::State::Stopped;
    c->generation.fetch_add(1);  // a fill in progress below a callback stops there
  }
  WaitForChannelCallbacks(c.get());
  // A stream procedure running on another thread finishes before the stream goes away.
  for (;;) {
    std::unique_lock<std::recursive_mutex> lk(c->mutex);
    if (!c->inRead || c->reader == std::this_thread::get_id()) break;
    lk.unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::lock_guard<std::recursive_mutex> lk(c->mutex);
  {
    std::lock_guard<std::mutex> lg(L().mutex);
    for (auto& p : c->procs) {
      L().fxOwner.erase(p.handle);
      L().dspOwner.erase(p.handle);
    }
    for (auto& s : c->syncs) L().syncOwner.erase(s.handle);
  }
  c->procs.clear();
  c->syncs.clear();
  if (c->dec.funcs && c->dec.funcs->close) c->dec.funcs->close(c->dec.self);
  c->dec = ORV_DECODER{};
  if (c->file) FileClose(c->file);
  c->file = nullptr;
}

bool FreeChannel(DWORD handle, bool musicOnly, bool streamOnly) {
  ChannelPtr c;
  {
    std::lock_guard<std::mutex> lk(L().mutex);
    auto it = L().channels.find(handle);
    if (it == L().channels.end() || (musicOnly && !it->second->isMusic) || (streamOnly && it->second->isMusic))
      return SetError(BASS_ERROR_HANDLE);
    c = it->second;
    L().channels.erase(it);
  }
  DropChannel(c);
  return SetError(BASS_OK);
}

void FreeAllChannels() {
  std::vector<ChannelPtr> all;
  {
    std::lock_guard<std::mutex> lk(L().mutex);
    for (auto& [h, c] : L().channels) all.push_back(c);
    L().channels.clear();
  }
  for (auto& c : all) DropChannel(c);
}

bool PluginInUse(HPLUGIN plugin) {
  std::lock_guard<std::mutex> lk(L().mutex);
  for (auto& [h, c] : L().channels)
    if (c->plugin == plugin) return true;
  return false;
}

void RemoveSyncLocked(Channel& c, HSYNC sync) {
  c.syncs.erase(std::remove_if(c.syncs.begin(), c.syncs.end(), [&](const Sync& s) { return s.handle == sync; }),
                c.syncs.end());
  std::lock_guard<std::mutex> lk(L().mutex);
  L().syncOwner.erase(sync);
}

DWORD CreateChannelFromDecoder(const ORV_DECODER& dec, ORV_FILE* file, DWORD flags, HPLUGIN plugin,
                               const char* filename, bool isMusic) {
  if (!dec.funcs || !dec.funcs->read || dec.chans < 1 || dec.chans > 8 || dec.freq < 1) {
    if (dec.funcs && dec.funcs->close) dec.funcs->close(dec.self);
    if (file) FileClose(file);
    return Fail<DWORD>(dec.chans > 8 ? BASS_ERROR_SPEAKER : BASS_ERROR_FORMAT, 0);
  }
  FileProbed(file);
  auto c = std::make_shared<Channel>();
  c->dec = dec;
  c->file = file;
  c->isMusic = isMusic;
  c->flags = (flags & ~(BASS_SAMPLE_8BITS | BASS_SAMPLE_FLOAT)) | (dec.flags & (BASS_SAMPLE_8BITS | BASS_SAMPLE_FLOAT));
  if (dec.chans == 1) c->flags |= BASS_SAMPLE_MONO;
  c->freq = dec.freq;
  c->chans = dec.chans;
  c->fmt = FmtOfFlags(dec.flags);
  c->frameBytes = BytesOf(c->fmt) * int(dec.chans);
  c->ctype = dec.ctype;
  c->origres = dec.origres;
  c->plugin = plugin;
  if (filename) {
    c->filename = filename;
    c->hasFilename = true;
  }
  c->decodeOnly = (flags & BASS_STREAM_DECODE) != 0;
  c->vol.value = c->vol.target = 1.0f;
  c->freqAttr.value = c->freqAttr.target = float(dec.freq);
  if (!c->decodeOnly) {
    // The mixer never allocates: the resampler's buffers exist before the channel can play.
    c->rs.Configure(int(dec.chans));
    c->rs.EnableStretchTable(double(dec.freq) / L().outFreq);
    c->resampled.assign(size_t(Resampler::kChunk) * dec.chans, 0.0f);
  }
  DWORD h = RegisterChannel(c);
  {
    std::lock_guard<std::recursive_mutex> lk(c->mutex);
    BindUserStream(*c);
  }
  SetError(BASS_OK);
  return h;
}

}  // namespace orvbass

using namespace orvbass;

// ------------------------------------------------------------------------------ set-up
EXPORT BOOL BASS_SetConfig(DWORD option, DWORD value) {
  Lib& lib = L();
  switch (option) {
    case BASS_CONFIG_BUFFER: lib.bufferMs = std::clamp<DWORD>(value, 10, 5000); break;
    case BASS_CONFIG_UPDATEPERIOD: lib.updatePeriod = value; break;
    case BASS_CONFIG_GVOL_STREAM: lib.gvolStream = std::min<DWORD>(value, 10000); break;
    case BASS_CONFIG_GVOL_MUSIC: lib.gvolMusic = std::min<DWORD>(value, 10000); break;
    case BASS_CONFIG_GVOL_SAMPLE: lib.gvolSample = std::min<DWORD>(value, 10000); break;
    default: {
      std::lock_guard<std::mutex> lk(lib.mutex);
      lib.otherConfig[option] = value;
    }
  }
  return SetError(BASS_OK);
}

EXPORT DWORD BASS_GetConfig(DWORD option) {
  Lib& lib = L();
  SetError(BASS_OK);
  switch (option) {
    case BASS_CONFIG_BUFFER: return lib.bufferMs;
    case BASS_CONFIG_UPDATEPERIOD: return lib.updatePeriod;
    case BASS_CONFIG_GVOL_STREAM: return lib.gvolStream;
    case BASS_CONFIG_GVOL_MUSIC: return lib.gvolMusic;
    case BASS_CONFIG_GVOL_SAMPLE: return lib.gvolSample;
    case BASS_CONFIG_ORV_UNDERRUNS:
      if (!lib.initialized || !lib.output) return Fail<DWORD>(BASS_ERROR_INIT, DWORD(-1));
      return DWORD(lib.output->Underruns());
    default: {
      std::lock_guard<std::mutex> lk(lib.mutex);
      auto it = lib.otherConfig.find(option);
      if (it != lib.otherConfig.end()) return it->second;
    }
  }
  return Fail<DWORD>(BASS_ERROR_ILLPARAM, DWORD(-1));
}

EXPORT BOOL BASS_SetConfigPtr(DWORD option, const void* value) {
  std::lock_guard<std::mutex> lk(L().mutex);
  if (option == BASS_CONFIG_ORV_ADDON_API) return SetError(BASS_ERROR_ILLPARAM);
  if (value) L().ptrConfig[option] = static_cast<const char*>(value);
  else L().ptrConfig.erase(option);
  return SetError(BASS_OK);
}

EXPORT const void* BASS_GetConfigPtr(DWORD option) {
  if (option == BASS_CONFIG_ORV_ADDON_API) {
    SetError(BASS_OK);
    return CoreApi();
  }
  std::lock_guard<std::mutex> lk(L().mutex);
  auto it = L().ptrConfig.find(option);
  if (it == L().ptrConfig.end()) return Fail<const void*>(BASS_ERROR_ILLPARAM, nullptr);
  SetError(BASS_OK);
  return it->second.c_str();
}

EXPORT DWORD BASS_GetVersion(void) { return ORVELLA_BASS_VERSION; }
EXPORT int BASS_ErrorGetCode(void) { return GetError(); }

EXPORT BOOL BASS_GetDeviceInfo(DWORD device, BASS_DEVICEINFO* info) {
  if (!info) return SetError(BASS_ERROR_ILLPARAM);
  if (device == 0) {
    *info = {"No sound", "", BASS_DEVICE_ENABLED | (L().initialized && L().device == 0 ? BASS_DEVICE_INIT : 0u)};
  } else if (device == 1) {
    *info = {"Default", "", BASS_DEVICE_ENABLED | BASS_DEVICE_DEFAULT |
                                (L().initialized && L().device == 1 ? BASS_DEVICE_INIT : 0u)};
  } else {
    return SetError(BASS_ERROR_DEVICE);
  }
  return SetError(BASS_OK);
}

EXPORT BOOL BASS_Init(int device, DWORD freq, DWORD flags, void* win, const void* dsguid) {
  (void)win;
  (void)dsguid;
  Lib& lib = L();
  if (device == -1) device = 1;
  if (device < 0 || device > 1) return SetError(BASS_ERROR_DEVICE);
  if (lib.initialized) return SetError(BASS_ERROR_ALREADY);
  if (freq == 0) freq = 44100;
  if (freq < 1000 || freq > 384000) return SetError(BASS_ERROR_FORMAT);
  static std::once_flag exitHook;
  // A program that ends without BASS_Free still gets its capture file closed properly.
  std::call_once(exitHook, [] { std::atexit([] { BASS_Free(); }); });
  lib.output = OpenOutput(device, freq);
  if (!lib.output) return SetError(BASS_ERROR_DRIVER);
  lib.device = device;
  lib.outFreq = freq;
  lib.initFlags = flags;
  lib.initialized = true;
  SyncThreadStart();
  MixerStart();
  return SetError(BASS_OK);
}

EXPORT BOOL BASS_SetDevice(DWORD device) {
  if (device > 1) return SetError(BASS_ERROR_DEVICE);
  if (!L().initialized || L().device != int(device)) return SetError(BASS_ERROR_INIT);
  return SetError(BASS_OK);
}

EXPORT DWORD BASS_GetDevice(void) {
  if (!L().initialized) return Fail<DWORD>(BASS_ERROR_INIT, DWORD(-1));
  SetError(BASS_OK);
  return DWORD(L().device);
}

EXPORT BOOL BASS_Free(void) {
  Lib& lib = L();
  if (!lib.initialized) return SetError(BASS_ERROR_INIT);
  // The library's own threads cannot wait for themselves to end.
  if (OnLibraryThread()) return SetError(BASS_ERROR_BUSY);
  MixerStop();
  SyncThreadStop();
  FreeAllChannels();
  lib.output.reset();
  lib.initialized = false;
  lib.device = -1;
  return SetError(BASS_OK);
}

EXPORT void* BASS_GetDSoundObject(DWORD) { return Fail<void*>(BASS_ERROR_NOTAVAIL, nullptr); }

EXPORT BOOL BASS_GetInfo(BASS_INFO* info) {
  if (!L().initialized) return SetError(BASS_ERROR_INIT);
  if (!info) return SetError(BASS_ERROR_ILLPARAM);
  std::memset(info, 0, sizeof(*info));
  info->minrate = 1000;
  info->maxrate = 384000;
  info->minbuf = 1 + L().output->LatencyMs();
  info->dsver = 9;
  info->latency = L().output->LatencyMs();
  info->initflags = L().initFlags;
  info->speakers = 2;
  info->freq = L().outFreq;
  return SetError(BASS_OK);
}

EXPORT BOOL BASS_Update(DWORD) {
  if (!L().initialized) return SetError(BASS_ERROR_INIT);
  MixerWake();
  return SetError(BASS_OK);
}

EXPORT float BASS_GetCPU(void) { return L().cpu.load(); }

EXPORT BOOL BASS_Start(void) {
  if (!L().initialized) return SetError(BASS_ERROR_INIT);
  L().output->SetPaused(false);
  MixerWake();
  return SetError(BASS_OK);
}

EXPORT BOOL BASS_Stop(void) {
  if (!L().initialized) return SetError(BASS_ERROR_INIT);
  std::vector<ChannelPtr> all;
  {
    std::lock_guard<std::mutex> lk(L().mutex);
    for (auto& [h, c] : L().channels) all.push_back(c);
  }
  for (auto& c : all) {
    std::lock_guard<std::recursive_mutex> lk(c->mutex);
    if (c->state == Channel::State::Playing) {
      c->state = Channel::State::Paused;
      c->playing = false;
    }
  }
  L().output->SetPaused(true);
  return SetError(BASS_OK);
}

EXPORT BOOL BASS_Pause(void) {
  if (!L().initialized) return SetError(BASS_ERROR_INIT);
  L().output->SetPaused(true);
  return SetError(BASS_OK);
}

EXPORT BOOL BASS_SetVolume(float volume) {
  if (!L().initialized) return SetError(BASS_ERROR_INIT);
  if (!(volume >= 0 && volume <= 1)) return SetError(BASS_ERROR_ILLPARAM);
  L().masterVolume = volume;
  return SetError(BASS_OK);
}

EXPORT float BASS_GetVolume(void) {
  if (!L().initialized) return Fail(BASS_ERROR_INIT, -1.0f);
  SetError(BASS_OK);
  return L().masterVolume.load();
}

// ------------------------------------------------------------------------------ 3D, EAX, samples, recording
// Not provided: the player never uses them; they answer "not available".
EXPORT BOOL BASS_Set3DFactors(float, float, float) { return SetError(BASS_ERROR_NO3D); }
EXPORT BOOL BASS_Get3DFactors(float*, float*, float*) { return SetError(BASS_ERROR_NO3D); }
EXPORT BOOL BASS_Set3DPosition(const BASS_3DVECTOR*, const BASS_3DVECTOR*, const BASS_3DVECTOR*, const BASS_3DVECTOR*) {
  return SetError(BASS_ERROR_NO3D);
}
EXPORT BOOL BASS_Get3DPosition(BASS_3DVECTOR*, BASS_3DVECTOR*, BASS_3DVECTOR*, BASS_3DVECTOR*) {
  return SetError(BASS_ERROR_NO3D);
}
EXPORT void BASS_Apply3D(void) {}
EXPORT BOOL BASS_SetEAXParameters(int, float, float, float) { return SetError(BASS_ERROR_NOEAX); }
EXPORT BOOL BASS_GetEAXParameters(DWORD*, float*, float*, float*) { return SetError(BASS_ERROR_NOEAX); }
EXPORT HSAMPLE BASS_SampleLoad(BOOL, const void*, QWORD, DWORD, DWORD, DWORD) {
  return Fail<HSAMPLE>(BASS_ERROR_NOTAVAIL, 0);
}
EXPORT HSAMPLE BASS_SampleCreate(DWORD, DWORD, DWORD, DWORD, DWORD) { return Fail<HSAMPLE>(BASS_ERROR_NOTAVAIL, 0); }
EXPORT BOOL BASS_SampleFree(HSAMPLE) { return SetError(BASS_ERROR_HANDLE); }
EXPORT BOOL BASS_SampleSetData(HSAMPLE, const void*) { return SetError(BASS_ERROR_HANDLE); }
EXPORT BOOL BASS_SampleGetData(HSAMPLE, void*) { return SetError(BASS_ERROR_HANDLE); }
EXPORT BOOL BASS_SampleGetInfo(HSAMPLE, BASS_SAMPLE*) { return SetError(BASS_ERROR_HANDLE); }
EXPORT BOOL BASS_SampleSetInfo(HSAMPLE, const BASS_SAMPLE*) { return SetError(BASS_ERROR_HANDLE); }
EXPORT HCHANNEL BASS_SampleGetChannel(HSAMPLE, BOOL) { return Fail<HCHANNEL>(BASS_ERROR_HANDLE, 0); }
EXPORT DWORD BASS_SampleGetChannels(HSAMPLE, HCHANNEL*) { return Fail<DWORD>(BASS_ERROR_HANDLE, DWORD(-1)); }
EXPORT BOOL BASS_SampleStop(HSAMPLE) { return SetError(BASS_ERROR_HANDLE); }
EXPORT BOOL BASS_RecordGetDeviceInfo(DWORD, BASS_DEVICEINFO*) { return SetError(BASS_ERROR_DEVICE); }
EXPORT BOOL BASS_RecordInit(int) { return SetError(BASS_ERROR_NOTAVAIL); }
EXPORT BOOL BASS_RecordSetDevice(DWORD) { return SetError(BASS_ERROR_DEVICE); }
EXPORT DWORD BASS_RecordGetDevice(void) { return Fail<DWORD>(BASS_ERROR_INIT, DWORD(-1)); }
EXPORT BOOL BASS_RecordFree(void) { return SetError(BASS_ERROR_INIT); }
EXPORT BOOL BASS_RecordGetInfo(BASS_RECORDINFO*) { return SetError(BASS_ERROR_INIT); }
EXPORT const char* BASS_RecordGetInputName(int) { return Fail<const char*>(BASS_ERROR_INIT, nullptr); }
EXPORT BOOL BASS_RecordSetInput(int, DWORD, float) { return SetError(BASS_ERROR_INIT); }
EXPORT DWORD BASS_RecordGetInput(int, float*) { return Fail<DWORD>(BASS_ERROR_INIT, DWORD(-1)); }
EXPORT HRECORD BASS_RecordStart(DWORD, DWORD, DWORD, RECORDPROC*, void*) { return Fail<HRECORD>(BASS_ERROR_INIT, 0); }
EXPORT BOOL BASS_ChannelSet3DAttributes(DWORD handle, int, float, float, int, int, float) {
  if (!FindChannel(handle)) return FALSE;
  return SetError(BASS_ERROR_NO3D);
}
EXPORT BOOL BASS_ChannelGet3DAttributes(DWORD handle, DWORD*, float*, float*, DWORD*, DWORD*, float*) {
  if (!FindChannel(handle)) return FALSE;
  return SetError(BASS_ERROR_NO3D);
}
EXPORT BOOL BASS_ChannelSet3DPosition(DWORD handle, const BASS_3DVECTOR*, const BASS_3DVECTOR*, const BASS_3DVECTOR*) {
  if (!FindChannel(handle)) return FALSE;
  return SetError(BASS_ERROR_NO3D);
}
EXPORT BOOL BASS_ChannelGet3DPosition(DWORD handle, BASS_3DVECTOR*, BASS_3DVECTOR*, BASS_3DVECTOR*) {
  if (!FindChannel(handle)) return FALSE;
  return SetError(BASS_ERROR_NO3D);
}

// ------------------------------------------------------------------------------ stream creation
static bool NeedInit() {
  if (!L().initialized) return SetError(BASS_ERROR_INIT);
  return true;
}

// The core's own formats through FFmpeg. A native FLAC file is none of them (it is the FLAC add-on's):
// FFmpeg would be mapped only to refuse it.
static bool OpenCoreFFmpeg(ORV_FILE* f, DWORD flags, ORV_DECODER* dec) {
  if (IsNativeFlac(f)) return Fail(BASS_ERROR_FILEFORM, false);
  return OpenFFmpeg(f, flags, nullptr, nullptr, 0, dec, true);
}

EXPORT HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags) {
  if (!NeedInit()) return 0;
  ORV_FILE* f = FileOpen(mem, file, offset, length, flags);
  if (!f) return 0;
  std::string name = mem ? "" : (FileName(f) ? FileName(f) : "");
  ORV_DECODER dec{};
  if (OpenPcm(f, flags, &dec) || OpenMpg123(f, flags, &dec) || OpenCoreFFmpeg(f, flags, &dec)) {
    return CreateChannelFromDecoder(dec, f, flags, 0, mem ? nullptr : name.c_str(), false);
  }
  int err = GetError();
  DWORD h = TryAddons(f, flags, mem ? nullptr : name.c_str());
  if (h) return h;
  if (GetError() == BASS_ERROR_FILEFORM && err != BASS_ERROR_FILEFORM) SetError(err);
  FileClose(f);
  return 0;
}

EXPORT HSTREAM BASS_StreamCreateFileUser(DWORD system, DWORD flags, const BASS_FILEPROCS* procs, void* user) {
  if (!NeedInit()) return 0;
  ORV_FILE* f = FileOpenUser(system, procs, user);
  if (!f) return 0;
  ORV_DECODER dec{};
  if (OpenPcm(f, flags, &dec) || OpenMpg123(f, flags, &dec) || OpenCoreFFmpeg(f, flags, &dec))
    return CreateChannelFromDecoder(dec, f, flags, 0, nullptr, false);
  DWORD h = TryAddons(f, flags, nullptr);
  if (h) return h;
  FileClose(f);
  return 0;
}

EXPORT HSTREAM BASS_StreamCreateURL(const char* url, DWORD offset, DWORD flags, DOWNLOADPROC* proc, void* user) {
  if (!NeedInit()) return 0;
  if (!url) return Fail<HSTREAM>(BASS_ERROR_ILLPARAM, 0);
  return CreateURLStream(url, offset, flags, proc, user);
}

EXPORT HSTREAM BASS_StreamCreate(DWORD freq, DWORD chans, DWORD flags, STREAMPROC* proc, void* user) {
  if (!NeedInit()) return 0;
  ORV_DECODER dec{};
  if (!MakeUserStream(freq, chans, flags, proc, user, &dec)) return 0;
  return CreateChannelFromDecoder(dec, nullptr, flags, 0, nullptr, false);
}

EXPORT BOOL BASS_StreamFree(HSTREAM handle) { return FreeChannel(handle, false, true); }

EXPORT QWORD BASS_StreamGetFilePosition(HSTREAM handle, DWORD mode) {
  auto c = FindChannel(handle);
  if (!c) return QWORD(-1);
  std::lock_guard<std::recursive_mutex> lk(c->mutex);
  if (c->isMusic || !c->dec.funcs->filePosition) return Fail<QWORD>(BASS_ERROR_NOTFILE, QWORD(-1));
  QWORD v = c->dec.funcs->filePosition(c->dec.self, mode);
  if (v == QWORD(-1)) return Fail<QWORD>(BASS_ERROR_NOTAVAIL, v);
  SetError(BASS_OK);
  return v;
}

EXPORT DWORD BASS_StreamPutData(HSTREAM handle, const void* buffer, DWORD length) {
  auto c = FindChannel(handle);
  if (!c) return DWORD(-1);
  std::lock_guard<std::recursive_mutex> lk(c->mutex);
  return PushData(*c, buffer, length);
}

EXPORT DWORD BASS_StreamPutFileData(HSTREAM handle, const void*, DWORD) {
  if (!FindChannel(handle)) return DWORD(-1);
  return Fail<DWORD>(BASS_ERROR_NOTAVAIL, DWORD(-1));
}

EXPORT HMUSIC BASS_MusicLoad(BOOL mem, const void* file, QWORD offset, DWORD length, DWORD flags, DWORD freq) {
  if (!NeedInit()) return 0;
  ORV_FILE* f = FileOpen(mem, file, offset, length, flags);
  if (!f) return 0;
  std::string name = mem ? "" : (FileName(f) ? FileName(f) : "");
  ORV_DECODER dec{};
  if (!OpenMusic(f, flags, freq ? freq : L().outFreq, &dec)) {
    FileClose(f);
    return 0;
  }
  FileClose(f);  // the module is in memory now
  return CreateChannelFromDecoder(dec, nullptr, flags, 0, mem ? nullptr : name.c_str(), true);
}

EXPORT BOOL BASS_MusicFree(HMUSIC handle) { return FreeChannel(handle, true, false); }

// ------------------------------------------------------------------------------ channel information
EXPORT double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) {
  auto c = FindChannel(handle);
  if (!c) return -1;
  SetError(BASS_OK);
  return double(pos / QWORD(c->frameBytes)) / double(c->freq);
}

EXPORT QWORD BASS_ChannelSeconds2Bytes(DWORD handle, double pos) {
  auto c = FindChannel(handle);
  if (!c) return QWORD(-1);
  if (!(pos >= 0)) return Fail<QWORD>(BASS_ERROR_ILLPARAM, QWORD(-1));
  SetError(BASS_OK);
  double frames = pos * c->freq;
  double r = std::round(frames);
  QWORD f = std::fabs(frames - r) < 1e-6 ? QWORD(r) : QWORD(std::floor(frames));
  return f * QWORD(c->frameBytes);
}

EXPORT DWORD BASS_ChannelGetDevice(DWORD handle) {
  if (!FindChannel(handle)) return DWORD(-1);
  SetError(BASS_OK);
  return DWORD(L().device);
}

EXPORT BOOL BASS_ChannelSetDevice(DWORD handle, DWORD device) {
  if (!FindChannel(handle)) return FALSE;
  if (int(device) != L().device) return SetError(BASS_ERROR_DEVICE);
  return SetError(BASS_OK);
}

EXPORT DWORD BASS_ChannelIsActive(DWORD handle) {
  auto c = FindChannel(handle);
  if (!c) return BASS_ACTIVE_STOPPED;
  std::lock_guard<std::recursive_mutex> lk(c->mutex);
  SetError(BASS_OK);
  return ChannelActivity(*c);
}

EXPORT BOOL BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO* info) {
  auto c = FindChannel(handle);
  if (!c) return FALSE;
  if (!info) return SetError(BASS_ERROR_ILLPARAM);
  std::lock_guard<std::recursive_mutex> lk(c->mutex);
  info->freq = c->freq;
  info->chans = c->chans;
  info->flags = c->flags;
  info->ctype = c->ctype;
  info->origres = c->origres;
  info->plugin = c->plugin;
  info->sample = 0;
  info->filename = c->hasFilename ? c->filename.c_str() : nullptr;
  return SetError(BASS_OK);
}

EXPORT const char* BASS_ChannelGetTags(DWORD handle, DWORD tags) {
  auto c = FindChannel(handle);
  if (!c) return nullptr;
  std::lock_guard<std::recursive_mutex> lk(c->mutex);
  const char* t;
  if (tags == BASS_TAG_META && IsNetDecoder(c->dec)) {
    // The text that goes with what is heard now, not the newest one decoded ahead.
    QWORD pos = c->decodeOnly ? QWORD(-1) : std::max(ChannelHeardPos(*c, DevicePlayed()), c->bufPos);
    t = NetMetaAt(c->dec.self, pos);
  } else {
    t = c->dec.funcs->tags ? c->dec.funcs->tags(c->dec.self, tags) : nullptr;
  }
  if (!t) return Fail<const char*>(BASS_ERROR_NOTAVAIL, nullptr);
  SetError(BASS_OK);
  return t;
}

EXPORT DWORD BASS_ChannelFlags(DWORD handle, DWORD flags, DWORD mask) {
  auto c = FindChannel(handle);
  if (!c) return DWORD(-1);
  std::lock_guard<std::recursive_mutex> lk(c->mutex);
  const DWORD changeable = BASS_STREAM_AUTOFREE | BASS_MUSIC_POSRESET | BASS_MUSIC_RAMP | BASS_MUSIC_RAMPS |
                           BASS_MUSIC_NONINTER | BASS_MUSIC_SURROUND | BASS_MUSIC_SURROUND2;
  mask &= changeable;
  c->flags = (c->flags & ~mask) | (flags & mask);
  SetError(BASS_OK);
  return c->flags;
}

EXPORT BOOL BASS_ChannelUpdate(DWORD handle, DWORD) {
  auto c = FindChannel(handle);
  if (!c) return FALSE;
  if (c->decodeOnly) return SetError(BASS_ERROR_DECODE);
  MixerWake();
  return SetError(BASS_OK);
}

EXPORT BOOL BASS_ChannelLock(DWORD handle, BOOL lock) {
  auto c = FindChannel(handle);
  if (!c) return FALSE;
  std::lock_guard<std::recursive_mutex> lk(c->mutex);
  c->locked = lock != 0;
  return SetError(BASS_OK);
}

// ------------------------------------------------------------------------------ transport
static bool PlayOne(const ChannelPtr& c, BOOL restart) {
  std::lock_guard<std::recursive_mutex> lk(c->mutex);
  if (c->decodeOnly) return SetError(BASS_ERROR_DECODE);
  if (restart) {
    if (c->dec.funcs->seek) {
      if (!ChannelSeek(*c, 0)) return false;
    } else {
      // A stream without seeking restarts from the beginning of what it produces next.
      ChannelResetBuffer(*c, c->decodePos);
    }
  } else if (c->state == Channel::State::Playing && ChannelActivity(*c) != BASS_ACTIVE_STOPPED) {
    return SetError(BASS_OK);
  }
  c->state = Channel::State::Playing;
  c->stalled = false;
  c->playing = true;
  return SetError(BASS_OK);
}

EXPORT BOOL BASS_ChannelPlay(DWORD handle, BOOL restart) {
  auto c = FindChannel(handle);
  if (!c) return FALSE;
  if (!PlayOne(c, restart)) return FALSE;
  std::vector<HSTREAM> links;
  {
    std::lock_guard<std::recursive_mutex> lk(c->mutex);
    links = c->links;
  }
  for (HSTREAM h : links)
    if (auto o = FindChannel(h)) PlayOne(o, restart);
  MixerWake();
  return SetError(BASS_OK);
}

static bool StopOne(const ChannelPtr& c) {
  std::lock_guard<std::recursive_mutex> lk(c->mutex);
  if (c->decodeOnly) return SetError(BASS_ERROR_DECODE);
  QWORD heard = ChannelHeardPos(*c, DevicePlayed());
  bool wasEnded = c->endReached;
  c->state = Channel::State::Stopped;
  c->playing = false;
  c->stalled = false;
  // Drop what was buffered but not heard; a seekable stream continues from what was heard.
  if (!wasEnded && c->dec.funcs->seek && heard != c->decodePos) {
    if (!ChannelSeek(*c, heard)) ChannelResetBuffer(*c, c->decodePos);
  } else if (!wasEnded) {
    bool ended = c->srcEnded;
    ChannelResetBuffer(*c, c->decodePos);
    c->srcEnded = ended;
  } else {
    c->segs.clear();
  }
  return SetError(BASS_OK);
}

EXPORT BOOL BASS_ChannelStop(DWORD handle) {
  auto c = FindChannel(handle);
  if (!c) return FALSE;
  if (!StopOne(c)) return FALSE;
  std::vector<HSTREAM> links;
  {
    std::lock_guard<std::recursive_mutex> lk(c->mutex);
    links = c->links;
  }
  for (HSTREAM h : links)
    if (auto o = FindChannel(h)) StopOne(o);
  return SetError(BASS_OK);
}

EXPORT BOOL BASS_ChannelPause(DWORD handle) {
  auto c = FindChannel(handle);
  if (!c) return FALSE;
  std::lock_guard<std::recursive_mutex> lk(c->mutex);
  if (c->decodeOnly) return SetError(BASS_ERROR_DECODE);
  if (c->state == Channel::State::Paused) return SetError(BASS_ERROR_ALREADY);
  if (ChannelActivity(*c) == BASS_ACTIVE_STOPPED) return SetError(BASS_ERROR_NOPLAY);
  c->state = Channel::State::Paused;
  c->playing = false;
  return SetError(BASS_OK);
}

// ------------------------------------------------------------------------------ attributes
static Attr* AttrOf(Channel& c, DWORD attrib) {
  switch (attrib) {
    case BASS_ATTRIB_FREQ: return &c.freqAttr;
    case BASS_ATTRIB_VOL: return &c.vol;
    case BASS_ATTRIB_PAN: return &c.pan;
    default: return nullptr;
  }
}

static bool ClampAttr(Channel& c, DWORD attrib, float& v) {
  if (std::isnan(v)) return false;
  if (attrib == BASS_ATTRIB_FREQ) {
    if (v == 0) v = float(c.freq);
    v = std::clamp(v, 100.0f, 384000.0f);
  } else if (attrib == BASS_ATTRIB_VOL) {
    v = std::max(v, 0.0f);
  } else {
    v = std::clamp(v, -1.0f, 1.0f);
  }
  return true;
}

EXPORT BOOL BASS_ChannelSetAttribute(DWORD handle, DWORD attrib, float value) {
  auto c = FindChannel(handle);
  if (!c) return FALSE;
  std::lock_guard<std::recursive_mutex> lk(c->mutex);
  Attr* a = AttrOf(*c, attrib);
  if (!a) {
    if (attrib >= BASS_ATTRIB_MUSIC_AMPLIFY && attrib <= BASS_ATTRIB_MUSIC_VOL_GLOBAL && c->isMusic)
      return SetError(BASS_OK);
    return SetError(BASS_ERROR_ILLTYPE);
  }
  if (!ClampAttr(*c, attrib, value)) return SetError(BASS_ERROR_ILLPARAM);
  if (attrib == BASS_ATTRIB_FREQ && !c->decodeOnly) c->rs.EnableStretchTable(double(value) / L().outFreq);
  a->value = a->target = value;
  a->framesLeft = 0;
  return SetError(BASS_OK);
}

EXPORT BOOL BASS_ChannelGetAttribute(DWORD handle, DWORD attrib, float* value) {
  auto c = FindChannel(handle);
  if (!c) return FALSE;
  if (!value) return SetError(BASS_ERROR_ILLPARAM);
  std::lock_guard<std::recursive_mutex> lk(c->mutex);
  Attr* a = AttrOf(*c, attrib);
  if (!a) {
    if (attrib == BASS_ATTRIB_CPU) {
      *value = 0;
      return SetError(BASS_OK);
    }
    return SetError(BASS_ERROR_ILLTYPE);
  }
  *value = a->value;
  return SetError(BASS_OK);
}

EXPORT BOOL BASS_ChannelSlideAttribute(DWORD handle, DWORD attrib, float value, DWORD time) {
  auto c = FindChannel(handle);
  if (!c) return FALSE;
  std::lock_guard<std::recursive_mutex> lk(c->mutex);
  Attr* a = AttrOf(*c, attrib & ~BASS_SLIDE_LOG);
  if (!a) return SetError(BASS_ERROR_ILLTYPE);
  // A negative volume target means "fade out and stop" in some callers; treat it as 0.
  if (!ClampAttr(*c, attrib & ~BASS_SLIDE_LOG, value)) return SetError(BASS_ERROR_ILLPARAM);
  if ((attrib & ~BASS_SLIDE_LOG) == BASS_ATTRIB_FREQ && !c->decodeOnly)
    c->rs.EnableStretchTable(double(value) / L().outFreq);
  a->target = value;
  a->framesLeft = double(time) * L().outFreq / 1000.0;
  if (a->framesLeft <= 0) a->value = value;
  MixerWake();
  return SetError(BASS_OK);
}

EXPORT BOOL BASS_ChannelIsSliding(DWORD handle, DWORD attrib) {
  auto c = FindChannel(handle);
  if (!c) return FALSE;
  std::lock_guard<std::recursive_mutex> lk(c->mutex);
  SetError(BASS_OK);
  if (attrib == 0) return c->vol.Sliding() || c->pan.Sliding() || c->freqAttr.Sliding();
  Attr* a = AttrOf(*c, attrib);
  return a && a->Sliding();
}

// ------------------------------------------------------------------------------ positions
EXPORT QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode) {
  auto c = FindChannel(handle);
  if (!c) return QWORD(-1);
  if (mode != BASS_POS_BYTE) return Fail<QWORD>(BASS_ERROR_NOTAVAIL, QWORD(-1));
  std::lock_guard<std::recursive_mutex> lk(c->mutex);
  QWORD len = c->Length();
  if (len == QWORD(-1)) return Fail<QWORD>(BASS_ERROR_NOTAVAIL, len);
  SetError(BASS_OK);
  return len;
}

EXPORT BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode) {
  auto c = FindChannel(handle);
  if (!c) return FALSE;
  if ((mode & 0xFF) != BASS_POS_BYTE) return SetError(BASS_ERROR_NOTAVAIL);
  std::lock_guard<std::recursive_mutex> lk(c->mutex);
  if (!ChannelSeek(*c, pos)) return FALSE;
  return SetError(BASS_OK);
}

EXPORT QWORD BASS_ChannelGetPosition(DWORD handle, DWORD mode) {
  auto c = FindChannel(handle);
  if (!c) return QWORD(-1);
  std::lock_guard<std::recursive_mutex> lk(c->mutex);
  if (mode & BASS_POS_DECODE) {
    SetError(BASS_OK);
    return c->decodePos;
  }
  if (mode != BASS_POS_BYTE) return Fail<QWORD>(BASS_ERROR_NOTAVAIL, QWORD(-1));
  SetError(BASS_OK);
  return ChannelHeardPos(*c, DevicePlayed());
}

// ------------------------------------------------------------------------------ data
// Copies up to "bytes" of the channel's sound from the heard position (playing channels) or
// decodes them (decoding channels).
static DWORD TakeData(Channel& c, uint8_t* dst, DWORD bytes) {
  bytes -= bytes % DWORD(c.frameBytes);
  if (c.decodeOnly) {
    DWORD got = ChannelProduce(c, dst, bytes);
    c.stalled = got == 0 && bytes && !c.srcEnded;  // a network stream waiting for data
    ChannelDecodeEnd(c);
    return got;
  }
  QWORD heard = std::max(ChannelHeardPos(c, DevicePlayed()), c.bufPos);
  // Right after a reposition the mixer may not have refilled the buffer yet.
  if (c.state != Channel::State::Stopped && c.decodePos < heard + bytes) {
    ChannelFillFrom(c, heard, bytes);
    heard = std::max(ChannelHeardPos(c, DevicePlayed()), c.bufPos);
  }
  QWORD avail = c.decodePos > heard ? c.decodePos - heard : 0;
  DWORD n = DWORD(std::min<QWORD>(avail, bytes));
  n -= n % DWORD(c.frameBytes);
  // A channel that has not decoded yet has no buffer at all (a null data pointer).
  if (n) std::memcpy(dst, c.buf.data() + c.bufHead + size_t(heard - c.bufPos), n);
  return n;
}

EXPORT DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) {
  auto c = FindChannel(handle);
  if (!c) return DWORD(-1);
  std::lock_guard<std::recursive_mutex> lk(c->mutex);
  if (length == BASS_DATA_AVAILABLE) {
    SetError(BASS_OK);
    if (c->decodeOnly) return 0;
    QWORD heard = std::max(ChannelHeardPos(*c, DevicePlayed()), c->bufPos);
    return DWORD(c->decodePos > heard ? c->decodePos - heard : 0);
  }
  if (!buffer) return Fail<DWORD>(BASS_ERROR_ILLPARAM, DWORD(-1));
  if (c->decodeOnly && c->endReached) return Fail<DWORD>(BASS_ERROR_ENDED, DWORD(-1));
  if (!c->decodeOnly && c->state == Channel::State::Stopped && c->Buffered() == 0)
    return Fail<DWORD>(BASS_ERROR_NOPLAY, DWORD(-1));
  const int chans = int(c->chans);
  if (length & 0x80000000u) {  // FFT
    int sizeCode = int(length & 7);
    if (sizeCode > 6) return Fail<DWORD>(BASS_ERROR_ILLPARAM, DWORD(-1));
    int points = 256 << sizeCode;
    bool individual = (length & BASS_DATA_FFT_INDIVIDUAL) != 0 && chans > 1;
    bool window = (length & BASS_DATA_FFT_NOWINDOW) == 0;
    // Kept per thread: no allocation on each call of the 40-a-second spectrum display.
    thread_local std::vector<uint8_t> raw;
    thread_local std::vector<float> pcm;
    raw.resize(size_t(points) * size_t(c->frameBytes));
    DWORD got = TakeData(*c, raw.data(), DWORD(raw.size()));
    pcm.assign(size_t(points) * chans, 0.0f);
    ToFloat(c->fmt, raw.data(), pcm.data(), got / BytesOf(c->fmt));
    ComputeFft(pcm.data(), points, chans, points, individual, window, static_cast<float*>(buffer));
    SetError(BASS_OK);
    return DWORD((points / 2) * (individual ? chans : 1) * sizeof(float));
  }
  bool asFloat = (length & BASS_DATA_FLOAT) != 0;
  DWORD bytes = length & ~BASS_DATA_FLOAT;
  DWORD got;
  if (asFloat && c->fmt != SampleFmt::F32) {
    DWORD samples = bytes / 4;
    std::vector<uint8_t> raw(size_t(samples) * BytesOf(c->fmt));
    got = TakeData(*c, raw.data(), DWORD(raw.size()));
    size_t n = got / BytesOf(c->fmt);
    ToFloat(c->fmt, raw.data(), static_cast<float*>(buffer), n);
    got = DWORD(n * 4);
  } else {
    got = TakeData(*c, static_cast<uint8_t*>(buffer), bytes);
  }
  if (got == 0 && c->decodeOnly && c->endReached) return Fail<DWORD>(BASS_ERROR_ENDED, DWORD(-1));
  SetError(BASS_OK);
  return got;
}

EXPORT DWORD BASS_ChannelGetLevel(DWORD handle) {
  auto c = FindChannel(handle);
  if (!c) return DWORD(-1);
  std::lock_guard<std::recursive_mutex> lk(c->mutex);
  if (!c->decodeOnly && ChannelActivity(*c) == BASS_ACTIVE_STOPPED) return Fail<DWORD>(BASS_ERROR_NOPLAY, DWORD(-1));
  // Peak of the next 20 ms.
  DWORD frames = std::max<DWORD>(1, c->freq / 50);
  std::vector<uint8_t> raw(size_t(frames) * size_t(c->frameBytes));
  DWORD got = TakeData(*c, raw.data(), DWORD(raw.size()));
  if (got == 0 && c->decodeOnly && c->endReached) return Fail<DWORD>(BASS_ERROR_ENDED, DWORD(-1));
  size_t n = got / BytesOf(c->fmt);
  std::vector<float> f(n);
  ToFloat(c->fmt, raw.data(), f.data(), n);
  float peak[2] = {0, 0};
  int chans = int(c->chans);
  for (size_t i = 0; i < n; ++i) {
    int ch = int(i % chans);
    int side = chans == 1 ? 0 : (ch & 1);
    peak[side] = std::max(peak[side], std::fabs(f[i]));
  }
  if (chans == 1) peak[1] = peak[0];
  auto lv = [](float p) { return DWORD(std::min(32768.0f, std::round(p * 32768.0f))); };
  SetError(BASS_OK);
  return lv(peak[0]) | (lv(peak[1]) << 16);
}

// ------------------------------------------------------------------------------ syncs, DSP, FX, links
EXPORT HSYNC BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC* proc, void* user) {
  auto c = FindChannel(handle);
  if (!c) return 0;
  if (!proc) return Fail<HSYNC>(BASS_ERROR_ILLPARAM, 0);
  std::lock_guard<std::recursive_mutex> lk(c->mutex);
  Sync s{L().NewHandle(), type & 0x00FFFFFF, (type & BASS_SYNC_MIXTIME) != 0, (type & BASS_SYNC_ONETIME) != 0,
         param, proc, user};
  c->syncs.push_back(s);
  {
    std::lock_guard<std::mutex> lg(L().mutex);
    L().syncOwner[s.handle] = handle;
  }
  SetError(BASS_OK);
  return s.handle;
}

EXPORT BOOL BASS_ChannelRemoveSync(DWORD handle, HSYNC sync) {
  auto c = FindChannel(handle);
  if (!c) return FALSE;
  std::lock_guard<std::recursive_mutex> lk(c->mutex);
  size_t before = c->syncs.size();
  RemoveSyncLocked(*c, sync);
  if (c->syncs.size() == before) return SetError(BASS_ERROR_HANDLE);
  return SetError(BASS_OK);
}

static void InsertProc(Channel& c, Processor p) {
  p.order = L().nextOrder.fetch_add(1);
  auto it = std::find_if(c.procs.begin(), c.procs.end(), [&](const Processor& q) { return q.priority < p.priority; });
  c.procs.insert(it, std::move(p));
}

EXPORT HDSP BASS_ChannelSetDSP(DWORD handle, DSPPROC* proc, void* user, int priority) {
  auto c = FindChannel(handle);
  if (!c) return 0;
  if (!proc) return Fail<HDSP>(BASS_ERROR_ILLPARAM, 0);
  std::lock_guard<std::recursive_mutex> lk(c->mutex);
  Processor p{L().NewHandle(), priority, 0, proc, user, nullptr};
  InsertProc(*c, p);
  {
    std::lock_guard<std::mutex> lg(L().mutex);
    L().dspOwner[p.handle] = handle;
  }
  SetError(BASS_OK);
  return p.handle;
}

static bool RemoveProc(Channel& c, DWORD h) {
  auto it = std::find_if(c.procs.begin(), c.procs.end(), [&](const Processor& p) { return p.handle == h; });
  if (it == c.procs.end()) return false;
  c.procs.erase(it);
  std::lock_guard<std::mutex> lg(L().mutex);
  L().dspOwner.erase(h);
  L().fxOwner.erase(h);
  return true;
}

EXPORT BOOL BASS_ChannelRemoveDSP(DWORD handle, HDSP dsp) {
  auto c = FindChannel(handle);
  if (!c) return FALSE;
  std::lock_guard<std::recursive_mutex> lk(c->mutex);
  return RemoveProc(*c, dsp) ? SetError(BASS_OK) : SetError(BASS_ERROR_HANDLE);
}

EXPORT HFX BASS_ChannelSetFX(DWORD handle, DWORD type, int priority) {
  auto c = FindChannel(handle);
  if (!c) return 0;
  std::lock_guard<std::recursive_mutex> lk(c->mutex);
  auto fx = CreateEffect(type, c->freq, c->chans);
  if (!fx) return Fail<HFX>(BASS_ERROR_ILLTYPE, 0);
  Processor p{L().NewHandle(), priority, 0, nullptr, nullptr, fx};
  fx->handle = p.handle;
  InsertProc(*c, p);
  {
    std::lock_guard<std::mutex> lg(L().mutex);
    L().fxOwner[p.handle] = handle;
  }
  SetError(BASS_OK);
  return p.handle;
}

EXPORT BOOL BASS_ChannelRemoveFX(DWORD handle, HFX fx) {
  auto c = FindChannel(handle);
  if (!c) return FALSE;
  std::lock_guard<std::recursive_mutex> lk(c->mutex);
  return RemoveProc(*c, fx) ? SetError(BASS_OK) : SetError(BASS_ERROR_HANDLE);
}

// Finds an effect and locks its channel.
template <class F> static BOOL WithFx(HFX handle, F f) {
  DWORD owner;
  {
    std::lock_guard<std::mutex> lk(L().mutex);
    auto it = L().fxOwner.find(handle);
    if (it == L().fxOwner.end()) return SetError(BASS_ERROR_HANDLE);
    owner = it->second;
  }
  auto c = FindChannel(owner);
  if (!c) return FALSE;
  std::lock_guard<std::recursive_mutex> lk(c->mutex);
  for (auto& p : c->procs)
    if (p.handle == handle && p.fx) return f(*p.fx);
  return SetError(BASS_ERROR_HANDLE);
}

EXPORT BOOL BASS_FXSetParameters(HFX handle, const void* params) {
  if (!params) return SetError(BASS_ERROR_ILLPARAM);
  return WithFx(handle, [&](Effect& e) { return e.SetParams(params) ? SetError(BASS_OK) : SetError(BASS_ERROR_ILLPARAM); });
}

EXPORT BOOL BASS_FXGetParameters(HFX handle, void* params) {
  if (!params) return SetError(BASS_ERROR_ILLPARAM);
  return WithFx(handle, [&](Effect& e) {
    e.GetParams(params);
    return SetError(BASS_OK);
  });
}

EXPORT BOOL BASS_FXReset(HFX handle) {
  return WithFx(handle, [&](Effect& e) {
    e.Reset();
    return SetError(BASS_OK);
  });
}

EXPORT BOOL BASS_ChannelSetLink(DWORD handle, DWORD chan) {
  auto c = FindChannel(handle);
  if (!c) return FALSE;
  if (handle == chan || !FindChannel(chan)) return SetError(BASS_ERROR_HANDLE);
  std::lock_guard<std::recursive_mutex> lk(c->mutex);
  if (std::find(c->links.begin(), c->links.end(), chan) != c->links.end()) return SetError(BASS_ERROR_ALREADY);
  c->links.push_back(chan);
  return SetError(BASS_OK);
}

EXPORT BOOL BASS_ChannelRemoveLink(DWORD handle, DWORD chan) {
  auto c = FindChannel(handle);
  if (!c) return FALSE;
  std::lock_guard<std::recursive_mutex> lk(c->mutex);
  auto it = std::find(c->links.begin(), c->links.end(), chan);
  if (it == c->links.end()) return SetError(BASS_ERROR_ALREADY);
  c->links.erase(it);
  return SetError(BASS_OK);
}
