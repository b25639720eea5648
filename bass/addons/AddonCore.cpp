#include "AddonCore.h"

#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <cstring>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>
#include <string>

namespace orvaddon {
namespace {

std::atomic<const ORV_CORE_API*> g_core{nullptr};

using GetConfigPtrProc = const void* (*)(DWORD);

// Paths of the loaded objects named "bass.so" (the engine dlopens it by path, RTLD_LOCAL).
int CollectCores(struct dl_phdr_info* info, size_t, void* data) {
  const char* name = info->dlpi_name;
  size_t n = name ? std::strlen(name) : 0;
  if (n >= 7 && std::strcmp(name + n - 7, "bass.so") == 0 && (n == 7 || name[n - 8] == '/'))
    static_cast<std::vector<std::string>*>(data)->push_back(name);
  return 0;
}

// A function of bass.so as the process has it now: linked in, or dlopened by the engine (from
// wherever its program folder is; a resident add-on may have been loaded from another folder).
void* FindCoreSymbol(const char* name) {
  if (void* sym = dlsym(RTLD_DEFAULT, name)) return sym;
  std::vector<std::string> cores;
  dl_iterate_phdr(CollectCores, &cores);
  for (const std::string& path : cores) {
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!h) continue;
    void* sym = dlsym(h, name);
    // The core stays loaded while it is in the list; drop the reference NOLOAD added.
    dlclose(h);
    if (sym) return sym;
  }
  return nullptr;
}

}  // namespace

void* CoreSymbol(const char* name) { return FindCoreSymbol(name); }

namespace {

GetConfigPtrProc FindGetConfigPtr() {
  return reinterpret_cast<GetConfigPtrProc>(FindCoreSymbol("BASS_GetConfigPtr"));
}

}  // namespace

const ORV_CORE_API* Core() {
  // Looked up on every call: the engine unloads bass.so after BASS_Free and may load it again,
  // while a resident add-on (bassmidi) stays; a kept pointer would point into the old copy.
  if (GetConfigPtrProc get = FindGetConfigPtr()) {
    auto* c = static_cast<const ORV_CORE_API*>(get(BASS_CONFIG_ORV_ADDON_API));
    if (c && c->abi == ORV_ADDON_ABI) return c;
  }
  // A core found nowhere by name: the one that attached us with BASS_PluginLoad.
  return g_core.load(std::memory_order_acquire);
}

void SetCore(const ORV_CORE_API* core) {
  if (core && core->abi == ORV_ADDON_ABI) g_core.store(core, std::memory_order_release);
}

void ForgetCore() { g_core.store(nullptr, std::memory_order_release); }

bool Fail(int code) {
  if (const ORV_CORE_API* c = Core()) c->SetError(code);
  return false;
}

namespace {

// A decoder whose first block is decoded at open: a file whose headers parse but whose audio does
// not decode (cut after its header, or damaged) is refused instead of playing nothing.
struct Primed {
  ORV_DECODER inner;
  std::vector<uint8_t> pending;
  size_t at = 0;
  bool endsAfter = false;  // the stream ended within the pending block
};

DWORD PrRead(void* self, void* buffer, DWORD length, BOOL* ended) {
  auto* p = static_cast<Primed*>(self);
  if (p->at < p->pending.size()) {
    size_t n = std::min<size_t>(length, p->pending.size() - p->at);
    std::memcpy(buffer, p->pending.data() + p->at, n);
    p->at += n;
    if (p->at == p->pending.size() && p->endsAfter) *ended = TRUE;
    return DWORD(n);
  }
  return p->inner.funcs->read(p->inner.self, buffer, length, ended);
}
BOOL PrSeek(void* self, QWORD pos) {
  auto* p = static_cast<Primed*>(self);
  if (!p->inner.funcs->seek || !p->inner.funcs->seek(p->inner.self, pos)) return FALSE;
  p->pending.clear();
  p->at = 0;
  p->endsAfter = false;
  return TRUE;
}
QWORD PrLength(void* self) {
  auto* p = static_cast<Primed*>(self);
  return p->inner.funcs->length ? p->inner.funcs->length(p->inner.self) : QWORD(-1);
}
const char* PrTags(void* self, DWORD type) {
  auto* p = static_cast<Primed*>(self);
  return p->inner.funcs->tags ? p->inner.funcs->tags(p->inner.self, type) : nullptr;
}
QWORD PrFilePosition(void* self, DWORD mode) {
  auto* p = static_cast<Primed*>(self);
  return p->inner.funcs->filePosition ? p->inner.funcs->filePosition(p->inner.self, mode) : QWORD(-1);
}
void PrClose(void* self) {
  auto* p = static_cast<Primed*>(self);
  p->inner.funcs->close(p->inner.self);
  delete p;
}
const ORV_DECODER_FUNCS kPrimedFuncs = {PrRead, PrSeek, PrLength, PrTags, PrFilePosition, PrClose};

BOOL Prime(ORV_DECODER* dec) {
  auto p = std::make_unique<Primed>();
  p->inner = *dec;
  DWORD fb = FrameBytes(*dec);
  p->pending.resize(4096 - 4096 % fb);
  size_t got = 0;
  BOOL ended = FALSE;
  while (got == 0 && !ended) {
    DWORD n = dec->funcs->read(dec->self, p->pending.data(), DWORD(p->pending.size()), &ended);
    if (n == 0 && !ended) break;
    got = n;
  }
  if (got == 0) {
    dec->funcs->close(dec->self);
    return Fail(BASS_ERROR_FILEFORM);
  }
  p->pending.resize(got);
  p->endsAfter = ended != FALSE;
  dec->funcs = &kPrimedFuncs;
  dec->self = p.release();
  return TRUE;
}

}  // namespace

