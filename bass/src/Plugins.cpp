// Format add-ons: attach, describe, detach, and the interface they get from the core.
#include "Core.h"
#include "Net.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace orvbass {
namespace {

void ApiSetError(int code) { SetError(code); }


BOOL ApiOpenFFmpeg(ORV_FILE* file, DWORD flags, const char* demuxers, const char* codecs, DWORD ctype,
                   ORV_DECODER* out) {
  if (!file || !out) return SetError(BASS_ERROR_ILLPARAM);
  // Add-ons are tried in turn with every file: one whose routes cannot take native FLAC (only
  // FFmpeg's "flac" demuxer does) does not map FFmpeg to learn that.
  if (demuxers && !InList(demuxers, "flac") && IsNativeFlac(file)) return SetError(BASS_ERROR_FILEFORM);
  return OpenFFmpeg(file, flags, demuxers, codecs, ctype, out, false) ? TRUE : FALSE;
}

BOOL ApiOpenFlac(ORV_FILE* file, DWORD flags, ORV_DECODER* out) {
  if (!file || !out) return SetError(BASS_ERROR_ILLPARAM);
  return OpenFlac(file, flags, out) ? TRUE : FALSE;
}

HSTREAM ApiCreateStream(const ORV_DECODER* dec, ORV_FILE* file, DWORD flags, HPLUGIN plugin, const char* filename) {
  if (!dec) return Fail<HSTREAM>(BASS_ERROR_ILLPARAM, 0);
  if (!L().initialized) {
    if (dec->funcs && dec->funcs->close) dec->funcs->close(dec->self);
    if (file) FileClose(file);
    return Fail<HSTREAM>(BASS_ERROR_INIT, 0);
  }
  return CreateChannelFromDecoder(*dec, file, flags, plugin, filename, false);
}

BOOL ApiFireSync(HSTREAM handle, DWORD type, DWORD data, QWORD pos) {
  auto c = FindChannel(handle);
  if (!c) return FALSE;
  std::lock_guard<std::recursive_mutex> lk(c->mutex);
  ChannelAddonEvent(*c, type & 0x00FFFFFF, data, pos);
  return TRUE;
}

BOOL ApiDownloadURL(const char* url, DWORD offset, DWORD flags, DOWNLOADPROC* proc, void* user, QWORD maxBytes,
                    void** data, QWORD* size) {
  if (!data || !size) return SetError(BASS_ERROR_ILLPARAM);
  std::vector<uint8_t> body;
  if (!DownloadWhole(url, offset, flags, proc, user, maxBytes, body)) return FALSE;
  void* copy = std::malloc(body.empty() ? 1 : body.size());
  if (!copy) return SetError(BASS_ERROR_MEM);
  if (!body.empty()) std::memcpy(copy, body.data(), body.size());
  *data = copy;
  *size = body.size();
  return SetError(BASS_OK);
}

void ApiFreeDownload(void* data) { std::free(data); }

// Add-ons go back to the start between their probes; a file that cannot seek is replayed.
BOOL ApiFileSeek(ORV_FILE* file, QWORD pos) { return pos == 0 ? FileRewind(file) : FileSeek(file, pos); }

const ORV_CORE_API kApi = {ORV_ADDON_ABI, sizeof(ORV_CORE_API), ApiSetError,   FileOpen,        FileClose,
                           FileRead,      ApiFileSeek,          FileTell,      FileSize,        ApiOpenFFmpeg,
                           ApiCreateStream, ApiFireSync,        ApiDownloadURL, ApiFreeDownload, ApiOpenFlac};

}  // namespace

const ORV_CORE_API* CoreApi() { return &kApi; }

DWORD TryAddons(ORV_FILE* file, DWORD flags, const char* filename) {
  std::vector<PluginEntry> plugins;
  {
    std::lock_guard<std::mutex> lk(L().mutex);
    plugins = L().plugins;
  }
  SetError(BASS_ERROR_FILEFORM);
  for (auto& p : plugins) {
    if (!p.addon->OpenFile) continue;
    if (!FileRewind(file)) break;
    ORV_DECODER dec{};
    if (p.addon->OpenFile(file, flags, &dec)) return CreateChannelFromDecoder(dec, file, flags, p.handle, filename, false);
  }
  if (GetError() == BASS_OK) SetError(BASS_ERROR_FILEFORM);
  return 0;
}

