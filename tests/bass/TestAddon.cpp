// A tiny format add-on for the tests: raw "ORVTEST1" files of its own, and FLAC through the core's
// FFmpeg decoder (the way real format add-ons reuse it).
#include "bass_addon.h"

#include <cstring>

namespace {

const ORV_CORE_API* gCore = nullptr;

struct Raw {
  ORV_FILE* file;
  QWORD dataStart, dataBytes, pos;
};

DWORD RawRead(void* self, void* buf, DWORD len, BOOL* ended) {
  auto* r = static_cast<Raw*>(self);
  QWORD left = r->dataBytes - r->pos;
  if (len > left) len = DWORD(left);
  DWORD got = gCore->FileRead(r->file, buf, len);
  r->pos += got;
  if (r->pos >= r->dataBytes || got < len) *ended = TRUE;
  return got;
}
BOOL RawSeek(void* self, QWORD pos) {
  auto* r = static_cast<Raw*>(self);
  if (pos > r->dataBytes || !gCore->FileSeek(r->file, r->dataStart + pos)) return FALSE;
  r->pos = pos;
  return TRUE;
}
QWORD RawLength(void* self) { return static_cast<Raw*>(self)->dataBytes; }
void RawClose(void* self) { delete static_cast<Raw*>(self); }
const ORV_DECODER_FUNCS kRaw = {RawRead, RawSeek, RawLength, nullptr, nullptr, RawClose};

BOOL OpenFile(ORV_FILE* file, DWORD flags, ORV_DECODER* out) {
  uint8_t h[16];
  if (gCore->FileRead(file, h, 16) == 16 && std::memcmp(h, "ORVTEST1", 8) == 0) {
    DWORD rate, chans;
    std::memcpy(&rate, h + 8, 4);
    std::memcpy(&chans, h + 12, 4);
    out->funcs = &kRaw;
    out->self = new Raw{file, 16, (gCore->FileSize(file) - 16) / (2 * chans) * (2 * chans), 0};
    out->freq = rate;
    out->chans = chans;
    out->flags = 0;
    out->ctype = 0x1F000;
    out->origres = 16;
    return TRUE;
  }
  return gCore->OpenFFmpeg(file, flags, "flac", "flac", BASS_CTYPE_STREAM_FLAC, out);
}

const BASS_PLUGINFORM kForms[] = {{0x1F000, "Orvella test raw", "*.otr"},
                                  {BASS_CTYPE_STREAM_FLAC, "FLAC", "*.flac"}};
const ORV_ADDON kAddon = {ORV_ADDON_ABI, {0x02040001, 2, kForms}, OpenFile, nullptr, nullptr};

}  // namespace

extern "C" __attribute__((visibility("default"))) const ORV_ADDON* OrvBassAddonGet(const ORV_CORE_API* core) {
  if (!core || core->abi != ORV_ADDON_ABI) return nullptr;
  gCore = core;
  return &kAddon;
}