BOOL OpenByRoutes(const Route* routes, int count, ORV_FILE* file, DWORD flags, ORV_DECODER* out) {
  const ORV_CORE_API* core = Core();
  if (!core) return FALSE;
  for (int i = 0; i < count; ++i) {
    if (i > 0 && !core->FileSeek(file, 0)) break;
    if (core->OpenFFmpeg(file, flags, routes[i].demuxers, routes[i].codecs, routes[i].ctype, out)) return Prime(out);
  }
  core->SetError(BASS_ERROR_FILEFORM);
  return FALSE;
}

DWORD FrameBytes(const ORV_DECODER& dec) {
  DWORD bytes = (dec.flags & BASS_SAMPLE_FLOAT) ? 4 : (dec.flags & BASS_SAMPLE_8BITS) ? 1 : 2;
  return bytes * dec.chans;
}

namespace {

struct Exact {
  ORV_DECODER inner;
  QWORD pos = 0;  // bytes produced since the start
  QWORD length = QWORD(-1);
  bool exactSeek = true;
  bool canReopen = false;
  Reopen reopen{};
  const ORV_CORE_API* core = nullptr;  // found at creation: the core outlives its streams
  std::vector<uint8_t> scratch;

  // Reads and drops bytes up to "target"; false when the stream ends first.
  bool Skip(QWORD target) {
    scratch.resize(65536);
    DWORD fb = FrameBytes(inner);
    while (pos < target) {
      QWORD want = std::min<QWORD>(target - pos, scratch.size() - scratch.size() % fb);
      BOOL ended = FALSE;
      DWORD n = inner.funcs->read(inner.self, scratch.data(), DWORD(want), &ended);
      pos += n;
      if (n == 0 || (ended && pos < target)) return pos >= target;
    }
    return true;
  }
  bool Restart() {
    if (canReopen && core) {
      ORV_DECODER fresh{};
      if (!core->FileSeek(reopen.file, 0) ||
          !core->OpenFFmpeg(reopen.file, reopen.flags, reopen.route.demuxers, reopen.route.codecs,
                            reopen.route.ctype, &fresh))
        return false;
      inner.funcs->close(inner.self);
      inner = fresh;
    } else if (!inner.funcs->seek || !inner.funcs->seek(inner.self, 0)) {
      return false;
    }
    pos = 0;
    return true;
  }
};

DWORD ExRead(void* self, void* buffer, DWORD length, BOOL* ended) {
  auto* e = static_cast<Exact*>(self);
  DWORD n = e->inner.funcs->read(e->inner.self, buffer, length, ended);
  e->pos += n;
  return n;
}
BOOL ExSeek(void* self, QWORD pos) {
  auto* e = static_cast<Exact*>(self);
  if (!e->exactSeek) {
    if (!e->inner.funcs->seek || !e->inner.funcs->seek(e->inner.self, pos)) return FALSE;
    e->pos = pos;
    return TRUE;
  }
  if (pos < e->pos && !e->Restart()) return FALSE;
  return e->Skip(pos) ? TRUE : FALSE;
}
QWORD ExLength(void* self) { return static_cast<Exact*>(self)->length; }
const char* ExTags(void* self, DWORD type) {
  auto* e = static_cast<Exact*>(self);
  return e->inner.funcs->tags ? e->inner.funcs->tags(e->inner.self, type) : nullptr;
}
QWORD ExFilePosition(void* self, DWORD mode) {
  auto* e = static_cast<Exact*>(self);
  return e->inner.funcs->filePosition ? e->inner.funcs->filePosition(e->inner.self, mode) : QWORD(-1);
}
void ExClose(void* self) {
  auto* e = static_cast<Exact*>(self);
  e->inner.funcs->close(e->inner.self);
  delete e;
}
const ORV_DECODER_FUNCS kExactFuncs = {ExRead, ExSeek, ExLength, ExTags, ExFilePosition, ExClose};

}  // namespace

BOOL WrapExact(ORV_DECODER* dec, QWORD length, bool exactSeek, const Reopen* reopen) {
  auto e = std::make_unique<Exact>();
  e->inner = *dec;
  e->exactSeek = exactSeek;
  if (reopen) {
    e->canReopen = true;
    e->reopen = *reopen;
    e->core = Core();
  }
  if (length == QWORD(-1)) {
    e->Skip(QWORD(-1) - 1);
    length = e->pos;
    if (length == 0 || !e->Restart()) {  // nothing decodes: a damaged file
      e->inner.funcs->close(e->inner.self);
      return Fail(BASS_ERROR_FILEFORM);
    }
  }
  e->length = length;
  dec->funcs = &kExactFuncs;
  dec->self = e.release();
  return TRUE;
}

}  // namespace orvaddon