HPLUGIN TryAddonDecoders(ORV_FILE* file, DWORD flags, ORV_DECODER* out) {
  std::vector<PluginEntry> plugins;
  {
    std::lock_guard<std::mutex> lk(L().mutex);
    plugins = L().plugins;
  }
  SetError(BASS_ERROR_FILEFORM);
  for (auto& p : plugins) {
    if (!p.addon->OpenFile) continue;
    if (!FileRewind(file)) break;
    if (p.addon->OpenFile(file, flags, out)) return p.handle;
  }
  if (GetError() == BASS_OK) SetError(BASS_ERROR_FILEFORM);
  return 0;
}

void FreeAllPlugins() {
  std::vector<PluginEntry> plugins;
  {
    std::lock_guard<std::mutex> lk(L().mutex);
    plugins.swap(L().plugins);
  }
  for (auto& p : plugins) {
    if (p.addon->Free) p.addon->Free();
    dlclose(p.dl);
  }
}

}  // namespace orvbass

using namespace orvbass;

EXPORT HPLUGIN BASS_PluginLoad(const char* file, DWORD flags) {
  if (!file) return Fail<HPLUGIN>(BASS_ERROR_FILEOPEN, 0);
  std::string path = file;
  (void)flags;
  {
    std::lock_guard<std::mutex> lk(L().mutex);
    for (auto& p : L().plugins)
      if (p.path == path) return Fail<HPLUGIN>(BASS_ERROR_ALREADY, 0);
  }
  void* dl = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!dl) return Fail<HPLUGIN>(BASS_ERROR_FILEOPEN, 0);
  auto* get = reinterpret_cast<ORV_ADDON_GET_PROC*>(dlsym(dl, ORV_ADDON_ENTRY));
  const ORV_ADDON* addon = get ? get(CoreApi()) : nullptr;
  if (!addon || addon->abi != ORV_ADDON_ABI) {
    dlclose(dl);
    return Fail<HPLUGIN>(BASS_ERROR_FILEFORM, 0);
  }
  PluginEntry e{L().NewHandle(), dl, addon, path};
  {
    std::lock_guard<std::mutex> lk(L().mutex);
    L().plugins.push_back(e);
  }
  SetError(BASS_OK);
  return e.handle;
}

EXPORT BOOL BASS_PluginFree(HPLUGIN handle) {
  std::vector<PluginEntry> drop;
  {
    std::lock_guard<std::mutex> lk(L().mutex);
    auto& v = L().plugins;
    for (auto& p : v) {
      if (handle != 0 && p.handle != handle) continue;
      bool used = false;
      for (auto& [h, c] : L().channels)
        if (c->plugin == p.handle) used = true;
      if (used) {
        if (handle != 0) return SetError(BASS_ERROR_BUSY);  // a stream of it exists
        continue;                                            // "all": keep the ones in use
      }
      drop.push_back(p);
    }
    if (handle != 0 && drop.empty()) return SetError(BASS_ERROR_HANDLE);
    v.erase(std::remove_if(v.begin(), v.end(),
                           [&](const PluginEntry& p) {
                             return std::any_of(drop.begin(), drop.end(), [&](const PluginEntry& d) { return d.handle == p.handle; });
                           }),
            v.end());
  }
  for (auto& p : drop) {
    if (p.addon->Free) p.addon->Free();
    dlclose(p.dl);
  }
  return SetError(BASS_OK);
}

EXPORT const BASS_PLUGININFO* BASS_PluginGetInfo(HPLUGIN handle) {
  std::lock_guard<std::mutex> lk(L().mutex);
  for (auto& p : L().plugins)
    if (p.handle == handle) {
      SetError(BASS_OK);
      return &p.addon->info;
    }
  return Fail<const BASS_PLUGININFO*>(BASS_ERROR_HANDLE, nullptr);
}
